// The part of the text conversion service both systems share: charset
// names, the code page lists, and UTF-8 and UTF-16, which are the same
// everywhere and need no system converter.
#include "platform/text_conversion.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace korvo::charset {
namespace {

struct Name {
  std::string_view name;  // lower case, without "-", "_", "." and " "
  unsigned codePage;
};

// clang-format off
constexpr Name kNames[] = {
    {"utf8", kUtf8}, {"unicode11utf8", kUtf8}, {"unicode20utf8", kUtf8}, {"xunicode20utf8", kUtf8},
    {"utf16", kUtf16Le}, {"utf16le", kUtf16Le}, {"unicode", kUtf16Le}, {"csunicode", kUtf16Le},
    {"ucs2", kUtf16Le}, {"utf16be", kUtf16Be}, {"unicodefffe", kUtf16Be},
    {"usascii", kUsAscii}, {"ascii", kUsAscii}, {"ansix341968", kUsAscii}, {"iso646us", kUsAscii},
    {"us", kUsAscii}, {"csascii", kUsAscii}, {"ibm367", kUsAscii}, {"cp367", kUsAscii},
    {"iso88591", 28591}, {"latin1", 28591}, {"l1", 28591}, {"isoir100", 28591}, {"cp819", 28591},
    {"ibm819", 28591}, {"csisolatin1", 28591}, {"iso885911987", 28591},
    {"iso88592", 28592}, {"latin2", 28592}, {"l2", 28592}, {"isoir101", 28592},
    {"csisolatin2", 28592}, {"iso885921987", 28592},
    {"iso88593", 28593}, {"latin3", 28593}, {"l3", 28593}, {"csisolatin3", 28593},
    {"iso88594", 28594}, {"latin4", 28594}, {"l4", 28594}, {"csisolatin4", 28594},
    {"iso88595", 28595}, {"cyrillic", 28595}, {"isoir144", 28595}, {"csisolatincyrillic", 28595},
    {"iso88596", 28596}, {"arabic", 28596}, {"asmo708", 28596}, {"ecma114", 28596},
    {"csisolatinarabic", 28596},
    {"iso88597", 28597}, {"greek", 28597}, {"greek8", 28597}, {"elot928", 28597},
    {"ecma118", 28597}, {"csisolatingreek", 28597},
    {"iso88598", 28598}, {"iso88598i", 28598}, {"hebrew", 28598}, {"csisolatinhebrew", 28598},
    {"iso88599", 28599}, {"latin5", 28599}, {"l5", 28599}, {"isoir148", 28599},
    {"csisolatin5", 28599},
    {"iso885913", 28603}, {"latin7", 28603}, {"l7", 28603},
    {"iso885915", 28605}, {"latin9", 28605}, {"l9", 28605}, {"csisolatin9", 28605},
    {"windows1250", 1250}, {"cp1250", 1250}, {"xcp1250", 1250},
    {"windows1251", 1251}, {"cp1251", 1251}, {"xcp1251", 1251},
    {"windows1252", 1252}, {"cp1252", 1252}, {"xcp1252", 1252},
    {"windows1253", 1253}, {"cp1253", 1253}, {"xcp1253", 1253},
    {"windows1254", 1254}, {"cp1254", 1254}, {"xcp1254", 1254},
    {"windows1255", 1255}, {"cp1255", 1255}, {"xcp1255", 1255},
    {"windows1256", 1256}, {"cp1256", 1256}, {"xcp1256", 1256},
    {"windows1257", 1257}, {"cp1257", 1257}, {"xcp1257", 1257},
    {"windows1258", 1258}, {"cp1258", 1258}, {"xcp1258", 1258},
    {"windows874", 874}, {"cp874", 874}, {"dos874", 874}, {"tis620", 874}, {"iso885911", 874},
    {"koi8r", 20866}, {"koi8", 20866}, {"cskoi8r", 20866},
    {"koi8u", 21866}, {"koi8ru", 21866},
    {"cp866", 866}, {"ibm866", 866}, {"866", 866}, {"csibm866", 866},
    {"shiftjis", 932}, {"sjis", 932}, {"xsjis", 932}, {"mskanji", 932}, {"csshiftjis", 932},
    {"windows31j", 932}, {"cp932", 932}, {"ms932", 932},
    {"eucjp", kEucJp}, {"xeucjp", kEucJp}, {"ujis", kEucJp}, {"cseucpkdfmtjapanese", kEucJp},
    {"gbk", 936}, {"xgbk", 936}, {"gb2312", 936}, {"gb231280", 936}, {"csgb2312", 936},
    {"euccn", 936}, {"chinese", 936}, {"isoir58", 936}, {"cp936", 936}, {"ms936", 936},
    {"windows936", 936},
    {"big5", 950}, {"xxbig5", 950}, {"csbig5", 950}, {"cp950", 950}, {"ms950", 950},
    {"euckr", 949}, {"cseuckr", 949}, {"ksc56011987", 949}, {"ksc5601", 949},
    {"csksc56011987", 949}, {"isoir149", 949}, {"korean", 949}, {"uhc", 949}, {"cp949", 949},
    {"ms949", 949}, {"windows949", 949},
};
// clang-format on

constexpr unsigned kTargets[] = {1250,  1251,  1252,  1253,  1254,  1255,  1256,  1257,
                                 1258,  874,   932,   936,   949,   950,   866,   20866,
                                 21866, 28591, 28592, 28593, 28594, 28595, 28596, 28597,
                                 28598, 28599, 28603, 28605, kUtf8};

constexpr std::size_t kLongestName = 24;

bool isLowerAsciiName(std::string_view s) {
  for (char c : s) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return !s.empty() && s.size() <= kLongestName;
}

constexpr bool namesAreNormalised() {
  for (const Name& n : kNames) {
    if (n.name.empty() || n.name.size() > kLongestName) return false;
    for (char c : n.name) {
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    }
  }
  return true;
}
static_assert(namesAreNormalised());

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isScalarValue(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

// Codes that no character of code page cp has, though one system's
// converter maps some bytes to them: private-use codes (Windows' for bytes
// a code page leaves undefined and the user-defined areas of the East Asian
// pages, glibc's for some of those) and, in the windows-125x and 874 pages,
// C1 controls (which Windows gives their undefined bytes), and in the East
// Asian pages too. Both systems
// drop them when reading and lack them when writing.
bool isExcluded(unsigned cp, char32_t c) {
  if (c >= 0xE000 && c <= 0xF8FF) return true;
  return (cp == 874 || (cp >= 1250 && cp <= 1258) || isMultiByte(cp)) && c >= 0x80 && c <= 0x9F;
}

// Well-formed UTF-8 only: what readUtf8 refuses is dropped one byte at a
// time.
void decodeUtf8(std::string_view bytes, std::u32string& out, std::size_t& dropped) {
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    char32_t code;
    const std::size_t length = readUtf8(bytes, i, &code);
    if (length == 0) {
      ++dropped;
      ++i;
      continue;
    }
    out.push_back(code);
    i += length;
  }
}

void decodeUtf16(std::string_view bytes, bool bigEndian, std::u32string& out,
                 std::size_t& dropped) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t units = bytes.size() / 2;
  dropped += bytes.size() % 2;
  auto unit = [&](std::size_t k) -> char32_t {
    const unsigned a = s[2 * k], b = s[2 * k + 1];
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (std::size_t k = 0; k < units; ++k) {
    const char32_t u = unit(k);
    if (u < 0xD800 || u > 0xDFFF) {
      out.push_back(u);
    } else if (u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
      out.push_back(0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
      ++k;
    } else {
      dropped += 2;
    }
  }
}

void encodeUtf8(std::u32string_view text, std::string& out, std::vector<Gap>& gaps) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isScalarValue(text[i])) {
      appendUtf8(text[i], out);
    } else {
      gaps.push_back(Gap{i, out.size()});
    }
  }
}

}  // namespace

