#include "text/text_cleaner.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/ascii.h"
#include "text/entity_tables.h"

// Each operation rewrites the text in place with a read position `r` and a
// write position `w <= r`: bytes before `w` are final, bytes from `r` on are
// still unread input. Nothing is erased or inserted in the middle of the
// string, so the cost stays linear in its length.

namespace korvo {
namespace {

// The farthest a ";" may stand from its "&" for the two to form a reference.
constexpr std::size_t kMaxReferenceSpan = 10;

constexpr std::string_view kBreak = "<br>";
constexpr std::string_view kSelfClosingBreak = "<br />";

class InPlaceRewrite {
 public:
  explicit InPlaceRewrite(std::string& text) : text_(text), b_(text.data()), n_(text.size()) {}

  char* bytes() const { return b_; }
  std::size_t size() const { return n_; }
  std::size_t readPos() const { return r_; }

  // Position of the first `c` in [from, to), or `to` itself when there is none.
  std::size_t find(char c, std::size_t from, std::size_t to) const {
    const void* hit = std::memchr(b_ + from, c, to - from);
    return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - b_) : to;
  }
  std::size_t find(char c, std::size_t from) const { return find(c, from, n_); }

  // Moves the unread bytes up to `to` into the result.
  void keepUntil(std::size_t to) {
    if (w_ != r_) std::memmove(b_ + w_, b_ + r_, to - r_);
    w_ += to - r_;
    r_ = to;
  }
  void skipUntil(std::size_t to) { r_ = to; }
  void put(char c) { b_[w_++] = c; }

  // Puts `replacement` back at the front of the unread input, ending at the
  // current read position; it must be shorter than what was read past.
  void pushBack(std::string_view replacement) {
    if (replacement.empty()) return;
    r_ -= replacement.size();
    std::memcpy(b_ + r_, replacement.data(), replacement.size());
  }

  void finish() {
    keepUntil(n_);
    text_.resize(w_);
  }

 private:
  std::string& text_;
  char* b_;
  std::size_t n_;
  std::size_t r_ = 0;
  std::size_t w_ = 0;
};

// Read like strtol in base 10; no digits gives 0. Held just past the
// 32-bit range, which is all that matters for testing against 1..255.
std::int64_t decimalValue(std::string_view text) {
  constexpr std::int64_t kPastRange = std::int64_t{1} << 32;
  return ascii::parseDecimal(text, -kPastRange, kPastRange).value;
}

// What the reference with `body` between its "&" and ";" stands for; a
// single byte is returned through `byte`.
std::string_view decodeReference(std::string_view body, char& byte) {
  if (!body.empty() && body[0] == '#') {
    const std::string_view number = body.substr(1);
    const std::int64_t value = decimalValue(number);
    if (value >= 1 && value <= 255) {
      byte = static_cast<char>(static_cast<unsigned char>(value));
      return std::string_view(&byte, 1);
    }
    const SpecialEntity* row = findSpecialEntityByCode(number);
    return row != nullptr ? row->replacement : std::string_view();
  }
  if (const LatinEntity* row = findLatinEntity(body)) {
    byte = static_cast<char>(row->code);
    return std::string_view(&byte, 1);
  }
  const SpecialEntity* row = findSpecialEntityByName(body);
  return row != nullptr ? row->replacement : std::string_view();
}

bool startsWith(const InPlaceRewrite& text, std::size_t at, std::string_view what) {
  return text.size() - at >= what.size() &&
         std::memcmp(text.bytes() + at, what.data(), what.size()) == 0;
}

void removeTags(std::string& text) {
  InPlaceRewrite rw(text);
  for (;;) {
    const std::size_t open = rw.find('<', rw.readPos());
    if (open == rw.size()) break;
    const std::size_t close = rw.find('>', open);
    if (close == rw.size()) break;
    rw.keepUntil(open);
    rw.skipUntil(close + 1);
  }
  rw.finish();
}

// A decoded text goes back to the front of the unread input, which makes it
// the place where the search for the next "&" resumes, exactly as if it had
// been inserted where the reference stood ("&amp;lt;" gives "<"). It is
// always shorter than its reference, so the text shrinks with every decoding
// and each byte is read a bounded number of times.
void decodeReferences(std::string& text) {
  InPlaceRewrite rw(text);
  for (;;) {
    const std::size_t amp = rw.find('&', rw.readPos());
    if (amp == rw.size()) break;
    rw.keepUntil(amp);
    const std::size_t windowEnd = std::min(rw.size(), amp + 1 + kMaxReferenceSpan);
    const std::size_t semi = rw.find(';', amp + 1, windowEnd);
    if (semi == windowEnd) {
      // Too far away: this "&" and everything up to its ";" stay as they are.
      const std::size_t farSemi = rw.find(';', windowEnd);
      if (farSemi == rw.size()) break;
      rw.keepUntil(farSemi + 1);
      continue;
    }
    char byte = 0;
    const std::string_view replacement =
        decodeReference(std::string_view(rw.bytes() + amp + 1, semi - amp - 1), byte);
    rw.skipUntil(semi + 1);
    rw.pushBack(replacement);
  }
  rw.finish();
}

}  // namespace

void replaceBr(std::string& text) {
  // The two forms cannot overlap each other or themselves, and a line feed
  // is part of neither, so one scan finds what two successive ones would.
  InPlaceRewrite rw(text);
  for (;;) {
    const std::size_t open = rw.find('<', rw.readPos());
    if (open == rw.size()) break;
    std::size_t length = 0;
    if (startsWith(rw, open, kBreak)) {
      length = kBreak.size();
    } else if (startsWith(rw, open, kSelfClosingBreak)) {
      length = kSelfClosingBreak.size();
    }
    if (length == 0) {
      rw.keepUntil(open + 1);
      continue;
    }
    rw.keepUntil(open);
    rw.skipUntil(open + length);
    rw.put('\n');
  }
  rw.finish();
}

void filterHtml(std::string& text) {
  removeTags(text);
  decodeReferences(text);
}

}  // namespace korvo
