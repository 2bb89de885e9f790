// Code pages through MultiByteToWideChar and WideCharToMultiByte. Neither
// may put a default character ("?") or a best-fit look-alike into the
// text: what a code page lacks goes back to the caller as a gap, and every
// conversion to a code page is read back to make sure of it.
#include "platform/text_conversion.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace korvo::charset::detail {
namespace {

constexpr std::size_t kChunk = 512;  // code points converted in one call

bool isScalarValue(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

// Appends UTF-16 as code points; an unpaired surrogate is dropped.
void appendUtf16(const wchar_t* w, int n, std::u32string& out, std::size_t& dropped) {
  for (int k = 0; k < n; ++k) {
    const char32_t u = static_cast<char16_t>(w[k]);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      const char32_t v = static_cast<char16_t>(w[k + 1]);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        out.push_back(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      ++dropped;
      continue;
    }
    out.push_back(u);
  }
}

std::size_t characterLength(unsigned cp, unsigned char lead) {
  if (!isLeadByte(cp, lead)) return 1;
  return cp == kEucJp && lead == 0x8F ? 3 : 2;
}

// Whether every lead byte is followed by a trail byte. Windows reads some
// other pairs as characters (20932 takes a lead byte and an ASCII one as
// JIS X 0212), which are none in the charset itself nor for iconv.
bool wellFormed(unsigned cp, const unsigned char* s, std::size_t n) {
  if (!isMultiByte(cp)) return true;
  for (std::size_t i = 0; i < n;) {
    const std::size_t length = characterLength(cp, s[i]);
    if (length > n - i) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if (!isTrailByte(cp, s[i + k])) return false;
    }
    i += length;
  }
  return true;
}

int appendUnits(char32_t c, wchar_t* w) {
  if (c < 0x10000) {
    w[0] = static_cast<wchar_t>(c);
    return 1;
  }
  w[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
  w[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  return 2;
}

// units in cp, appended to out, when the code page has every one of them:
// no default character used, and the bytes read back as the same units.
bool convertExactly(unsigned cp, const wchar_t* units, int n, std::string& out,
                    std::wstring& readBack) {
  BOOL usedDefault = FALSE;
  const int size =
      WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, units, n, nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(size));
  usedDefault = FALSE;
  const int written = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, units, n, &out[start], size,
                                          nullptr, &usedDefault);
  bool exact = written == size && !usedDefault;
  if (exact) {
    readBack.resize(static_cast<std::size_t>(n) + 8);
    const int back = MultiByteToWideChar(cp, 0, &out[start], size, &readBack[0],
                                         static_cast<int>(readBack.size()));
    exact = back == n && readBack.compare(0, static_cast<std::size_t>(n), units,
                                          static_cast<std::size_t>(n)) == 0;
  }
  if (!exact) out.resize(start);
  return exact;
}

}  // namespace

void decodeLegacy(unsigned cp, std::string_view bytes, std::u32string& out, std::size_t& dropped) {
  if (bytes.empty()) return;
  if (bytes.size() > static_cast<std::size_t>(INT_MAX / 2)) {
    dropped += bytes.size();
    return;
  }
  const int n = static_cast<int>(bytes.size());
  const bool singleByte = !isMultiByte(cp);
  std::wstring w;
  // A single-byte code page has a code for every byte; a multi-byte one
  // refuses the whole text when one sequence is not a character, and is
  // then read one character at a time.
  const DWORD flags = singleByte ? 0 : MB_ERR_INVALID_CHARS;
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const int units = wellFormed(cp, s, bytes.size())
                        ? MultiByteToWideChar(cp, flags, bytes.data(), n, nullptr, 0)
                        : 0;
  if (units > 0) {
    w.resize(static_cast<std::size_t>(units));
    if (MultiByteToWideChar(cp, flags, bytes.data(), n, &w[0], units) == units) {
      appendUtf16(w.data(), units, out, dropped);
      return;
    }
  }
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t length = characterLength(cp, s[i]);
    if (length > bytes.size() - i) {
      // Cut off by the end, or a lead byte with nothing to lead.
      bool cut = true;
      for (std::size_t k = i + 1; k < bytes.size(); ++k) cut = cut && isTrailByte(cp, s[k]);
      const std::size_t skip = cut ? bytes.size() - i : 1;
      dropped += skip;
      i += skip;
      continue;
    }
    wchar_t one[4];
    bool trails = true;
    for (std::size_t k = 1; k < length; ++k) trails = trails && isTrailByte(cp, s[i + k]);
    const int k = trails ? MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                               static_cast<int>(length), one, 4)
                         : 0;
    if (k <= 0) {
      const std::size_t skip =
          length >= 2 && isTrailByte(cp, s[i + 1]) ? std::min<std::size_t>(length, 2) : 1;
      dropped += skip;
      i += skip;
      continue;
    }
    appendUtf16(one, k, out, dropped);
    i += length;
  }
}

void encodeLegacy(unsigned cp, std::u32string_view text, std::string& out, std::vector<Gap>& gaps) {
  out.reserve(out.size() + text.size());
  std::wstring units;
  std::wstring readBack;
  // Text in a script the code page lacks repeats few characters: each is
  // asked about once, not at every place it appears.
  struct Known {
    char32_t code = 0xFFFFFFFF;
    unsigned char size = 0;  // 0: the code page lacks it
    char bytes[4] = {};
  };
  std::vector<Known> known(256);
  for (std::size_t start = 0; start < text.size(); start += kChunk) {
    const std::size_t end = std::min(text.size(), start + kChunk);
    units.clear();
    bool valid = true;
    for (std::size_t i = start; i < end && valid; ++i) {
      wchar_t w[2];
      valid = isScalarValue(text[i]);
      if (valid) units.append(w, static_cast<std::size_t>(appendUnits(text[i], w)));
    }
    if (valid && convertExactly(cp, units.data(), static_cast<int>(units.size()), out, readBack)) {
      continue;
    }
    // Some character of this chunk is missing: one at a time.
    for (std::size_t i = start; i < end; ++i) {
      const char32_t c = text[i];
      Known& slot = known[c % known.size()];
      if (slot.code != c) {
        slot = Known{};
        slot.code = c;
        wchar_t w[2];
        const std::size_t before = out.size();
        if (isScalarValue(c) && convertExactly(cp, w, appendUnits(c, w), out, readBack) &&
            out.size() - before <= sizeof slot.bytes) {
          slot.size = static_cast<unsigned char>(out.size() - before);
          out.copy(slot.bytes, slot.size, before);
        }
        out.resize(before);
      }
      if (slot.size == 0) {
        gaps.push_back(Gap{i, out.size()});
      } else {
        out.append(slot.bytes, slot.size);
      }
    }
  }
}

}  // namespace korvo::charset::detail

namespace korvo::charset {

unsigned systemCodePage() {
  const unsigned cp = GetACP();
  return isTargetCodePage(cp) ? cp : 0;
}

}  // namespace korvo::charset
