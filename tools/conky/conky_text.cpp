#include "conky_text.h"

#include <optional>
#include <vector>

#include "platform/text_conversion.h"
#include "text/target_code_page.h"

namespace korvo::conky {

unsigned pluginCodePage(std::string_view setting, unsigned systemCodePage) {
  if (setting.empty()) setting = charset::kDefaultCodePageSetting;
  const std::optional<TargetCodePage> target = parseCodePageSetting(setting, systemCodePage);
  return target ? target->number : charset::kLatin1;
}

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

std::string escapeForConky(std::string_view text, std::size_t maxBytes) {
  std::string out;
  out.reserve(text.size() < maxBytes ? text.size() + 16 : maxBytes);
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // One character at a time: a UTF-8 lead byte takes its continuation
    // bytes with it, so that a cut never splits the character.
    std::size_t length = 1;
    if (c >= 0xC0) {
      while (i + length < text.size() && length < 4 &&
             (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
        ++length;
    }
    std::string_view piece = text.substr(i, length);
    i += length;
    if (c == '$') {
      piece = "$$";
    } else if (c == '#') {
      piece = "\\#";
    } else if (c == '\t') {
      piece = " ";
    } else if ((c < 0x20 && c != '\n') || c == 0x7F) {
      continue;
    }
    if (out.size() + piece.size() > maxBytes) break;
    out += piece;
  }
  return out;
}

}  // namespace korvo::conky
