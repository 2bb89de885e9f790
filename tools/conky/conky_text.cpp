#include "conky_text.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/text_conversion.h"
#include "text/target_code_page.h"

namespace korvo::conky {

std::string pluginTextToUtf8(std::string_view text, unsigned codePage) {
  if (codePage == charset::kUtf8) return std::string(text);
  std::string out;
  if (codePage == charset::kLatin1) {
    out.reserve(text.size() + text.size() / 4);
    for (unsigned char c : text) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  }
  std::u32string characters;
  std::vector<charset::Gap> gaps;  // none: UTF-8 has every character
  if (charset::decode(codePage, text, characters))
    charset::encode(charset::kUtf8, characters, out, gaps);
  return out;
}

namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026 in UTF-8

// The bytes of the character that starts at text[at]: a UTF-8 lead byte
// with its continuation bytes, else one byte.
std::size_t characterLength(std::string_view text, std::size_t at) {
  std::size_t length = 1;
  if (static_cast<unsigned char>(text[at]) >= 0xC0) {
    while (at + length < text.size() && length < 4 &&
           (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
      ++length;
  }
  return length;
}

bool isDropped(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F; }

void appendFitted(std::string_view line, std::size_t width, std::string& out) {
  std::size_t shown = 0;
  std::size_t keep = 0;  // the bytes of the first width - 1 characters
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t length = characterLength(line, i);
    if (!isDropped(static_cast<unsigned char>(line[i]))) {
      if (++shown > width) {
        out.append(line.substr(0, keep));
        out.append(kEllipsis);
        return;
      }
      if (shown < width) keep = i + length;
    }
    i += length;
  }
  out.append(line);
}

// Whether text, from `at`, begins a template of Conky's ("template" or
// "{template", in any letter case, right after a "$").
bool startsTemplate(std::string_view text, std::size_t at) {
  constexpr std::string_view kWord = "template";
  if (at < text.size() && text[at] == '{') ++at;
  if (text.size() - std::min(at, text.size()) < kWord.size()) return false;
  for (std::size_t k = 0; k < kWord.size(); ++k) {
    char c = text[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kWord[k]) return false;
  }
  return true;
}

}  // namespace

std::string fitLines(std::string_view text, std::size_t width) {
  if (width == 0) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    appendFitted(text.substr(start, end == std::string_view::npos ? end : end - start), width, out);
    if (end == std::string_view::npos) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

std::string escapeForConky(std::string_view text, std::size_t maxBytes) {
  // What is to be shown: control bytes dropped, tabs as blanks.
  std::string shown;
  shown.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\t') {
      shown += ' ';
    } else if ((c >= 0x20 && c != 0x7F) || c == '\n') {
      shown += ch;
    }
  }
  std::string out;
  out.reserve(shown.size() < maxBytes ? shown.size() + 16 : maxBytes);
  std::size_t i = 0;
  while (i < shown.size()) {
    const unsigned char c = static_cast<unsigned char>(shown[i]);
    // One character at a time: a UTF-8 lead byte takes its continuation
    // bytes with it, so that a cut never splits the character.
    const std::size_t length = characterLength(shown, i);
    std::string_view piece = std::string_view(shown).substr(i, length);
    i += length;
    if (c == '$') {
      // Conky replaces its templates before it reads "$$", and hangs on
      // "$TEMPLATE" (it finds templates in any letter case, replaces them
      // in lower case only); an empty comment, which Conky removes with its
      // line end, keeps the "$" away from the word.
      piece = startsTemplate(shown, i) ? "$$#\n" : "$$";
    } else if (c == '#') {
      piece = "\\#";
    }
    if (out.size() + piece.size() > maxBytes) break;
    out += piece;
  }
  return out;
}

}  // namespace korvo::conky
