#include "platform/ascii.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string_view>

namespace korvo::ascii {
namespace {

TEST(AsciiTest, LetterCaseIsIgnoredForAsciiLettersOnly) {
  EXPECT_TRUE(equalsIgnoringCase("NewsSites", "newssites"));
  EXPECT_TRUE(equalsIgnoringCase("", ""));
  EXPECT_FALSE(equalsIgnoringCase("News", "NewsSites"));
  EXPECT_FALSE(equalsIgnoringCase("\xC0", "\xE0"));  // Latin-1 letters keep their case
  EXPECT_FALSE(equalsIgnoringCase("[", "{"));        // 0x5B and 0x7B differ by 0x20 too
  EXPECT_TRUE(startsWithIgnoringCase("HTTP://example.org/", "http://"));
  EXPECT_TRUE(startsWithIgnoringCase("abc", ""));
  EXPECT_FALSE(startsWithIgnoringCase("http:", "http://"));
}

TEST(AsciiTest, ParseDecimalReadsLikeStrtolWithinTheGivenBounds) {
  constexpr std::int64_t kMin = INT_MIN;
  constexpr std::int64_t kMax = INT_MAX;
  struct Case {
    std::string_view text;
    std::int64_t value;
    bool hasDigits;
    bool inRange;
  };
  const Case cases[] = {
      {"42", 42, true, true},
      {" \t\n+7x", 7, true, true},
      {"-0012", -12, true, true},
      {"", 0, false, true},
      {"-", 0, false, true},
      {"abc", 0, false, true},
      {"- 5", 0, false, true},
      {"2147483647", kMax, true, true},
      {"2147483648", kMax, true, false},
      {"-2147483648", kMin, true, true},
      {"-2147483649", kMin, true, false},
      {"99999999999999999999999999999", kMax, true, false},
      {"-99999999999999999999999999999", kMin, true, false},
  };
  for (const Case& c : cases) {
    const Decimal d = parseDecimal(c.text, kMin, kMax);
    EXPECT_EQ(d.value, c.value) << c.text;
    EXPECT_EQ(d.hasDigits, c.hasDigits) << c.text;
    EXPECT_EQ(d.inRange, c.inRange) << c.text;
  }
  // Other bounds: the value is held at them, not at the 32-bit ends.
  EXPECT_EQ(parseDecimal("300", 1, 255).value, 255);
  EXPECT_FALSE(parseDecimal("0", 1, 255).inRange);
  EXPECT_EQ(parseDecimal("4294967297", -(std::int64_t{1} << 32), std::int64_t{1} << 32).value,
            std::int64_t{1} << 32);
}

// Ports and code-page numbers: digits and nothing else.
TEST(AsciiTest, DigitsFormTakesOnlyAWholeRunOfDigits) {
  const struct {
    const char* text;
    std::int64_t value;
    bool hasDigits, inRange;
  } cases[] = {
      {"8080", 8080, true, true}, {"65535", 65535, true, true}, {"65536", 65535, true, false},
      {"0", 1, true, false},      {"", 1, false, false},        {" 80", 1, false, false},
      {"+80", 1, false, false},   {"80 ", 1, false, false},     {"8o", 1, false, false},
  };
  for (const auto& c : cases) {
    const Decimal d = parseDecimal(c.text, 1, 65535, Form::Digits);
    EXPECT_EQ(d.value, c.value) << c.text;
    EXPECT_EQ(d.hasDigits, c.hasDigits) << c.text;
    EXPECT_EQ(d.inRange, c.inRange) << c.text;
  }
}

}  // namespace
}  // namespace korvo::ascii
