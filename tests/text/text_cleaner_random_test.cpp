#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/text_oracle.h"
#include "text/text_cleaner.h"

namespace korvo {
namespace {

// Texts made of the pieces that matter to the two operations, so that
// tags, references, windows and break forms meet in every combination.
class PieceGenerator {
 public:
  explicit PieceGenerator(unsigned seed) : random_(seed) {}

  std::string next(std::size_t maxPieces) {
    std::string text;
    const std::size_t pieces = std::uniform_int_distribution<std::size_t>(0, maxPieces)(random_);
    for (std::size_t i = 0; i < pieces; ++i) text += piece();
    return text;
  }

 private:
  std::string piece() {
    static const char* const kPieces[] = {
        "<",    ">",     "&",    ";",    "#",    "br",    "<br>",   "<br />", "<br/>",
        "<BR>", " /",    "amp",  "lt",   "gt",   "quot",  "eacute", "rsquo",  "trade",
        "AMP",  "&amp;", "&lt;", "&#",   "8217", "08217", "38",     "039",    "65",
        "256",  "0",     "1",    "9",    " ",    "\t",    "+",      "-",      "x",
        "a",    "/",     "!--",  "\xE9", "\xFF", "\n",    "hellip", "&#38;",  "Yuml",
        "<p>",  "</p>",  "p",    "<li>", "div",   "-->",   "<!--",   "x",      "&#x",
        "\r",   "nbsp",  "alpha", "script", "<script>", "</script>", "<STYLE>", "</style>",
        "?",    "!",     "e9",   "thetasym",
    };
    constexpr std::size_t kCount = sizeof kPieces / sizeof kPieces[0];
    const std::size_t pick = std::uniform_int_distribution<std::size_t>(0, kCount + 2)(random_);
    if (pick < kCount) return kPieces[pick];
    if (pick == kCount) return std::string(1, '\0');
    // Now and then any byte at all.
    return std::string(1, static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random_)));
  }

  std::mt19937 random_;
};

std::string escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

void expectSameAsLiteral(const std::string& input) {
  std::string fast = input;
  std::string literal = input;
  replaceBr(fast);
  test::literalReplaceBr(literal);
  ASSERT_EQ(escaped(fast), escaped(literal)) << "replaceBr of \"" << escaped(input) << '"';
  filterHtml(fast, TagBreak::LineFeed);
  test::literalFilterHtml(literal, TagBreak::LineFeed);
  ASSERT_EQ(escaped(fast), escaped(literal))
      << "replaceBr, filterHtml of \"" << escaped(input) << '"';

  fast = input;
  literal = input;
  filterHtml(fast);
  test::literalFilterHtml(literal);
  ASSERT_EQ(escaped(fast), escaped(literal)) << "filterHtml of \"" << escaped(input) << '"';
}

TEST(TextCleanupRandom, ShortTextsMatchTheLiteralSteps) {
  PieceGenerator generator(0x6b6f7276u);
  for (int i = 0; i < 40000; ++i) {
    ASSERT_NO_FATAL_FAILURE(expectSameAsLiteral(generator.next(12)));
  }
}

TEST(TextCleanupRandom, LongerTextsMatchTheLiteralSteps) {
  PieceGenerator generator(0x666565u);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_NO_FATAL_FAILURE(expectSameAsLiteral(generator.next(400)));
  }
}

// Long texts where the same references come back many times, beside
// others that share their first bytes, more kinds than a text usually
// has, and references too long to be seen whole at a glance: each must
// decode as it would the first time it is met.
TEST(TextCleanupRandom, RepeatedReferencesDecodeAlike) {
  std::string manyKinds;
  for (int round = 0; round < 3; ++round)
    for (int code = 1; code < 400; code += round + 1)
      manyKinds += "x&#" + std::to_string(code) + ";&#x" + std::to_string(code) + "; ";
  std::string lookAlikes;
  for (int round = 0; round < 40; ++round)
    lookAlikes += "&amp;&amp &ampx;&am;&AMP;&#38;&#038;&#x26;&amp;lt;&lt;&lt&lt;;&l;t";
  std::string longOnes;
  for (int round = 0; round < 40; ++round)
    longOnes += "&#000000000000000065;&#0000065;&#x0000000000000041; &thetasym;&thetasymx;" +
                ("&#0000000000" + std::to_string(65 + round % 26) + ";");
  for (const std::string& text : {manyKinds, lookAlikes, longOnes, lookAlikes + "&amp;",
                                  longOnes + "&#65;", "<p>" + lookAlikes + "</p>" + manyKinds}) {
    SCOPED_TRACE(text.substr(0, 60));
    ASSERT_NO_FATAL_FAILURE(expectSameAsLiteral(text));
  }
}

}  // namespace
}  // namespace korvo
