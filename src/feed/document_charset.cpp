#include "feed/document_charset.h"

#include <cstring>

#include "platform/text_conversion.h"
#include "text/character_reference.h"

namespace korvo {
namespace {

bool isXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Characters TinyXML's UTF-8 reading skips as if they were blanks.
bool skippedByParser(char32_t c) { return c == 0xFEFF || c == 0xFFFE || c == 0xFFFF; }

// UTF-8 read as convertToUtf8 says, over itself: the output never gets
// ahead of the input while the text only loses bytes (the byte-order mark,
// the characters TinyXML skips, all after a zero byte). A byte read as a
// windows-1252 character takes two or three bytes: from the first one that
// would get ahead, the output goes to a buffer of its own. Runs that stay
// are moved in one piece, and not at all before the first change.
void utf8OverItself(std::string& body, std::size_t from) {
  char* const s = body.data();
  const std::size_t n = body.size();
  std::string out;
  bool spilled = false;
  std::size_t w = 0;        // the output's length
  std::size_t kept = from;  // the run of input that stays, from here to i
  auto flush = [&](std::size_t end) {
    if (spilled) {
      out.append(s + kept, end - kept);
    } else if (w != kept) {
      std::memmove(s + w, s + kept, end - kept);
    }
    w += end - kept;
  };
  std::size_t i = from;
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b == 0) break;
    if (b < 0x80) {
      i = charset::plainAsciiEnd(body, i);
      continue;
    }
    char32_t code;
    const std::size_t length = charset::readUtf8(body, i, &code);
    if (length != 0 && !skippedByParser(code)) {
      i += length;
      continue;
    }
    flush(i);
    if (length == 0) {
      if (const char32_t c = windows1252Character(b)) {
        char bytes[4];
        const std::size_t size = charset::writeUtf8(c, bytes);
        if (!spilled && w + size > i + 1) {
          out.reserve(n + n / 8);
          out.assign(s, w);
          spilled = true;
        }
        if (spilled)
          out.append(bytes, size);
        else
          std::memcpy(s + w, bytes, size);
        w += size;
      }
      i += 1;
    } else {
      i += length;
    }
    kept = i;
  }
  flush(i);
  if (spilled)
    body.swap(out);
  else
    body.resize(w);
}

}  // namespace

std::string_view xmlDeclarationEncoding(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isXmlBlank(text[i])) ++i;
  if (text.substr(i, 5) != "<?xml" || i + 5 >= text.size() || !isXmlBlank(text[i + 5])) return {};
  const std::size_t end = text.find("?>", i);
  const std::string_view head = text.substr(i, end == std::string_view::npos ? 0 : end - i);
  for (std::size_t at = head.find("encoding"); at != std::string_view::npos;
       at = head.find("encoding", at + 1)) {
    std::size_t k = at + 8;
    while (k < head.size() && isXmlBlank(head[k])) ++k;
    if (k >= head.size() || head[k] != '=') continue;
    ++k;
    while (k < head.size() && isXmlBlank(head[k])) ++k;
    if (k >= head.size() || (head[k] != '"' && head[k] != '\'')) continue;
    const std::size_t close = head.find(head[k], k + 1);
    if (close == std::string_view::npos) return {};
    return head.substr(k + 1, close - k - 1);
  }
  return {};
}

bool isWellFormedUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      i = text[i] == 0 ? i + 1 : charset::plainAsciiEnd(text, i);
      continue;
    }
    char32_t code;
    const std::size_t length = charset::readUtf8(text, i, &code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

DocumentCharset byteOrderMark(std::string_view body) {
  DocumentCharset found;
  const auto starts = [&](std::string_view bom) { return body.substr(0, bom.size()) == bom; };
  if (starts("\xEF\xBB\xBF")) {
    found.codePage = charset::kUtf8;
    found.bomLength = 3;
  } else if (starts("\xFF\xFE")) {
    found.codePage = charset::kUtf16Le;
    found.bomLength = 2;
  } else if (starts("\xFE\xFF")) {
    found.codePage = charset::kUtf16Be;
    found.bomLength = 2;
  }
  return found;
}

DocumentCharset wideCharset(std::string_view body, std::string_view httpCharset) {
  DocumentCharset found = byteOrderMark(body);
  if (found.codePage != 0 || body.size() < 2) return found;
  const unsigned named = httpCharset.empty() ? 0 : charset::codePageForName(httpCharset);
  if (named == charset::kUtf16Le || named == charset::kUtf16Be) {
    // A document starts with an ASCII character: in UTF-16 one zero byte,
    // on the side its order puts it. A name without that is no UTF-16.
    if (body[0] != 0 && body[1] == 0) found.codePage = charset::kUtf16Le;
    if (body[0] == 0 && body[1] != 0) found.codePage = charset::kUtf16Be;
    if (found.codePage != 0) return found;
  }
  if (body.substr(0, 4) == std::string_view("<\0?\0", 4)) found.codePage = charset::kUtf16Le;
  if (body.substr(0, 4) == std::string_view("\0<\0?", 4)) found.codePage = charset::kUtf16Be;
  return found;
}

// Searched from the end, where a closing tag stands.
bool holdsAscii(std::string_view bytes, std::string_view ascii) {
  if (bytes.rfind(ascii) != std::string_view::npos) return true;
  if (bytes.find('\0') == std::string_view::npos) return false;
  std::string little, big;
  for (char c : ascii) {
    little += c;
    little += '\0';
    big += '\0';
    big += c;
  }
  return bytes.rfind(little) != std::string_view::npos ||
         bytes.rfind(big) != std::string_view::npos;
}

DocumentCharset documentCharset(std::string_view body, std::string_view httpCharset) {
  DocumentCharset found = wideCharset(body, httpCharset);
  if (found.codePage == 0) found.declared = std::string(xmlDeclarationEncoding(body));
  if (found.codePage != 0) return found;
  const std::string_view name = !found.declared.empty() ? std::string_view(found.declared)
                                                         : httpCharset;
  if (name.empty()) {
    found.codePage = charset::kUtf8;
    return found;
  }
  unsigned cp = charset::codePageForCharset(name);
  if (!charset::isSourceCodePage(cp)) {
    found.unknownName = std::string(name);
    cp = 0;
  } else if (cp == charset::kUtf16Le || cp == charset::kUtf16Be) {
    cp = 0;
  }
  if (cp == 0) cp = isWellFormedUtf8(body) ? charset::kUtf8 : charset::kWindows1252;
  found.codePage = cp;
  return found;
}

void convertToUtf8(std::string& body, const DocumentCharset& charset) {
  if (charset.codePage == charset::kUtf8) {
    utf8OverItself(body, charset.bomLength);
    return;
  }
  const std::string_view bytes = std::string_view(body).substr(charset.bomLength);
  std::string out;
  std::u32string codes;
  charset::decode(charset.codePage, bytes, codes);
  out.reserve(codes.size() + codes.size() / 2);
  for (char32_t c : codes) {
    if (c == 0) break;
    if (!skippedByParser(c)) charset::appendUtf8(c, out);
  }
  body.swap(out);
}

}  // namespace korvo
