#include "feed/charset_converter.h"

#include <cstdint>
#include <cstring>

#include "platform/text_conversion.h"
#include "text/character_reference.h"

namespace korvo {
namespace {

// ISO-8859-2 bytes 0xA1..0xFF to plain letters and signs; 0xA0, every
// byte below and ß (0xDF, the same byte in Latin-1) stay.
// clang-format off
constexpr unsigned char Iso88592Table[0x100 - 0xA1] = {
          0x41, 0x09, 0x4C, 0x2A, 0x4C, 0x53, 0xA7, 0xB4, 0x53, 0x53, 0x54, 0x5A, 0x2D, 0x5A, 0x5A,
    0xA7, 0x61, 0x2C, 0x6C, 0xB4, 0x6C, 0x73, 0xB4, 0x2C, 0x73, 0x73, 0x74, 0x7A, 0xB4, 0x7A, 0x7A,
    0x52, 0x41, 0x41, 0x41, 0x41, 0x4C, 0x43, 0x43, 0x43, 0x45, 0x45, 0x45, 0x45, 0x49, 0x49, 0x44,
    0x44, 0x4E, 0x4E, 0x4F, 0x4F, 0x4F, 0x4F, 0x2A, 0x52, 0x55, 0x55, 0x55, 0x55, 0x59, 0x54, 0xDF,
    0x72, 0x61, 0x61, 0x61, 0x61, 0x6C, 0x63, 0x63, 0x63, 0x65, 0x65, 0x65, 0x65, 0x69, 0x69, 0x64,
    0x64, 0x6E, 0x6E, 0x6F, 0x6F, 0x6F, 0x6F, 0x2F, 0x72, 0x75, 0x75, 0x75, 0x75, 0x79, 0x74, 0x60,
};
// clang-format on

// A text in another script asks for the same few codes again and again.
class ReplacementCache {
 public:
  std::string_view find(std::uint32_t code) {
    Slot& slot = slots_[code % kSlots];
    if (slot.code != code) slot = Slot{code, narrowedText(code)};
    return slot.replacement;
  }

 private:
  static constexpr std::size_t kSlots = 256;
  struct Slot {
    std::uint32_t code = 0;  // no character above U+00FF has code 0
    std::string_view replacement;
  };
  Slot slots_[kSlots];
};

// Character by character: see fromUtf8.
bool narrow(std::string& text) {
  const std::size_t n = text.size();
  const char* s = text.data();
  std::size_t i = charset::plainAsciiEnd(text, 0);
  if (i == n) return false;
  std::string out;
  out.reserve(n);
  out.append(s, i);
  ReplacementCache replacements;
  bool changed = false;
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b == 0) {
      changed = true;
      break;
    }
    if (b < 0x80) {
      const std::size_t j = charset::plainAsciiEnd(text, i);
      out.append(s + i, j - i);
      i = j;
      continue;
    }
    char32_t code;
    const std::size_t length = charset::readUtf8(text, i, &code);
    if (length == 0) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    changed = true;
    if (code <= 0xFF) {
      out.push_back(static_cast<char>(code));
    } else {
      out.append(replacements.find(code));
    }
    i += length;
  }
  if (!changed || out.empty()) return false;
  text.swap(out);
  return true;
}

// The length of the lead byte's sequence that a text run may lose, or 0.
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  return 0;
}

// The first position in [i, end) that holds a byte of 0xC0 or above (one
// with both top bits set), or end.
std::size_t findLeadByte(const char* s, std::size_t i, std::size_t end) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  for (; end - i >= 8; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s + i, 8);
    if (w & (w << 1) & kHigh) break;
  }
  while (i < end && static_cast<unsigned char>(s[i]) < 0xC0) ++i;
  return i;
}

bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Removes, from each text run, every lead byte followed inside the run by
// its continuation bytes. One read and one write position: each removal
// is a skip, not a move of the rest.
bool removeSequences(std::string& text) {
  char* d = text.data();
  const std::size_t n = text.size();
  std::size_t r = 0;
  std::size_t w = 0;
  auto keep = [&](std::size_t from, std::size_t to) {
    if (w != from) std::memmove(d + w, d + from, to - from);
    w += to - from;
  };
  while (r < n) {
    if (d[r] == '<') {
      const void* gt = std::memchr(d + r + 1, '>', n - r - 1);
      if (!gt) break;
      const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(gt) - d) + 1;
      keep(r, end);
      r = end;
      continue;
    }
    const void* lt = std::memchr(d + r, '<', n - r);
    if (!lt) break;  // text after the last tag is not examined
    const std::size_t runEnd = static_cast<std::size_t>(static_cast<const char*>(lt) - d);
    std::size_t from = r;
    for (std::size_t i = findLeadByte(d, r, runEnd); i < runEnd; i = findLeadByte(d, i, runEnd)) {
      const std::size_t length = sequenceLength(static_cast<unsigned char>(d[i]));
      bool whole = length != 0 && runEnd - i >= length;
      for (std::size_t k = 1; whole && k < length; ++k) whole = isContinuation(d[i + k]);
      if (!whole) {
        ++i;
        continue;
      }
      keep(from, i);
      i += length;
      from = i;
    }
    keep(from, runEnd);
    r = runEnd;
  }
  keep(r, n);
  if (w == n) return false;
  text.resize(w);
  return true;
}

}  // namespace

bool CharsetConverter::fromUtf8(std::string& text) const {
  // Pure ASCII passes both steps unchanged.
  if (charset::plainAsciiEnd(text, 0) == text.size()) return false;
  const bool narrowed = narrow(text);
  const bool removed = removeSequences(text);
  return narrowed || removed;
}

bool CharsetConverter::fromIso88592(std::string& text) const {
  char* d = text.data();
  const std::size_t n = text.size();
  bool changed = false;
  std::size_t r = 0;
  while (r < n) {
    if (d[r] == '<') {
      const void* gt = std::memchr(d + r + 1, '>', n - r - 1);
      if (!gt) break;
      r = static_cast<std::size_t>(static_cast<const char*>(gt) - d) + 1;
      continue;
    }
    const void* lt = std::memchr(d + r, '<', n - r);
    const std::size_t end = lt ? static_cast<std::size_t>(static_cast<const char*>(lt) - d) : n;
    for (; r < end; ++r) {
      const unsigned char b = static_cast<unsigned char>(d[r]);
      if (b < 0xA1) continue;
      const unsigned char plain = Iso88592Table[b - 0xA1];
      if (plain != b) {
        d[r] = static_cast<char>(plain);
        changed = true;
      }
    }
  }
  return changed;
}

}  // namespace korvo
