#pragma once
// A date's text built in a fixed buffer of limits::kMaxDateTextBytes, with
// no allocation; writing past its end leaves it overflowed.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/limits.h"

namespace korvo {

class DateText {
 public:
  void append(std::string_view text) {
    for (char c : text) append(c);
  }
  void append(char c) {
    if (length_ == sizeof buffer_) {
      overflowed_ = true;
      return;
    }
    buffer_[length_++] = c;
  }
  // value in decimal, at least width digits filled with pad on the left
  // (pad '\0': no filling).
  void appendNumber(std::int64_t value, int width = 0, char pad = '0') {
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    // Digit by digit from the negative side, which holds every int64.
    std::int64_t rest = negative ? value : -value;
    do {
      digits[count++] = static_cast<char>('0' - rest % 10);
      rest /= 10;
    } while (rest != 0);
    if (negative) append('-');
    if (pad != '\0')
      for (int i = count; i < width; ++i) append(pad);
    while (count > 0) append(digits[--count]);
  }
  // Upper-cases the ASCII letters written from position from on.
  void upperCaseFrom(std::size_t from) {
    for (std::size_t i = from; i < length_; ++i)
      if (buffer_[i] >= 'a' && buffer_[i] <= 'z') buffer_[i] = static_cast<char>(buffer_[i] - 32);
  }

  std::size_t size() const { return length_; }
  bool overflowed() const { return overflowed_; }
  std::string_view view() const { return {buffer_, length_}; }

 private:
  char buffer_[limits::kMaxDateTextBytes];
  std::size_t length_ = 0;
  bool overflowed_ = false;
};

}  // namespace korvo
