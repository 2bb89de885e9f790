#pragma once
// The entries and the selection of an unsorted drop-down list, with the
// rules of a Windows combo box of the drop-down-list kind. Views keep their
// lists in one of these and draw from it.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::dialog {

class ComboList {
 public:
  void add(std::string_view text) { entries_.emplace_back(text); }
  // Puts an entry at index (0..count; -1 appends). False, changing
  // nothing, when there is no such place. A selection at or after index
  // moves with its entry.
  bool insert(int index, std::string_view text);
  // Removes the entry at index; false when there is none. Removing the
  // selected entry clears the selection; a selection after it moves down.
  bool remove(int index);
  int count() const { return static_cast<int>(entries_.size()); }
  // The selected index, or -1.
  int selection() const { return selection_; }
  // Selects index; an index with no entry clears the selection.
  void select(int index);
  // Selects the first entry that begins with prefix, ASCII letters compared
  // without regard to case, and returns its index; -1 with the selection
  // unchanged when none does. The empty prefix matches any entry.
  int selectPrefix(std::string_view prefix);
  // The entry's text as copied into a buffer of bufferSize bytes; nullopt
  // when there is no such entry or the text and its zero byte do not fit.
  std::optional<std::string> text(int index, std::size_t bufferSize) const;
  const std::vector<std::string>& entries() const { return entries_; }

 private:
  std::vector<std::string> entries_;
  int selection_ = -1;
};

// A text as copied into a buffer of bufferSize bytes: up to its first zero
// byte, cut to bufferSize - 1 bytes.
std::string cutToBuffer(std::string_view text, std::size_t bufferSize);

}  // namespace korvo::dialog
