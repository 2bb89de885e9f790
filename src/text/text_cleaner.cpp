#include "text/text_cleaner.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/character_reference.h"

// Each operation rewrites the text in place with a read position `r` and a
// write position `w <= r`: bytes before `w` are final, bytes from `r` on are
// still unread input. Runs of plain text are found sixteen (or eight) bytes
// at a time and moved in bulk; only the bytes around a "<" or "&" are
// looked at one by one.

namespace korvo {
namespace {

bool isWhite(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }
bool isLetter(char c) { return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }
bool isAlnum(char c) { return isLetter(c) || (c >= '0' && c <= '9'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c; }

// Whether the bytes at p (at least name.size() of them) spell the
// lower-case `name` in any letter case.
bool spells(const char* p, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i)
    if (lower(p[i]) != name[i]) return false;
  return true;
}

// Whether the name at p, `length` bytes long, is that of a tag that
// separates text: br, p, div, li, tr, h1-h6, blockquote, hr.
bool isSeparatingTag(const char* p, std::size_t length) {
  switch (length) {
    case 1:
      return lower(p[0]) == 'p';
    case 2: {
      const char a = lower(p[0]), b = lower(p[1]);
      if (a == 'h') return b == 'r' || (b >= '1' && b <= '6');
      return (a == 'b' && b == 'r') || (a == 'l' && b == 'i') || (a == 't' && b == 'r');
    }
    case 3:
      return spells(p, "div");
    case 10:
      return spells(p, "blockquote");
    default:
      return false;
  }
}

// The position of the first byte at or after `from` that is x or y (the
// same byte twice to look for one), or n. Sixteen bytes at a time where
// SSE2 is there, else eight; no call per search, as the next mark-up is
// mostly a few bytes away.
#if defined(__SSE2__)
std::size_t findEither(const char* b, std::size_t from, std::size_t n, char x, char y) {
  const __m128i xs = _mm_set1_epi8(x), ys = _mm_set1_epi8(y);
  while (n - from >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + from));
    const unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, xs), _mm_cmpeq_epi8(block, ys))));
    if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(mask));
    from += 16;
  }
  while (from < n && b[from] != x && b[from] != y) ++from;
  return from;
}
#else
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Non-zero when one of the eight bytes of word is c (exact for the first
// such byte, which is all a scan needs).
std::uint64_t holds(std::uint64_t word, unsigned char c) {
  const std::uint64_t x = word ^ (kOnes * c);
  return (x - kOnes) & ~x & kHighBits;
}

// The offset in the word read from bytes of the first byte that found
// (non-zero, as holds makes it) marks.
std::size_t firstFound(std::uint64_t found, const char* bytes, char x, char y) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  (void)bytes, (void)x, (void)y;
  return static_cast<std::size_t>(__builtin_ctzll(found)) / 8;
#else
  (void)found;
  std::size_t i = 0;
  while (bytes[i] != x && bytes[i] != y) ++i;
  return i;
#endif
}

std::uint64_t holdsEither(std::uint64_t word, char x, char y) {
  return holds(word, static_cast<unsigned char>(x)) | holds(word, static_cast<unsigned char>(y));
}

std::size_t findEither(const char* b, std::size_t from, std::size_t n, char x, char y) {
  while (n - from >= 8) {
    std::uint64_t word;
    std::memcpy(&word, b + from, 8);
    const std::uint64_t found = holdsEither(word, x, y);
    if (found != 0) return from + firstFound(found, b + from, x, y);
    from += 8;
  }
  while (from < n && b[from] != x && b[from] != y) ++from;
  return from;
}
#endif

// Moves the plain bytes from r up to the next "<" or "&" (or the end) to w.
void movePlain(char* b, std::size_t n, std::size_t& r, std::size_t& w) {
  if (r == w) {
    r = w = findEither(b, r, n, '<', '&');
    return;
  }
#if defined(__SSE2__)
  // Far enough behind that a whole block stored at w cannot reach unread
  // input: the block is moved before it is looked at.
  if (r - w >= 16) {
    const __m128i lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&');
    while (n - r >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + r));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(b + w), block);
      const unsigned mask = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, lt), _mm_cmpeq_epi8(block, amp))));
      if (mask != 0) {
        const std::size_t k = static_cast<std::size_t>(__builtin_ctz(mask));
        r += k;
        w += k;
        return;
      }
      r += 16;
      w += 16;
    }
  }
