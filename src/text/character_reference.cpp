#include "text/character_reference.h"

#include "platform/text_conversion.h"
#include "text/entity_tables.h"
#include "text/stand_ins.h"

namespace korvo {
namespace {

// Past the last code point; a longer number saturates here.
constexpr std::uint32_t kBeyondUnicode = 0x110000;

// windows-1252 bytes 0x80..0x9F; 0 for the five it leaves undefined.
// clang-format off
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
// clang-format on

int digitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

CharacterReference numeric(std::string_view text) {
  std::size_t i = 2;
  const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  const std::size_t digits = i;
  const std::uint32_t base = hex ? 16 : 10;
  std::uint32_t code = 0;
  for (int d; i < text.size() && (d = digitValue(text[i], hex)) >= 0; ++i) {
    code = code * base + static_cast<std::uint32_t>(d);
    if (code > kBeyondUnicode) code = kBeyondUnicode;
  }
  if (i == digits || i >= text.size() || text[i] != ';') return {};
  // HTML reads these C1 controls as what a windows-1252 page meant by them;
  // the five it leaves undefined stay as they are.
  if (code >= 0x80 && code <= 0x9F) {
    if (const char32_t meant = windows1252Character(static_cast<unsigned char>(code))) code = meant;
  }
  return {i + 1, code};
}

}  // namespace

char32_t windows1252Character(unsigned char b) {
  return b >= 0x80 && b <= 0x9F ? kWindows1252High[b - 0x80] : b;
}

CharacterReference readCharacterReference(std::string_view text) {
  if (text.size() < 3 || text[0] != '&') return {};
  if (text[1] == '#') return numeric(text);
  // The name, packed as the tables pack it while it is read.
  std::uint64_t key = 0;
  std::size_t i = 1;
  for (; i < text.size() && i <= kMaxEntityNameLength && isAsciiAlnum(text[i]); ++i)
    key = key << 8 | static_cast<unsigned char>(text[i]);
  if (i == 1 || i >= text.size() || text[i] != ';') return {};
  key <<= 8 * (kMaxEntityNameLength + 1 - i);
  const std::uint32_t code = entityCodePointOfKey(key);
  if (code == 0) return {};
  return {i + 1, code};
}

// Characters outside Latin-1 are narrowed here and only here.
std::string_view narrowedText(std::uint32_t code) {
  if (const SpecialEntity* row = findSpecialEntityByCodePoint(code)) return row->replacement;
  const char* standing = code > 0xFF ? standIn(code, true) : nullptr;
  return standing != nullptr ? std::string_view(standing) : std::string_view();
}

std::string_view singleByteText(std::uint32_t code, char& byte) {
  if (code >= 1 && code <= 255) {
    byte = static_cast<char>(static_cast<unsigned char>(code));
    return std::string_view(&byte, 1);
  }
  return narrowedText(code);
}

std::string_view referenceText(std::uint32_t code, ReferenceForm form, char (&buffer)[4]) {
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return {};
  if (form == ReferenceForm::SingleByte) return singleByteText(code, buffer[0]);
  return std::string_view(buffer, charset::writeUtf8(code, buffer));
}

}  // namespace korvo
