#include "meters/word_list.h"

#include <array>

#include "platform/text_conversion.h"

namespace korvo {
namespace {

using FoldTable = std::array<unsigned char, 256>;

constexpr FoldTable foldTable(LetterCase letters) {
  FoldTable table{};
  for (int c = 0; c < 256; ++c) {
    int folded = c;
    if (c >= 'A' && c <= 'Z') folded = c + 32;
    // À..Þ but ×.
    if (letters != LetterCase::Ascii && c >= 0xC0 && c <= 0xDE && c != 0xD7) folded = c + 32;
    if (letters == LetterCase::Windows1252) {
      // Š Œ Ž Ÿ
      if (c == 0x8A || c == 0x8C || c == 0x8E) folded = c + 16;
      if (c == 0x9F) folded = 0xFF;
    }
    table[static_cast<std::size_t>(c)] = static_cast<unsigned char>(folded);
  }
  return table;
}

constexpr FoldTable kAsciiFold = foldTable(LetterCase::Ascii);
constexpr FoldTable kLatin1Fold = foldTable(LetterCase::Latin1);
constexpr FoldTable kWindows1252Fold = foldTable(LetterCase::Windows1252);

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isWordByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

}  // namespace

LetterCase letterCaseOf(const CleanupOptions& options) {
  // Without the unicode filter a UTF-8 document keeps its UTF-8 bytes,
  // whatever the code page.
  if (!options.FilterUnicode) return LetterCase::Ascii;
  if (options.target.number == charset::kLatin1) return LetterCase::Latin1;
  if (options.target.number == charset::kWindows1252) return LetterCase::Windows1252;
  return LetterCase::Ascii;
}

WordList::WordList(std::string_view setting, LetterCase letters)
    : fold_(letters == LetterCase::Latin1        ? kLatin1Fold.data()
            : letters == LetterCase::Windows1252 ? kWindows1252Fold.data()
                                                 : kAsciiFold.data()) {
  while (!setting.empty()) {
    const std::size_t bar = setting.find('|');
    std::string_view part = setting.substr(0, bar);
    setting = bar == std::string_view::npos ? std::string_view() : setting.substr(bar + 1);
    std::string word;
    bool blank = false;
    for (char c : part) {
      if (isBlank(c)) {
        blank = true;
        continue;
      }
      if (blank && !word.empty()) word += ' ';
      blank = false;
      word += static_cast<char>(fold_[static_cast<unsigned char>(c)]);
    }
    if (!word.empty()) words_.push_back(std::move(word));
  }
}

bool WordList::foundAt(std::string_view text, std::size_t at, std::string_view word) const {
  if (at > 0 && isWordByte(text[at - 1])) return false;
  std::size_t t = at;
  for (char w : word) {
    if (w == ' ') {
      if (t >= text.size() || !isBlank(text[t])) return false;
      while (t < text.size() && isBlank(text[t])) ++t;
      continue;
    }
    if (t >= text.size() || fold_[static_cast<unsigned char>(text[t])] != static_cast<unsigned char>(w))
      return false;
    ++t;
  }
  return t >= text.size() || !isWordByte(text[t]);
}

bool WordList::foundIn(std::string_view text) const {
  for (const std::string& word : words_) {
    const auto first = static_cast<unsigned char>(word.front());
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at)
      if (fold_[static_cast<unsigned char>(text[at])] == first && foundAt(text, at, word))
        return true;
  }
  return false;
}

}  // namespace korvo
