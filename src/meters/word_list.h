#pragma once
// The words of a meter's Include or Exclude setting, and the search for
// them in an item's texts: whole words, without regard to letter case.
#include <string>
#include <string_view>
#include <vector>

#include "feed/cleanup_options.h"

namespace korvo {

// Which letters have a case: ASCII's always; those of Latin-1 (À..Þ) or
// Windows-1252 (those and Š Œ Ž Ÿ) too when a meter's texts are written in
// one of them.
enum class LetterCase { Ascii, Latin1, Windows1252 };

// The letters whose case a meter's texts, cleaned with options, have.
LetterCase letterCaseOf(const CleanupOptions& options);

class WordList {
 public:
  WordList() = default;
  // setting: words or phrases with '|' between them; blanks around each
  // are trimmed and empty ones ignored. Inside a phrase, a run of blanks
  // stands for any run of white space.
  WordList(std::string_view setting, LetterCase letters);

  bool empty() const { return words_.empty(); }
  // True when one of the words is in text with neither a letter nor a
  // digit right before or after it (bytes from 0x80 count as letters).
  bool foundIn(std::string_view text) const;

 private:
  bool foundAt(std::string_view text, std::size_t at, std::string_view word) const;

  std::vector<std::string> words_;  // folded; one ' ' for each run of blanks
  const unsigned char* fold_ = nullptr;
};

}  // namespace korvo
