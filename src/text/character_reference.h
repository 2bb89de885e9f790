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
// large for a character gives a code above 0x10FFFF; a number from 128 to
// 159 gives its windows-1252 character, as browsers read it.
struct CharacterReference {
  std::size_t length = 0;
  std::uint32_t code = 0;
};
CharacterReference readCharacterReference(std::string_view text);

// The character windows-1252 writes as the byte b: b itself outside 0x80
// to 0x9F, and 0 for the five bytes there that windows-1252 leaves undefined.
char32_t windows1252Character(unsigned char b);

// The longest name readCharacterReference knows.
inline constexpr std::size_t kMaxEntityNameLength = 8;

// What a character above U+00FF becomes in single-byte (Latin-1) text: the
// ASCII stand-in the special table lists for it, else the one of the
// stand-in table (latin1 mode), else nothing. Never longer than four bytes.
std::string_view narrowedText(std::uint32_t code);

// What a character becomes in the single-byte text the host shows: codes 1
// to 255 their own byte (written to `byte`), any other character its
// narrowedText.
std::string_view singleByteText(std::uint32_t code, char& byte);

// How a decoded reference is written into a text: as single bytes
// (singleByteText), or as UTF-8 when the text is UTF-8.
enum class ReferenceForm { SingleByte, Utf8 };

// code written in form into buffer (or a stand-in's literal): nothing for
// code 0, a surrogate or a value above U+10FFFF.
std::string_view referenceText(std::uint32_t code, ReferenceForm form, char (&buffer)[4]);

}  // namespace korvo