#else
  // The same eight bytes at a time.
  if (r - w >= 8) {
    while (n - r >= 8) {
      std::uint64_t word;
      std::memcpy(&word, b + r, 8);
      std::memcpy(b + w, &word, 8);
      const std::uint64_t found = holdsEither(word, '<', '&');
      if (found != 0) {
        const std::size_t k = firstFound(found, b + r, '<', '&');
        r += k;
        w += k;
        return;
      }
      r += 8;
      w += 8;
    }
  }
#endif
  const std::size_t end = findEither(b, r, n, '<', '&');
  std::memmove(b + w, b + r, end - r);
  w += end - r;
  r = end;
}

class Scanner {
 public:
  Scanner(char* bytes, std::size_t size) : b_(bytes), n_(size) {}

  // Position of the first `c` at or after `from`, or the size.
  std::size_t find(char c, std::size_t from) const {
    return from < n_ ? findEither(b_, from, n_, c, c) : n_;
  }

  // The next ">" at or after `from`. A search that fails is remembered, so
  // that a text full of "<" without a ">" costs one scan, not one per "<".
  std::size_t findClose(std::size_t from) {
    if (from >= noCloseFrom_) return n_;
    const std::size_t close = find('>', from);
    if (close == n_) noCloseFrom_ = from;
    return close;
  }

  // Where the mark-up starting with the "<" at `at` ends (one past it), or
  // 0 when that "<" starts none. `separates` tells whether it is a
  // separating tag.
  std::size_t markupEnd(std::size_t at, bool& separates) {
    separates = false;
    if (at + 1 >= n_) return 0;
    const char next = b_[at + 1];
    if (next == '!' && at + 4 <= n_ && b_[at + 2] == '-' && b_[at + 3] == '-') {
      const std::size_t end = commentEnd(at + 4);
      if (end != 0) return end;
    }
    std::size_t name = at + 1;
    if (next == '/') ++name;
    const bool named = name < n_ && isLetter(b_[name]);
    if (!named && next != '!' && next != '?') return 0;
    const std::size_t close = findClose(at + 1);
    if (close == n_) return 0;
    if (!named) return close + 1;
    std::size_t nameEnd = name;
    while (isAlnum(b_[nameEnd])) ++nameEnd;
    const char after = b_[nameEnd];
    if (!isWhite(after) && after != '/' && after != '>') return close + 1;
    const std::size_t length = nameEnd - name;
    if (isSeparatingTag(b_ + name, length)) {
      separates = true;
      return close + 1;
    }
    if (next != '/' && length == 6 && spells(b_ + name, "script"))
      return elementEnd(close + 1, "script", noScriptEndFrom_);
    if (next != '/' && length == 5 && spells(b_ + name, "style"))
      return elementEnd(close + 1, "style", noStyleEndFrom_);
    return close + 1;
  }

 private:
  // One past the "-->" that ends a comment whose text starts at `from`, or
  // 0 when there is none.
  std::size_t commentEnd(std::size_t from) {
    if (from >= noCommentEndFrom_) return 0;
    for (std::size_t close = find('>', from); close < n_; close = find('>', close + 1)) {
      if (close >= from + 2 && b_[close - 1] == '-' && b_[close - 2] == '-') return close + 1;
    }
    noCommentEndFrom_ = from;
    return 0;
  }

  // One past the end tag of the element named `name` whose content starts
  // at `from`; without an end tag only the start tag goes, so `from`.
  std::size_t elementEnd(std::size_t from, std::string_view name, std::size_t& noEndFrom) {
    if (from >= noEndFrom) return from;
    for (std::size_t open = find('<', from); open < n_; open = find('<', open + 1)) {
      const std::size_t nameAt = open + 2;
      if (nameAt + name.size() >= n_ || b_[open + 1] != '/' || !spells(b_ + nameAt, name))
        continue;
      const char after = b_[nameAt + name.size()];
      if (!isWhite(after) && after != '/' && after != '>') continue;
      const std::size_t close = findClose(nameAt);
      if (close == n_) break;
      return close + 1;
    }
    noEndFrom = from;
    return from;
  }

  char* b_;
  std::size_t n_;
  std::size_t noCloseFrom_ = static_cast<std::size_t>(-1);
  std::size_t noCommentEndFrom_ = static_cast<std::size_t>(-1);
  std::size_t noScriptEndFrom_ = static_cast<std::size_t>(-1);
  std::size_t noStyleEndFrom_ = static_cast<std::size_t>(-1);
};

