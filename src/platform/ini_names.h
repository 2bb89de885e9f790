#pragma once
// Name rules shared by both INI implementations: white space, letter case,
// and the names and values a write may put into a file.
#include <string_view>

namespace korvo::ini {

std::string_view trim(std::string_view s);
// Equal without regard to ASCII letter case.
bool sameName(std::string_view a, std::string_view b);
bool fitsOnOneLine(std::string_view s);
// Names that would read back as something else are refused: a key that
// starts like a section header or a comment, or holds "=", and a section
// name that holds "]", would change how the lines after them are read.
bool writableNames(std::string_view section, std::string_view key);

}  // namespace korvo::ini
