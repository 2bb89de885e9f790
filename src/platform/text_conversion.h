#pragma once
// Text conversion service: bytes in a charset to Unicode code points, and
// code points to the bytes of a code page. Windows code page numbers name
// the charsets on both systems. UTF-8 and UTF-16 are converted here, the
// same on both; every other code page by the system's own converter
// (iconv without transliteration, or MultiByteToWideChar and
// WideCharToMultiByte without a default character). Nothing ever becomes
// "?": what a code page lacks is reported, and the caller decides.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::charset {

inline constexpr unsigned kUtf8 = 65001;
inline constexpr unsigned kUtf16Le = 1200;
inline constexpr unsigned kUtf16Be = 1201;
inline constexpr unsigned kUsAscii = 20127;
inline constexpr unsigned kLatin1 = 28591;
inline constexpr unsigned kWindows1252 = 1252;
inline constexpr unsigned kEucJp = 20932;

// What the CodePage setting means when Korvo.ini does not give it: the
// code page the host draws in (Windows: the system's; elsewhere: the
// character set of the host's locale, UTF-8 on today's desktops).
inline constexpr std::string_view kDefaultCodePageSetting = "auto";

// The code page a charset name stands for, as documents, HTTP headers and
// locales write it: letter case, surrounding blanks and the punctuation
// "-", "_", "." and " " inside the name do not count ("UTF-8", "utf8",
// "Shift_JIS", "x-sjis", "ISO8859-2", "cp1251"). 0 for a name not known.
unsigned codePageForName(std::string_view name);

// The code page to read a document in whose declared charset is `name`:
// codePageForName, except that labels whose documents are written in a
// superset in practice are read as that superset, as browsers do
// (US-ASCII and ISO-8859-1 as windows-1252, ISO-8859-9 as windows-1254,
// EUC-KR as 949, GB2312 as 936). 0 for a name not known.
unsigned codePageForCharset(std::string_view name);

// Whether text can be converted to code page cp (1250..1258, 874, 932,
// 936, 949, 950, 866, 20866, 21866, 28591..28599, 28603, 28605, 65001).
bool isTargetCodePage(unsigned cp);
// Whether cp can be read: every target and UTF-16 LE/BE and EUC-JP.
bool isSourceCodePage(unsigned cp);
// Whether a character of cp may take more than one byte.
bool isMultiByte(unsigned cp);
// Whether byte b starts a character of two or more bytes in cp (the lead
// bytes of 932, 936, 949, 950, EUC-JP; the lead bytes of UTF-8).
bool isLeadByte(unsigned cp, unsigned char b);

// Appends the code points of `bytes`, read in code page cp, to out. Bytes
// that are no character of cp are dropped and counted in *dropped when
// given (one each; one for each private-use code a system's converter
// gives). A byte-order mark is kept as U+FEFF. False, and out unchanged,
// when cp cannot be read.
bool decode(unsigned cp, std::string_view bytes, std::u32string& out,
            std::size_t* dropped = nullptr);

// The well-formed UTF-8 sequence of one to four bytes at bytes[i]: its
// length, with its code point in *code, or 0 when the bytes there are not
// one (overlong forms, surrogates, values above U+10FFFF and sequences cut
// short are not). i < bytes.size().
// Inline: every converter's inner loop calls it once a character.
inline std::size_t readUtf8(std::string_view bytes, std::size_t i, char32_t* code) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  const unsigned lead = s[i];
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  unsigned low = 0x80, high = 0xBF;
  std::size_t length;
  char32_t value;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (n - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned b = s[i + k];
    if (b < (k == 1 ? low : 0x80u) || b > (k == 1 ? high : 0xBFu)) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  *code = value;
  return length;
}

// The first position at or after i that holds a zero byte or a byte of
// 0x80 or above; bytes.size() when there is none. Eight bytes at a time.
inline std::size_t plainAsciiEnd(std::string_view bytes, std::size_t i) {
  const char* s = bytes.data();
  const std::size_t n = bytes.size();
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  // A word has such a byte exactly when (w - 0x01..01) | w has a high bit set.
  for (; n - i >= 8; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s + i, 8);
    if (((w - kOnes) | w) & kHigh) break;
  }
  while (i < n && static_cast<unsigned char>(s[i]) - 1u < 0x7Fu) ++i;
  return i;
}

// Writes c, a Unicode scalar value, as UTF-8 into out (room for four
// bytes); returns how many bytes it took.
inline std::size_t writeUtf8(char32_t c, char* out) {
  const auto byte = [](char32_t b) { return static_cast<char>(static_cast<unsigned char>(b)); };
  if (c < 0x80) {
    out[0] = byte(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = byte(0xC0 | (c >> 6));
    out[1] = byte(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = byte(0xE0 | (c >> 12));
    out[1] = byte(0x80 | ((c >> 6) & 0x3F));
    out[2] = byte(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (c >> 18));
  out[1] = byte(0x80 | ((c >> 12) & 0x3F));
  out[2] = byte(0x80 | ((c >> 6) & 0x3F));
  out[3] = byte(0x80 | (c & 0x3F));
  return 4;
}

// Appends c, a Unicode scalar value, as UTF-8.
inline void appendUtf8(char32_t c, std::string& out) {
  char bytes[4];
  out.append(bytes, writeUtf8(c, bytes));
}

// A character the target code page lacks: its position in the text and the
// position in the output where it would have stood.
struct Gap {
  std::size_t index;
  std::size_t offset;
};

// Appends text in code page cp to out. Every code point cp has no
// character for (surrogates, values above U+10FFFF and private-use codes
// included) is left out and listed in gaps, in text order. False, and nothing appended, when
// cp is not a target.
bool encode(unsigned cp, std::u32string_view text, std::string& out, std::vector<Gap>& gaps);

// The code page the system draws single-byte text in: GetACP on Windows,
// the code set of the process's current LC_CTYPE locale elsewhere (as the
// host has set it; kUsAscii in the C/POSIX locale). 0 when that is none of
// the targets.
unsigned systemCodePage();

namespace detail {
// Whether b may follow a lead byte of cp: a sequence of a lead and such a
// byte that is no character is dropped whole, by both converters.
bool isTrailByte(unsigned cp, unsigned char b);
// The system's converters, for every code page but UTF-8 and UTF-16; the
// callers above have checked cp.
void decodeLegacy(unsigned cp, std::string_view bytes, std::u32string& out, std::size_t& dropped);
void encodeLegacy(unsigned cp, std::u32string_view text, std::string& out, std::vector<Gap>& gaps);
}  // namespace detail

}  // namespace korvo::charset