// Copies text, at most four bytes (all referenceText writes), to `to`
// without a call.
void copyShort(std::string_view text, char* to) {
  switch (text.size()) {
    case 4:
      to[3] = text[3];
      [[fallthrough]];
    case 3:
      to[2] = text[2];
      [[fallthrough]];
    case 2:
      to[1] = text[1];
      [[fallthrough]];
    case 1:
      to[0] = text[0];
      break;
    default:
      break;
  }
}

// How far decoding a reference took the reading and the writing; nothing
// read when no reference starts there.
struct Advance {
  std::size_t read;
  std::size_t written;
};

// Decodes the reference that starts at b[r] (the text's "&") into b[w],
// when readCharacterReference takes it. The decoded text is never longer
// than the reference: the text only shrinks.
Advance decodeReference(char* b, std::size_t n, std::size_t r, std::size_t w,
                        ReferenceForm form) {
  const CharacterReference ref = readCharacterReference(std::string_view(b + r, n - r));
  if (ref.length == 0) return {0, 0};
  char buffer[4];
  const std::string_view text = referenceText(ref.code, form, buffer);
  if (text.size() > ref.length || text.size() > 4) return {ref.length, 0};
  copyShort(text, b + w);
  return {ref.length, text.size()};
}

#if defined(__SSE2__)
// The references of one text, each worked out once: feed texts use a few
// over and over. A reference ends at the first ";" after its "&" and
// nothing after that ";" changes it, so the bytes through that ";" (when
// it is among the next sixteen) are what it is remembered by.
class References {
 public:
  explicit References(ReferenceForm form) : form_(form) {}

  // decodeReference, with what the reference is written as remembered.
  Advance decode(char* b, std::size_t n, std::size_t r, std::size_t w) {
    if (n - r < 16) return decodeReference(b, n, r, w, form_);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + r));
    const unsigned semicolons =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(';'))));
    if (semicolons == 0) return decodeReference(b, n, r, w, form_);
    // Where the reading goes next is found from the text itself, so that
    // it does not wait for the memo.
    const std::size_t through = static_cast<std::size_t>(__builtin_ctz(semicolons)) + 1;
    const __m128i key = _mm_and_si128(
        bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep + 16 - through)));
    // The slot from the reference's first eight bytes and its length.
    const std::uint32_t head = static_cast<std::uint32_t>(_mm_cvtsi128_si32(key));
    const std::uint32_t next =
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(key, 4)));
    const std::uint32_t mixed =
        (head * 0x9E3779B1u) ^ (next * 0x85EBCA6Bu) ^ static_cast<std::uint32_t>(through << 16);
    const unsigned slot = (mixed ^ (mixed >> 15)) & ((1u << kSlotBits) - 1);
    Entry& entry = entries_[slot];
    const bool known =
        (known_ >> slot & 1) != 0 &&
        _mm_movemask_epi8(_mm_cmpeq_epi8(
            key, _mm_loadu_si128(reinterpret_cast<const __m128i*>(entry.key)))) == 0xFFFF;
    if (!known) {
      if (!remember(b, n, r, through, entry)) return decodeReference(b, n, r, w, form_);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(entry.key), key);
      known_ |= std::uint64_t{1} << slot;
    }
    if (!entry.isReference) return {0, 0};
    // At most four bytes, stored as one word: that reaches no further
    // than the reference itself, when it has four bytes or the writing is
    // behind the reading; else one by one.
    if (r + through - w >= 4) {
      std::memcpy(b + w, entry.bytes, 4);
    } else {
      for (std::size_t i = 0; i < entry.size; ++i) b[w + i] = entry.bytes[i];
    }
    return {through, entry.size};
  }

 private:
  struct Entry {
    char key[16];
    bool isReference;
    std::uint8_t size;
    char bytes[4];
  };

  // Fills entry, but for its key, with what the reference (or lone "&") at
  // b[r] is written as; false, entry left as it was, for a reference that
  // does not end at that ";".
  bool remember(const char* b, std::size_t n, std::size_t r, std::size_t through,
                Entry& entry) {
    const CharacterReference ref = readCharacterReference(std::string_view(b + r, n - r));
    if (ref.length != 0 && ref.length != through) return false;
    char buffer[4];
    const std::string_view text =
        ref.length != 0 ? referenceText(ref.code, form_, buffer) : std::string_view();
    entry.isReference = ref.length != 0;
    entry.size = 0;
    const std::uint32_t none = 0;
    std::memcpy(entry.bytes, &none, sizeof entry.bytes);
    if (text.size() <= ref.length && text.size() <= sizeof entry.bytes) {
      entry.size = static_cast<std::uint8_t>(text.size());
      copyShort(text, entry.bytes);
    }
    return true;
  }

  static constexpr unsigned kSlotBits = 6;
  // Sixteen bytes kept, then sixteen cleared: the mask that keeps the
  // first k bytes starts 16 - k bytes in.
  static constexpr unsigned char kKeep[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

  ReferenceForm form_;
  // Which entries hold a reference: entries are filled only when used, so
  // that a short text does not pay for clearing them.
  std::uint64_t known_ = 0;
  Entry entries_[std::size_t{1} << kSlotBits];
};
#else
class References {
 public:
  explicit References(ReferenceForm form) : form_(form) {}
  Advance decode(char* b, std::size_t n, std::size_t r, std::size_t w) {
    return decodeReference(b, n, r, w, form_);
  }

