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
    std::size_t length = 1;
    if (c >= 0xC0) {
      while (i + length < shown.size() && length < 4 &&
             (static_cast<unsigned char>(shown[i + length]) & 0xC0) == 0x80)
        ++length;
    }
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
