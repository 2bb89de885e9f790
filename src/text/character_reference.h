#pragma once
// Character references as HTML writes them, and the single-byte text that
// the rest of the library shows for a character.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvo {

// A reference that starts `text`: "&" then a name of the HTML 4 set (or
// "apos"), "#" and decimal digits, or "#x" / "#X" and hexadecimal digits,
// then ";". `length` is 0 when text does not start with one. A number too
// large for a character gives a code above 0x10FFFF.
struct CharacterReference {
  std::size_t length = 0;
  std::uint32_t code = 0;
};
CharacterReference readCharacterReference(std::string_view text);

// The longest name readCharacterReference knows.
inline constexpr std::size_t kMaxEntityNameLength = 8;

// What a character becomes in the single-byte text the host shows: codes 1
// to 255 their own byte (written to `byte`), a character the special table
// lists its ASCII stand-in, any other character nothing. Never longer than
// four bytes.
std::string_view singleByteText(std::uint32_t code, char& byte);

}  // namespace korvo