 private:
  ReferenceForm form_;
};
#endif

// Whether the "<" at `at` opens a line-break tag, and if so one past its ">".
std::size_t breakEnd(Scanner& scan, const char* b, std::size_t n, std::size_t at) {
  std::size_t name = at + 1;
  if (name < n && b[name] == '/') ++name;
  if (name + 2 >= n || lower(b[name]) != 'b' || lower(b[name + 1]) != 'r') return 0;
  const char after = b[name + 2];
  if (!isWhite(after) && after != '/' && after != '>') return 0;
  const std::size_t close = scan.findClose(name + 2);
  return close < n ? close + 1 : 0;
}

}  // namespace

void replaceBr(std::string& text) {
  char* const b = text.data();
  const std::size_t n = text.size();
  Scanner scan(b, n);
  std::size_t r = 0, w = 0;
  for (std::size_t open = scan.find('<', 0); open < n; open = scan.find('<', open + 1)) {
    const std::size_t end = breakEnd(scan, b, n, open);
    if (end == 0) continue;
    if (w != r) std::memmove(b + w, b + r, open - r);
    w += open - r;
    b[w++] = '\n';
    r = end;
    open = end - 1;
  }
  if (w == r) return;
  std::memmove(b + w, b + r, n - r);
  text.resize(w + (n - r));
}

void filterHtml(std::string& text, TagBreak tagBreak, ReferenceForm form) {
  char* const b = text.data();
  const std::size_t n = text.size();
  Scanner scan(b, n);
  References references(form);
  std::size_t r = 0, w = 0;
  // Output before this position came from decoded references, which a gap
  // never takes back.
  std::size_t settled = 0;
  for (;;) {
    movePlain(b, n, r, w);
    if (r == n) break;
    if (b[r] == '&') {
      const Advance advance = references.decode(b, n, r, w);
      if (advance.read != 0) {
        r += advance.read;
        w += advance.written;
        settled = w;
      } else {
        b[w++] = '&';
        ++r;
      }
      continue;
    }
    bool separates = false;
    std::size_t end = scan.markupEnd(r, separates);
    if (end == 0) {
      b[w++] = '<';
      ++r;
      continue;
    }
    // The gap: white space already written, the mark-up, and every further
    // run of white space and mark-up.
    bool white = false, separated = separates;
    int lineFeeds = 0;
    while (w > settled && isWhite(b[w - 1])) {
      white = true;
      lineFeeds += b[--w] == '\n';
    }
    r = end;
    for (;;) {
      while (r < n && isWhite(b[r])) {
        white = true;
        lineFeeds += b[r++] == '\n';
      }
      if (r == n || b[r] != '<' || (end = scan.markupEnd(r, separates)) == 0) break;
      separated = separated || separates;
      r = end;
    }
    if (w != 0 && r != n) {
      if (tagBreak == TagBreak::LineFeed && (separated || lineFeeds > 0)) {
        b[w++] = '\n';
        if (lineFeeds > 1) b[w++] = '\n';
      } else if (separated || white) {
        b[w++] = ' ';
      }
    }
  }
  text.resize(w);
}

}  // namespace korvo