unsigned codePageForName(std::string_view name) {
  while (!name.empty() && isBlank(name.front())) name.remove_prefix(1);
  while (!name.empty() && isBlank(name.back())) name.remove_suffix(1);
  if (name.size() > 2 * kLongestName) return 0;
  std::string key;
  for (char c : name) {
    if (c == '-' || c == '_' || c == '.' || c == ' ') continue;
    key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  if (!isLowerAsciiName(key)) return 0;
  for (const Name& n : kNames) {
    if (n.name == key) return n.codePage;
  }
  return 0;
}

unsigned codePageForCharset(std::string_view name) {
  const unsigned cp = codePageForName(name);
  switch (cp) {
    case kUsAscii:
    case kLatin1:
      return kWindows1252;
    case 28599:
      return 1254;
    default:
      return cp;
  }
}

bool isTargetCodePage(unsigned cp) {
  return std::find(std::begin(kTargets), std::end(kTargets), cp) != std::end(kTargets);
}

bool isSourceCodePage(unsigned cp) {
  return isTargetCodePage(cp) || cp == kUtf16Le || cp == kUtf16Be || cp == kEucJp;
}

bool isMultiByte(unsigned cp) {
  return cp == kUtf8 || cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == kEucJp ||
         cp == kUtf16Le || cp == kUtf16Be;
}

bool isLeadByte(unsigned cp, unsigned char b) {
  switch (cp) {
    case kUtf8:
      return b >= 0xC2 && b <= 0xF4;
    case 932:
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950:
      return b >= 0x81 && b <= 0xFE;
    case kEucJp:
      return b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xFE);
    default:
      return false;
  }
}

namespace detail {

bool isTrailByte(unsigned cp, unsigned char b) {
  if (cp == kEucJp) return b >= 0xA1 && b <= 0xFE;
  return isMultiByte(cp) && b >= 0x40 && b != 0x7F && b != 0xFF;
}

}  // namespace detail

bool decode(unsigned cp, std::string_view bytes, std::u32string& out, std::size_t* dropped) {
  if (!isSourceCodePage(cp)) return false;
  std::size_t lost = 0;
  out.reserve(out.size() + bytes.size());
  if (cp == kUtf8) {
    decodeUtf8(bytes, out, lost);
  } else if (cp == kUtf16Le || cp == kUtf16Be) {
    decodeUtf16(bytes, cp == kUtf16Be, out, lost);
  } else {
    const std::size_t start = out.size();
    detail::decodeLegacy(cp, bytes, out, lost);
    const auto end = std::remove_if(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(),
                                    [cp](char32_t c) { return isExcluded(cp, c); });
    lost += static_cast<std::size_t>(out.end() - end);
    out.erase(end, out.end());
  }
  if (dropped) *dropped += lost;
  return true;
}

bool encode(unsigned cp, std::u32string_view text, std::string& out, std::vector<Gap>& gaps) {
  if (!isTargetCodePage(cp)) return false;
  if (cp == kUtf8) {
    out.reserve(out.size() + text.size());
    encodeUtf8(text, out, gaps);
    return true;
  }
  // The runs between excluded codes go to the system's converter.
  std::size_t from = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !isExcluded(cp, text[i])) continue;
    if (i > from) {
      const std::size_t first = gaps.size();
      detail::encodeLegacy(cp, text.substr(from, i - from), out, gaps);
      for (std::size_t k = first; k < gaps.size(); ++k) gaps[k].index += from;
    }
    if (i < text.size()) gaps.push_back(Gap{i, out.size()});
    from = i + 1;
  }
  return true;
}

}  // namespace korvo::charset
