#include "dialog/combo_list.h"

#include "platform/ascii.h"

namespace korvo::dialog {

bool ComboList::insert(int index, std::string_view text) {
  if (index == -1) index = count();
  if (index < 0 || index > count()) return false;
  entries_.insert(entries_.begin() + index, std::string(text));
  if (selection_ >= index) ++selection_;
  return true;
}

bool ComboList::remove(int index) {
  if (index < 0 || index >= count()) return false;
  entries_.erase(entries_.begin() + index);
  if (selection_ == index) selection_ = -1;
  else if (selection_ > index) --selection_;
  return true;
}

void ComboList::select(int index) { selection_ = (index >= 0 && index < count()) ? index : -1; }

int ComboList::selectPrefix(std::string_view prefix) {
  for (int i = 0; i < count(); ++i) {
    if (ascii::startsWithIgnoringCase(entries_[static_cast<std::size_t>(i)], prefix)) {
      selection_ = i;
      return i;
    }
  }
  return -1;
}

std::optional<std::string> ComboList::text(int index, std::size_t bufferSize) const {
  if (index < 0 || index >= count()) return std::nullopt;
  const std::string& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.size() + 1 > bufferSize) return std::nullopt;
  return entry;
}

std::string cutToBuffer(std::string_view text, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  text = text.substr(0, text.find('\0'));
  return std::string(text.substr(0, bufferSize - 1));
}

}  // namespace korvo::dialog
