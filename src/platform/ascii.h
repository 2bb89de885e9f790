#pragma once
// Plain ASCII rules the layers share: letter case, and reading a decimal
// number. Not a system service; they sit in the bottom layer so that the
// INI reader can use them as well.
#include <cstdint>
#include <string_view>

namespace korvo::ascii {

constexpr char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal (or beginning with prefix) without regard to ASCII letter case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

struct Decimal {
  std::int64_t value = 0;  // held within [min, max]; 0 when there are no digits
  bool hasDigits = false;
  bool inRange = true;  // false when the digits stood for a value outside [min, max]
};

// How much of the text may be other than digits.
enum class Form {
  Loose,   // like strtol in base 10: leading white space, one sign, digits up
           // to the first other character
  Digits,  // digits only, the whole text; anything else gives no digits
};

// Both bounds lie strictly between -2^59 and 2^59.
Decimal parseDecimal(std::string_view text, std::int64_t min, std::int64_t max,
                     Form form = Form::Loose);

}  // namespace korvo::ascii
