#include "feed/charset_converter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "feed/byte_blocks.h"
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
// Each stand-in is held in four bytes (none is longer), so that it can be
// written in one store.
class ReplacementCache {
 public:
  struct StandIn {
    char bytes[4];
    std::size_t size;
  };
  const StandIn& find(std::uint32_t code) {
    Slot& slot = slots_[code % kSlots];
    if (slot.code != code) {
      const std::string_view text = narrowedText(code);
      slot.code = code;
      slot.standIn.size = std::min(text.size(), sizeof slot.standIn.bytes);
      // (A stand-in of nothing may have no bytes to copy from at all.)
      for (std::size_t k = 0; k < slot.standIn.size; ++k) slot.standIn.bytes[k] = text[k];
    }
    return slot.standIn;
  }

 private:
  static constexpr std::size_t kSlots = 256;
  struct Slot {
    std::uint32_t code = 0;  // no character above U+00FF has code 0
    StandIn standIn{};
  };
  Slot slots_[kSlots];
};

// Moves the followed positions along with the bytes they are in, in text
// order: every kept byte goes through moved() once, in runs.
class Follower {
 public:
  explicit Follower(const FollowedPositions* follow) {
    if (follow == nullptr) return;
    for (std::vector<std::size_t>* list : follow->lists)
      if (list != nullptr && !list->empty()) lists_[count_++] = List{list, 0};
  }
  // The bytes [from, to) of the input now stand from out on.
  void moved(std::size_t from, std::size_t to, std::size_t out) {
    for (std::size_t l = 0; l < count_; ++l) {
      List& list = lists_[l];
      std::vector<std::size_t>& at = *list.positions;
      for (; list.next < at.size() && at[list.next] < to; ++list.next)
        if (at[list.next] >= from) at[list.next] = at[list.next] - from + out;
    }
  }
  bool active() const { return count_ != 0; }

 private:
  struct List {
    std::vector<std::size_t>* positions = nullptr;
    std::size_t next = 0;
  };
  List lists_[2];
  std::size_t count_ = 0;
};

// What narrowing did. mayHoldSequence: the text may hold a sequence that
// removeSequences takes, which needs a byte of 0xC0..0xF7 directly followed
// by one of 0x80..0xBF; without such a pair the removal changes nothing.
struct Narrowing {
  bool narrowed = false;
  bool mayHoldSequence = true;
};

bool isSequenceLead(unsigned char b) { return b >= 0xC0 && b <= 0xF7; }

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Copies the ASCII bytes (no zero byte) of in from i on to out + w, up to
// the next byte that is not one, a block at a time while out has room for
// a whole block (what a block writes past the run is written over later).
void copyAscii(std::string_view in, std::size_t& i, char* out, std::size_t room, std::size_t& w) {
  using blocks::Blocks;
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
  const std::size_t n = in.size();
  while (n - i >= Blocks::kSize && room - w >= Blocks::kSize) {
    const blocks::Bits block = Blocks::look<0>(bytes + i);
    std::memcpy(out + w, bytes + i, Blocks::kSize);
    const std::uint32_t stops = block.stops | block.high;
    if (stops != 0) {
      const unsigned k = blocks::lowestBit(stops);
      i += k;
      w += k;
      return;
    }
    i += Blocks::kSize;
    w += Blocks::kSize;
  }
  for (; i < n && static_cast<unsigned char>(in[i]) - 1u < 0x7Fu; ++i, ++w) {
    if (w == room) return;
    out[w] = in[i];
  }
}

