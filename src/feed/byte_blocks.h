#pragma once
// A block of bytes looked at all at once, for scans that skip what they do
// not stop at: one bit per byte (the block's first byte in bit 0) for the
// bytes equal to one of a few stop bytes (or to each of two, apart), and
// one for the bytes of 0x80 and above. Sixteen bytes with SSE2, eight in
// a 64-bit word elsewhere; both give the same bits.
#include <algorithm>
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

// The same with two kinds of stop byte told apart.
struct Split {
  std::uint32_t first;
  std::uint32_t second;
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

  // The bytes equal to A and those equal to B, apart.
  template <unsigned char A, unsigned char B>
  static Split split(const unsigned char* p) {
    const std::uint64_t w = loadWord(p);
    return {gather(equalBytes(w, A)), gather(equalBytes(w, B)), gather(w & kTop)};
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

  template <unsigned char A, unsigned char B>
  static Split split(const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return {static_cast<std::uint32_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(A))))),
            static_cast<std::uint32_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(B))))),
            static_cast<std::uint32_t>(_mm_movemask_epi8(v))};
  }
};
using Blocks = SseBlocks;
#else
using Blocks = WordBlocks;
#endif

// Two blocks side by side, read as one of twice the size (the second
// one's bits above the first's), for scans that most often go further than
// one block.
template <typename Half>
struct PairBlocks {
  static constexpr std::size_t kSize = 2 * Half::kSize;

  template <unsigned char... Stops>
  static Bits look(const unsigned char* p) {
    const Bits low = Half::template look<Stops...>(p);
    const Bits up = Half::template look<Stops...>(p + Half::kSize);
    return {low.stops | up.stops << Half::kSize, low.high | up.high << Half::kSize};
  }

  template <unsigned char A, unsigned char B>
  static Split split(const unsigned char* p) {
    const Split low = Half::template split<A, B>(p);
    const Split up = Half::template split<A, B>(p + Half::kSize);
    return {low.first | up.first << Half::kSize, low.second | up.second << Half::kSize,
            low.high | up.high << Half::kSize};
  }
};

using WideBlocks = PairBlocks<Blocks>;

// The bits below bit i (i < 32).
inline std::uint32_t below(unsigned i) { return (std::uint32_t{1} << i) - 1; }

// The set bits of a mask.
inline unsigned countBits(std::uint32_t bits) {
  static constexpr std::array<unsigned char, 256> kTable = [] {
    std::array<unsigned char, 256> t{};
    for (unsigned i = 1; i < 256; ++i) t[i] = static_cast<unsigned char>(t[i / 2] + (i & 1));
    return t;
  }();
  if (bits == 0) return 0;
  return kTable[bits & 0xFF] + kTable[(bits >> 8) & 0xFF] + kTable[(bits >> 16) & 0xFF] +
         kTable[bits >> 24];
}

// The lowest set bit of a mask that is not 0.
inline unsigned lowestBit(std::uint32_t bits) { return static_cast<unsigned>(__builtin_ctz(bits)); }

// The bytes of 0x80 and above among the n from p.
__attribute__((noinline)) inline std::size_t highBytes(const unsigned char* p, std::size_t n) {
  std::size_t count = 0;
  const unsigned char* const end = p + n;
#if defined(__SSE2__)
  // Sixteen counters of a byte each, four blocks at a time, emptied
  // before one can overflow. Text in most languages is low bytes alone for
  // long stretches: eight blocks of them at a time are only looked at.
  const __m128i zero = _mm_setzero_si128();
  const auto block = [](const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  while (end - p >= 64) {
    const std::size_t rounds = std::min<std::size_t>(static_cast<std::size_t>(end - p) / 64, 63);
    __m128i counts = zero;
    const unsigned char* const last = p + rounds * 64;
    for (; last - p >= 128; p += 128) {
      const __m128i low = _mm_or_si128(_mm_or_si128(block(p), block(p + 16)),
                                       _mm_or_si128(block(p + 32), block(p + 48)));
      const __m128i up = _mm_or_si128(_mm_or_si128(block(p + 64), block(p + 80)),
                                      _mm_or_si128(block(p + 96), block(p + 112)));
      if (_mm_movemask_epi8(_mm_or_si128(low, up)) != 0) break;
    }
    for (; p != last; p += 64) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
      if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
      counts = _mm_sub_epi8(counts, _mm_add_epi8(_mm_add_epi8(_mm_cmplt_epi8(a, zero),
                                                              _mm_cmplt_epi8(b, zero)),
                                                 _mm_add_epi8(_mm_cmplt_epi8(c, zero),
                                                              _mm_cmplt_epi8(d, zero))));
    }
    const __m128i sums = _mm_sad_epu8(counts, zero);
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  constexpr std::uint64_t kTop = 0x8080808080808080ull;
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  for (; end - p >= 8; p += 8)
    count += static_cast<std::size_t>((((loadWord(p) & kTop) >> 7) * kOnes) >> 56);
  for (; p != end; ++p) count += *p >> 7;
  return count;
}

}  // namespace korvo::blocks
