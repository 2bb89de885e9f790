#pragma once
// A block of bytes looked at all at once, for scans that skip what they do
// not stop at: one bit per byte (the block's first byte in bit 0) for the
// bytes equal to one of a few stop bytes, and one for the bytes of 0x80
// and above. Sixteen bytes with SSE2, eight in a 64-bit word elsewhere;
// both give the same bits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvo::blocks {

struct Bits {
  std::uint32_t stops;
  std::uint32_t high;
};

// Eight bytes, the first in the lowest of the word's bytes, whatever the
// machine's byte order.
inline std::uint64_t loadWord(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
#else
  std::uint64_t w = 0;
  for (unsigned k = 0; k < 8; ++k) w |= static_cast<std::uint64_t>(p[k]) << (8 * k);
  return w;
#endif
}

// Eight bytes in a 64-bit word, exact in every byte (no carry crosses
// into the next byte, so a stop byte never hides or invents another).
struct WordBlocks {
  static constexpr std::size_t kSize = 8;

  template <unsigned char... Stops>
  static Bits look(const unsigned char* p) {
    const std::uint64_t w = loadWord(p);
    std::uint64_t stops = 0;
    ((stops |= equalBytes(w, Stops)), ...);
    return {gather(stops), gather(w & kTop)};
  }

 private:
  static constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  static constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  static constexpr std::uint64_t kTop = ~kLow7;

  // The top bit set in each byte of w that equals c, nothing else.
  static std::uint64_t equalBytes(std::uint64_t w, unsigned char c) {
    const std::uint64_t x = w ^ (kOnes * c);
    return ~(((x & kLow7) + kLow7) | x | kLow7);
  }

  // The top bits of the eight bytes as bits 0 to 7: byte i's lands in bit
  // 56 + i of the product, and no two partial products meet.
  static std::uint32_t gather(std::uint64_t tops) {
    return static_cast<std::uint32_t>(((tops >> 7) * 0x0102040810204080ull) >> 56);
  }
};

#if defined(__SSE2__)
struct SseBlocks {
  static constexpr std::size_t kSize = 16;

  template <unsigned char... Stops>
  static Bits look(const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hits = _mm_setzero_si128();
    ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(Stops))))), ...);
    return {static_cast<std::uint32_t>(_mm_movemask_epi8(hits)),
            static_cast<std::uint32_t>(_mm_movemask_epi8(v))};
  }
};
using Blocks = SseBlocks;
#else
using Blocks = WordBlocks;
#endif

// The bits below bit i (i < 32).
inline std::uint32_t below(unsigned i) { return (std::uint32_t{1} << i) - 1; }

// The set bits of a mask of at most 16 bits.
inline unsigned countBits(std::uint32_t bits) {
  static constexpr std::array<unsigned char, 256> kTable = [] {
    std::array<unsigned char, 256> t{};
    for (unsigned i = 1; i < 256; ++i) t[i] = static_cast<unsigned char>(t[i / 2] + (i & 1));
    return t;
  }();
  if (bits == 0) return 0;
  return kTable[bits & 0xFF] + kTable[(bits >> 8) & 0xFF];
}

// The lowest set bit of a mask that is not 0.
inline unsigned lowestBit(std::uint32_t bits) { return static_cast<unsigned>(__builtin_ctz(bits)); }

}  // namespace korvo::blocks
