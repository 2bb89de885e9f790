#include "feed/html_entities.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "text/character_reference.h"

namespace korvo {
namespace {

std::size_t encodeUtf8(std::uint32_t code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | code >> 6);
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  out[0] = static_cast<char>(0xE0 | code >> 12);  // HTML 4 names stay below U+10000
  out[1] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
  out[2] = static_cast<char>(0x80 | (code & 0x3F));
  return 3;
}

// Whether the "&" at the start of text begins something TinyXML reads
// itself: a number or one of XML's five names. Most references in a feed
// are these, so they are told apart before any table is asked.
bool isXmlReference(std::string_view text) {
  if (text.size() < 2) return false;
  switch (text[1]) {
    case '#':
      return true;
    case 'l':
    case 'g':
      return text.substr(2, 2) == "t;";
    case 'a':
      return text.substr(1, 4) == "amp;" || text.substr(1, 5) == "apos;";
    case 'q':
      return text.substr(1, 5) == "quot;";
    default:
      return false;
  }
}

// One past the end of the mark-up that starts with the "<" at `at`.
std::size_t markupEnd(std::string_view text, std::size_t at) {
  const auto past = [&](std::string_view end, std::size_t from) {
    const std::size_t hit = text.find(end, from);
    return hit == std::string_view::npos ? text.size() : hit + end.size();
  };
  const std::string_view rest = text.substr(at);
  if (rest.substr(0, 4) == "<!--") return past("-->", at + 4);
  if (rest.substr(0, 9) == "<![CDATA[") return past("]]>", at + 9);
  if (rest.substr(0, 2) == "<?") return past("?>", at + 2);
  // A tag: a ">" inside a quoted attribute value does not end it.
  char quote = 0;
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return text.size();
}

}  // namespace

void decodeHtmlEntities(std::string& document, bool utf8) {
  const std::string_view text(document);
  char* const b = document.data();
  const std::size_t n = document.size();
  std::size_t r = 0, w = 0;
  std::size_t amp = text.find('&');
  if (amp == std::string_view::npos) return;
  std::size_t open = text.find('<');
  while (amp != std::string_view::npos) {
    if (open != std::string_view::npos && open < amp) {
      const std::size_t end = markupEnd(text, open);
      open = text.find('<', end);
      if (amp < end) amp = text.find('&', end);
      continue;
    }
    const CharacterReference ref = isXmlReference(text.substr(amp))
                                       ? CharacterReference()
                                       : readCharacterReference(text.substr(amp));
    if (ref.length != 0) {
      char decoded[4];
      std::size_t size = 0;
      if (utf8) {
        size = encodeUtf8(ref.code, decoded);
      } else {
        char byte = 0;
        const std::string_view single = singleByteText(ref.code, byte);
        size = single.size();
        if (size != 0) std::memcpy(decoded, single.data(), size);
      }
      if (w != r) std::memmove(b + w, b + r, amp - r);
      w += amp - r;
      if (size != 0) std::memcpy(b + w, decoded, size);
      w += size;
      r = amp + ref.length;
    }
    amp = text.find('&', amp + 1);
  }
  if (w == r) return;
  std::memmove(b + w, b + r, n - r);
  document.resize(w + (n - r));
}

}  // namespace korvo
