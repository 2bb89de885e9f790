#include "feed/document_charset.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

namespace korvo {
namespace {

std::string utf8Body(std::string body) {
  convertToUtf8(body, byteOrderMark(body).codePage != 0 ? byteOrderMark(body)
                                                        : DocumentCharset{65001, 0, {}, {}});
  return body;
}

// UTF-8 is rewritten over itself while it only loses bytes; a byte read as
// a windows-1252 character takes more room than it had, and from the first
// one that finds too little the rest is written elsewhere.
TEST(ConvertToUtf8, Utf8DocumentsLoseAndGainBytesInPlace) {
  const struct {
    std::string body;
    std::string expected;
  } cases[] = {
      {"<a>caf\xC3\xA9</a>", "<a>caf\xC3\xA9</a>"},
      {"\xEF\xBB\xBF<a>x</a>", "<a>x</a>"},
      {"<a>x\xEF\xBB\xBFy\xEF\xBF\xBEz\xEF\xBF\xBF</a>", "<a>xyz</a>"},
      {std::string("<a>x</a>\0<b>", 12), "<a>x</a>"},
      {std::string("\0<a/>", 5), ""},
      {"caf\xE9", "caf\xC3\xA9"},
      {"a\x81" "b\x8D" "c", "abc"},
      // The mark leaves room for exactly one euro sign; the second one
      // goes on elsewhere, and the rest is read as before.
      {"\xEF\xBB\xBF\x80", "\xE2\x82\xAC"},
      {"\xEF\xBB\xBF\x80\x80 \xEF\xBB\xBF\xC3\xA9\x81\x9F",
       "\xE2\x82\xAC\xE2\x82\xAC \xC3\xA9\xC5\xB8"},
      {std::string("\x80\x80\0\x80", 4), "\xE2\x82\xAC\xE2\x82\xAC"},
      {"", ""},
      {"\xEF\xBB\xBF", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.body));
    EXPECT_EQ(utf8Body(c.body), c.expected);
  }
}

// Random documents of pieces whose reading is known, with ASCII runs long
// and short between them, so that the output falls behind the input by
// every distance and gets ahead of it at any point.
TEST(ConvertToUtf8, Utf8OverItselfMatchesPieceByPiece) {
  const struct {
    std::string bytes;
    std::string read;
  } pieces[] = {
      {"a", "a"},
      {"a longer run of ASCII text", "a longer run of ASCII text"},
      {"<t>", "<t>"},
      {"\xC3\xA9", "\xC3\xA9"},
      {"\xE2\x84\xA2", "\xE2\x84\xA2"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"\xEF\xBB\xBF", ""},
      {"\xEF\xBF\xBE", ""},
      {"\xFF", "\xC3\xBF"},
      {"\x80", "\xE2\x82\xAC"},
      {"\x9F", "\xC5\xB8"},
      {"\x81", ""},
  };
  std::mt19937 random(3);
  for (int round = 0; round < 20000; ++round) {
    const bool mark = random() % 4 == 0;
    std::string body = mark ? "\xEF\xBB\xBF" : "";
    std::string expected;
    for (unsigned count = random() % 40; count > 0; --count) {
      if (random() % 50 == 0) {
        body += '\0';
        break;
      }
      const auto& piece = pieces[random() % std::size(pieces)];
      body += piece.bytes;
      expected += piece.read;
    }
    if (!body.empty() && body.back() == '\0') body += "\x80 after the end";
    SCOPED_TRACE(testing::PrintToString(body));
    EXPECT_EQ(utf8Body(body), expected);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace korvo