// Character by character: see fromUtf8. The text is written to out, with
// room for what it may grow by (a stand-in may be longer than its
// character: "(TM)" for the three bytes of U+2122); the text itself is
// only read. When nothing changes, out holds nothing that counts.
Narrowing narrow(std::string_view in, DocumentBuffer& out, Follower& follower) {
  const std::size_t n = in.size();
  std::size_t i = charset::plainAsciiEnd(in, 0);
  Narrowing result;
  if (i == n) return result;
  out.reserve(n + n / 8 + 32);
  char* o = out.data();
  std::size_t room = out.capacity();
  std::memcpy(o, in.data(), i);
  follower.moved(0, i, 0);
  std::size_t w = i;  // the output's length
  bool changed = false;
  bool pairSeen = false;
  // Room for k more bytes of output.
  auto makeRoom = [&](std::size_t k) {
    if (w + k <= room) return;
    out.setSize(w);
    out.reserve(std::max(room + room / 2, w + k));
    o = out.data();
    room = out.capacity();
  };
  auto putHigh = [&](unsigned char b) {
    if ((b & 0xC0) == 0x80 && w > 0 && isSequenceLead(static_cast<unsigned char>(o[w - 1])))
      pairSeen = true;
    makeRoom(1);
    o[w++] = static_cast<char>(b);
  };
  ReplacementCache replacements;
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    if (b == 0) {
      changed = true;
      break;
    }
    if (b < 0x80) {
      const std::size_t from = i, to = w;
      makeRoom(1);
      copyAscii(in, i, o, room, w);
      if (follower.active()) follower.moved(from, i, to);
      continue;
    }
    // The commonest of all, the Latin-1 range: two bytes become one.
    if ((b == 0xC2 || b == 0xC3) && i + 1 < n && isContinuation(in[i + 1])) {
      changed = true;
      putHigh(static_cast<unsigned char>(((b & 0x1F) << 6) | (in[i + 1] & 0x3F)));
      i += 2;
      continue;
    }
    // Three bytes from a lead whose continuations may be any (punctuation,
    // signs, most scripts), read without the general checks.
    char32_t code;
    std::size_t length;
    if (b >= 0xE1 && b <= 0xEF && b != 0xED && n - i >= 3 && isContinuation(in[i + 1]) &&
        isContinuation(in[i + 2])) {
      code = static_cast<char32_t>(((b & 0x0Fu) << 12) |
                                   ((static_cast<unsigned char>(in[i + 1]) & 0x3Fu) << 6) |
                                   (static_cast<unsigned char>(in[i + 2]) & 0x3Fu));
      length = 3;
    } else {
      length = charset::readUtf8(in, i, &code);
    }
    if (length == 0) {
      putHigh(b);
      ++i;
      continue;
    }
    changed = true;
    if (code <= 0xFF) {
      putHigh(static_cast<unsigned char>(code));
    } else {
      // Each stand-in in one store of its four bytes, of which size count.
      const ReplacementCache::StandIn& standIn = replacements.find(code);
      makeRoom(sizeof standIn.bytes);
      std::memcpy(o + w, standIn.bytes, sizeof standIn.bytes);
      w += standIn.size;
    }
    i += length;
  }
  // Unchanged, the output is the text and the pairs seen are its own.
  // Without any byte of output the text stays as it was, and any pair in
  // it went unseen.
  if (!changed || w == 0) {
    result.mayHoldSequence = !changed ? pairSeen : true;
    return result;
  }
  out.setSize(w);
  result.narrowed = true;
  result.mayHoldSequence = pairSeen;
  return result;
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

// Removes, from each text run of d[0, n), every lead byte followed inside
// the run by its continuation bytes; the length left. One read and one
// write position: each removal is a skip, not a move of the rest.
std::size_t removeSequences(char* d, std::size_t n, Follower& follower) {
  std::size_t r = 0;
  std::size_t w = 0;
  auto keep = [&](std::size_t from, std::size_t to) {
    if (w != from) std::memmove(d + w, d + from, to - from);
    follower.moved(from, to, w);
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
  return w;
}

}  // namespace

bool CharsetConverter::fromUtf8(std::string& text, const FollowedPositions* follow) const {
  DocumentBuffer out;
  if (!fromUtf8(text, out, follow)) return false;
  text.assign(out.data(), out.size());
  return true;
}

bool CharsetConverter::fromUtf8(std::string_view text, DocumentBuffer& out,
                                const FollowedPositions* follow) const {
  // Pure ASCII passes both steps unchanged.
  if (charset::plainAsciiEnd(text, 0) == text.size()) return false;
  Follower narrowing(follow);
  const Narrowing narrowed = narrow(text, out, narrowing);
  if (!narrowed.mayHoldSequence) return narrowed.narrowed;
  if (!narrowed.narrowed) out.assign(text);
  Follower removal(follow);
  const std::size_t left = removeSequences(out.data(), out.size(), removal);
  if (left == out.size()) return narrowed.narrowed;
  out.setSize(left);
  return true;
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
