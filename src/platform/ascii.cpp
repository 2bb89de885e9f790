#include "platform/ascii.h"

#include <algorithm>

namespace korvo::ascii {
namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && startsWithIgnoringCase(a, b);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (lower(text[i]) != lower(prefix[i])) return false;
  return true;
}

Decimal parseDecimal(std::string_view text, std::int64_t min, std::int64_t max, Form form) {
  // Past every allowed bound, so a saturated magnitude is out of range, and
  // small enough that ten times it cannot overflow.
  constexpr std::int64_t kPastBounds = std::int64_t{1} << 59;
  Decimal out;
  std::size_t i = 0;
  bool negative = false;
  if (form == Form::Loose) {
    while (i < text.size() && isSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  }
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    out.hasDigits = true;
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), kPastBounds);
  }
  if (form == Form::Digits && i != text.size()) {
    out.hasDigits = false;
    magnitude = 0;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  out.inRange = value >= min && value <= max;
  out.value = std::clamp(value, min, max);
  return out;
}

}  // namespace korvo::ascii
