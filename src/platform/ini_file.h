#pragma once
// INI file service: the private-profile functions of Windows, or our own
// reader and writer of the same format on other systems.
//
// Format: "[section]" lines, then "key=value" lines. Section and key names
// match without regard to ASCII letter case; white space around names and
// values is ignored. Reads never fail: a missing file, section or key gives
// the default. A write replaces the whole file at once (temporary file and
// rename) and keeps every other line; on failure the old file stays whole.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::ini {

// The value of key in section, or def when the key is missing; cut to
// bufferSize - 1 bytes, as a read into a buffer of that size would be.
std::string readString(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view def, std::size_t bufferSize);

// The decimal number at the start of the value (sign allowed, digits up to
// the first other character, 0 when there are none); def when the key is
// missing or its value is empty.
int readInt(const std::string& path, std::string_view section, std::string_view key, int def);

// The whole section as the Windows call hands it over: each line
// "key=value" followed by a zero byte, in file order. The result's size is
// the count that call reports: when the lines and the final zero byte do
// not fit in bufferSize bytes, the text is cut and its size is
// bufferSize - 2.
std::string readSection(const std::string& path, std::string_view section, std::size_t bufferSize);

// The names of all sections, in file order; a name that appears twice (in
// any letter case) is listed once, at its first place.
std::vector<std::string> readSectionNames(const std::string& path);

// Sets key in section to value, creating the file and the section when
// missing and replacing an existing key's value in place. False on failure,
// and for a value on more than one line or names that would not read back
// (a key that is empty, holds "=" or starts with "[" or ";"; a section
// name holding "]").
bool writeString(const std::string& path, std::string_view section, std::string_view key,
                 std::string_view value);

// Removes key from section. True when the file is as asked afterwards.
bool deleteKey(const std::string& path, std::string_view section, std::string_view key);

}  // namespace korvo::ini
