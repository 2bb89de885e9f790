#include "feed/html_entities.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "text/character_reference.h"

namespace korvo {
namespace {

// Whether the "&" at the start of text begins one of XML's five names,
// which TinyXML reads itself. Most references in a feed are these, so they
// are told apart before any table is asked.
bool isXmlName(std::string_view text) {
  if (text.size() < 2) return false;
  switch (text[1]) {
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
  // A tag: a ">" inside a quoted attribute value does not end it. Most
  // tags have no quote before their first ">".
  const std::size_t gt = text.find('>', at + 1);
  if (gt == std::string_view::npos) return text.size();
  const std::string_view inside = text.substr(at + 1, gt - at - 1);
  if (inside.find('"') == std::string_view::npos && inside.find('\'') == std::string_view::npos)
    return gt + 1;
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
  std::vector<std::size_t> references;
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
    references.push_back(amp);
    amp = text.find('&', amp + 1);
  }
  decodeReferencesAt(document, references, utf8);
}

void decodeReferencesAt(std::string& document, const std::vector<std::size_t>& references,
                        bool utf8) {
  const std::string_view text(document);
  char* const b = document.data();
  const std::size_t n = document.size();
  std::size_t r = 0, w = 0;
  for (const std::size_t amp : references) {
    if (amp < r || amp >= n || text[amp] != '&') continue;
    CharacterReference ref = isXmlName(text.substr(amp))
                                 ? CharacterReference()
                                 : readCharacterReference(text.substr(amp));
    // TinyXML keeps a number below 0x80 as the character it is, and one
    // below 0x100 as its byte; it would cut any larger one to its low byte.
    if (text[amp + 1] == '#' && ref.code < (utf8 ? 0x80u : 0x100u)) ref = CharacterReference();
    if (ref.length != 0) {
      char buffer[4];
      std::string_view decoded = referenceText(
          ref.code, utf8 ? ReferenceForm::Utf8 : ReferenceForm::SingleByte, buffer);
      if (decoded.size() > ref.length) decoded = decoded.substr(0, 0);
      if (w != r) std::memmove(b + w, b + r, amp - r);
      w += amp - r;
      if (!decoded.empty()) std::memcpy(b + w, decoded.data(), decoded.size());
      w += decoded.size();
      r = amp + ref.length;
    }
  }
  if (w == r) return;
  std::memmove(b + w, b + r, n - r);
  document.resize(w + (n - r));
}

}  // namespace korvo
