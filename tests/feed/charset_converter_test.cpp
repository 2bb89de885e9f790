#include "feed/charset_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace korvo {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

std::string fromUtf8(std::string text) {
  CharsetConverter().fromUtf8(text);
  return text;
}

std::string fromIso88592(std::string text) {
  CharsetConverter().fromIso88592(text);
  return text;
}

TEST(CharsetConverterTest, NarrowsEachCharacterOnItsOwn) {
  const Case cases[] = {
      {"<t>caf\xC3\xA9</t>", "<t>caf\xE9</t>"},
      {"<t>\xC2\xA0\xC2\xA9\xC3\xBF</t>", "<t>\xA0\xA9\xFF</t>"},
      {"<t>It\xE2\x80\x99s</t>", "<t>It's</t>"},
      {"<t>Wait\xE2\x80\xA6</t>", "<t>Wait...</t>"},
      {"<t>Korvo\xE2\x84\xA2</t>", "<t>Korvo(TM)</t>"},
      {"<t>2\xE2\x80\x93" "3 May</t>", "<t>2-3 May</t>"},
      {"<t>\xE2\x80\x9Cq\xE2\x80\x9D</t>", "<t>''q''</t>"},
      {"<t>\xC5\x92uvre \xC5\xA1</t>", "<t>OEuvre s</t>"},
      {"<t>a\xE2\x80\x8C" "b</t>", "<t>ab</t>"},
      {"<t>smile \xF0\x9F\x98\x80!</t>", "<t>smile !</t>"},
      {"<t>\xD0\x96\xE4\xB8\xAD=</t>", "<t>=</t>"},
      // The euro sign no longer costs the document its accented letters.
      {"<t>\xE2\x82\xAC 5, caf\xC3\xA9</t><d>\xC3\xA9t\xC3\xA9</d>",
       "<t>E 5, caf\xE9</t><d>\xE9t\xE9</d>"},
      // Mark-up is narrowed too; only the removal of sequences spares it.
      {"<a t=\"caf\xC3\xA9 \xE2\x82\xAC\">x</a>", "<a t=\"caf\xE9 E\">x</a>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::string text = c.input;
    EXPECT_TRUE(CharsetConverter().fromUtf8(text));
    EXPECT_EQ(text, c.expected);
  }
}

// After the last tag nothing is removed, so what narrowing alone does is
// seen there.
TEST(CharsetConverterTest, BytesThatAreNotWellFormedStayAsTheyAre) {
  const std::string kept[] = {
      "caf\xE9",
      "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80",
      "\xF0\x8F\xBF\xBF",                    // overlong forms
      "\xED\xA0\x80", "\xED\xBF\xBF",        // surrogates
      "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF",  // beyond U+10FFFF
      "\xE2\x82", "\xE2\x82x", "\xF0\x9F\x98", "\xF0\x9F\x98 ", "\x80", "\xBF\xBF",  // cut short
  };
  for (const std::string& bytes : kept) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    EXPECT_EQ(fromUtf8("<r/>" + bytes), "<r/>" + bytes);
  }
  const Case mixed[] = {
      {"\xE9\xC3\xA9", "\xE9\xE9"},
      {"\xE2\x82\xE2\x82\xAC", "\xE2\x82" "E"},
      {"\xC2\x80\xDF\xBF", "\x80"},
      {"\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80", ""},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF.", "."},
  };
  for (const Case& c : mixed) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    EXPECT_EQ(fromUtf8("<r/>" + c.input), "<r/>" + c.expected);
  }
}

TEST(CharsetConverterTest, MislabelledLatin1KeepsItsLetters) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><t>Caf\xE9 cr\xE8me br\xFBl\xE9" "e</t></rss>";
  const std::string before = text;
  EXPECT_FALSE(CharsetConverter().fromUtf8(text));
  EXPECT_EQ(text, before);
}

TEST(CharsetConverterTest, ZeroCharacterEndsTheText) {
  EXPECT_EQ(fromUtf8(std::string("<r>a</r>\0<b>", 12)), "<r>a</r>");
  EXPECT_EQ(fromUtf8(std::string("<r>\xC3\xA9</r>\0\xE2\x82\xAC", 14)), "<r>\xE9</r>");
  // A text whose narrowing yields no byte at all is not narrowed; the
  // removal of sequences from its text runs still happens.
  EXPECT_EQ(fromUtf8(std::string("\0<r>\xC3\xA9</r>", 10)), std::string("\0<r></r>", 8));
  EXPECT_EQ(fromUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(fromUtf8(""), "");
}

TEST(CharsetConverterTest, AsciiIsLeftAlone) {
  std::string text = "<?xml version=\"1.0\"?><rss><t>plain &amp; simple</t></rss>";
  EXPECT_FALSE(CharsetConverter().fromUtf8(text));
  EXPECT_EQ(text, "<?xml version=\"1.0\"?><rss><t>plain &amp; simple</t></rss>");
}

// Texts that narrowing leaves alone show the removal of sequences alone.
TEST(CharsetConverterTest, RemovesSequencesFromTextRunsOnly) {
  const Case cases[] = {
      {"<a>x\xC0\x80y</a>", "<a>xy</a>"},
      {"<a>x\xED\xA0\x80y</a>", "<a>xy</a>"},
      {"<a>\xF5\x80\x80\x80</a>", "<a></a>"},
      {"<a>\xC0\x80\xC0\x80z</a>", "<a>z</a>"},
      {"<a>\xC0\xC0\x80</a>", "<a>\xC0</a>"},
      {"<a>\xC0y\x80</a>", "<a>\xC0y\x80</a>"},        // lone lead and continuation bytes
      {"<a>\xE0\x80</a>", "<a>\xE0\x80</a>"},          // cut short by the run's end
      {"<a>\xC0<b>\x80</b></a>", "<a>\xC0<b>\x80</b></a>"},
      {"<a t='\xC0\x80'>\xC0\x80</a>", "<a t='\xC0\x80'></a>"},  // mark-up keeps its bytes
      {"<a/>\xC0\x80", "<a/>\xC0\x80"},                // after the last tag: not examined
      {"\xC0\x80", "\xC0\x80"},
      {"<a>\xC0\x80<b \xC0\x80", "<a><b \xC0\x80"},    // an unclosed tag ends the scan
      // A CDATA section counts as mark-up up to its first ">".
      {"<d><![CDATA[x \xC0\x80 y]]></d>", "<d><![CDATA[x \xC0\x80 y]]></d>"},
      {"<d><![CDATA[a > \xC0\x80 ]]></d>", "<d><![CDATA[a >  ]]></d>"},
      // Narrowed Latin-1 that looks like UTF-8 goes too, as the removal says.
      {"<a>\xC3\x83\xC2\xA9!</a>", "<a>!</a>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    EXPECT_EQ(fromUtf8(c.input), c.expected);
  }
}

// The narrowing of the whole document as a platform decoder does it: all
// or nothing, a zero unit ending it, an ill-formed byte failing it.
std::string narrowAllOrNothing(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    std::uint32_t code = b;
    std::size_t length = 1;
    if (b >= 0x80) {
      if (b < 0xC2 || b > 0xDF || i + 1 >= text.size()) return text;
      const unsigned char c = static_cast<unsigned char>(text[i + 1]);
      if ((c & 0xC0) != 0x80) return text;
      code = ((b & 0x1Fu) << 6) | (c & 0x3Fu);
      length = 2;
    }
    if (code == 0) break;
    out.push_back(static_cast<char>(code));
    i += length;
  }
  return out.empty() ? text : out;
}

// Removal of sequences as described, one erase at a time.
std::string removeSequencesByErasing(std::string text) {
  auto isCont = [&](std::size_t i) {
    return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
  };
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '<') {
      const std::size_t gt = text.find('>', pos + 1);
      if (gt == std::string::npos) break;
      pos = gt + 1;
      continue;
    }
    std::size_t end = text.find('<', pos);
    if (end == std::string::npos) break;
    for (std::size_t i = pos; i < end;) {
      const unsigned char b = static_cast<unsigned char>(text[i]);
      const std::size_t length = b >= 0xC0 && b <= 0xDF   ? 2
                                 : b >= 0xE0 && b <= 0xEF ? 3
                                 : b >= 0xF0 && b <= 0xF7 ? 4
                                                          : 0;
      bool whole = length != 0 && i + length - 1 < end;
      for (std::size_t k = 1; whole && k < length; ++k) whole = isCont(i + k);
      if (whole) {
        text.erase(i, length);
        end -= length;
      } else {
        ++i;
      }
    }
    pos = end;
  }
  return text;
}

std::string randomText(std::mt19937& random, const std::vector<std::string>& alphabet) {
  std::string text;
  for (unsigned n = random() % 60; n > 0; --n) text += alphabet[random() % alphabet.size()];
  return text;
}

// A document whose characters all lie in U+0001..U+00FF comes out exactly
// as the all-or-nothing narrowing and the erasing removal make it.
TEST(CharsetConverterTest, Latin1RangeDocumentsComeOutAsBefore) {
  const std::vector<std::string> alphabet = {
      "<", ">", "a", " ", "<t>", "</t>", "\xC3\xA9", "\xC3\x83", "\xC2\xA9", "\xC2\x80",
      "\xC3\xBF", "\xC2\xA0", "\xC2\xAE", std::string(1, '\0')};
  std::mt19937 random(7);
  for (int round = 0; round < 5000; ++round) {
    const std::string text = randomText(random, alphabet);
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(fromUtf8(text), removeSequencesByErasing(narrowAllOrNothing(text)));
    if (HasFailure()) return;
  }
}

TEST(CharsetConverterTest, RemovalMatchesErasingOneAtATime) {
  // Bytes that never form well-formed UTF-8, so narrowing keeps them all.
  const std::vector<std::string> alphabet = {"<",    ">",    "a",    " ",    "\x80", "\x8F",
                                             "\xC0", "\xC1", "\xE0", "\xF0", "\xF5", "\xF7"};
  std::mt19937 random(11);
  for (int round = 0; round < 20000; ++round) {
    const std::string text = randomText(random, alphabet);
    SCOPED_TRACE(testing::PrintToString(text));
    std::string converted = text;
    const bool changed = CharsetConverter().fromUtf8(converted);
    const std::string expected = removeSequencesByErasing(text);
    EXPECT_EQ(converted, expected);
    EXPECT_EQ(changed, expected != text);
    if (HasFailure()) return;
  }
}

// The text is narrowed into a buffer with room for an eighth more than the
// text: a character that shrinks leaves room that a longer stand-in later
// takes up, and stand-ins that need more than that make the buffer grow.
TEST(CharsetConverterTest, StandInsLongerThanTheirCharacter) {
  std::string manyMarks = "<t>", manyMarksNarrowed = "<t>";
  for (int k = 0; k < 300; ++k) {
    manyMarks += "\xE2\x84\xA2 ";
    manyMarksNarrowed += "(TM) ";
  }
  manyMarks += "\xC3\xA9</t>";
  manyMarksNarrowed += "\xE9</t>";
  const Case cases[] = {
      {manyMarks, manyMarksNarrowed},
      {"<t>\xE2\x84\xA2</t>", "<t>(TM)</t>"},
      // The room left by e with acute is exactly the byte (TM) needs.
      {"<t>\xC3\xA9\xE2\x84\xA2</t>", "<t>\xE9(TM)</t>"},
      {"<t>\xC3\xA9\xE2\x84\xA2\xE2\x84\xA2 after the copy \xC3\xA9\xE2\x80\xA6</t>",
       "<t>\xE9(TM)(TM) after the copy \xE9...</t>"},
      {"\xE2\x84\xA2\xE2\x84\xA2\xE2\x84\xA2", "(TM)(TM)(TM)"},
      // After the copy: a zero character still ends the text, and narrowed
      // Latin-1 that looks like UTF-8 is still removed from text runs.
      {std::string("<t>\xE2\x84\xA2 a\0<b>", 12), "<t>(TM) a"},
      {"<t>\xE2\x84\xA2\xC3\x83\xC2\xA9!</t>", "<t>(TM)!</t>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    EXPECT_EQ(fromUtf8(c.input), c.expected);
  }
}

// Random texts of pieces whose narrowing is known, with runs of ASCII long
// and short, so the output falls behind the input by every distance.
TEST(CharsetConverterTest, NarrowingOverItselfMatchesPieceByPiece) {
  const struct {
    std::string bytes;
    std::string narrowed;
  } pieces[] = {
      {"a", "a"},
      {"plain text of twenty", "plain text of twenty"},
      {"<t>", "<t>"},
      {"</t>", "</t>"},
      {">", ">"},
      {"\xC3\xA9", "\xE9"},
      {"\xC3\x83", "\xC3"},
      {"\xC2\xA9", "\xA9"},
      {"\xE2\x80\x99", "'"},
      {"\xE2\x80\xA6", "..."},
      {"\xE2\x84\xA2", "(TM)"},
      {"\xE2\x80\x8C", ""},
      {"\xF0\x9F\x98\x80", ""},
      {"\xFF", "\xFF"},
      {"\x80", "\x80"},
      {"&", "&"},
      {"a&#8217;", "a&#8217;"},
      {"\xE1\x80\x80", ""},
      {"\xE4\xB8\xAD", ""},
      // Not well-formed: a surrogate, an overlong form, a lead without its
      // continuation.
      {"\xED\xA0\x80", "\xED\xA0\x80"},
      {"\xE0\x80\x80", "\xE0\x80\x80"},
      {"\xC3(", "\xC3("},
  };
  // Where the "&"s of a text are.
  const auto ampersands = [](const std::string& text) {
    std::vector<std::size_t> at;
    for (std::size_t i = text.find('&'); i != std::string::npos; i = text.find('&', i + 1))
      at.push_back(i);
    return at;
  };
  std::mt19937 random(5);
  for (int round = 0; round < 20000; ++round) {
    std::string text, narrowed;
    bool multiByte = false;
    for (unsigned count = random() % 40; count > 0; --count) {
      const auto& piece = pieces[random() % std::size(pieces)];
      text += piece.bytes;
      narrowed += piece.narrowed;
      multiByte = multiByte || piece.bytes != piece.narrowed;
    }
    // A narrowing that yields nothing leaves the text as it was.
    const std::string expected =
        removeSequencesByErasing(multiByte && !narrowed.empty() ? narrowed : text);
    SCOPED_TRACE(testing::PrintToString(text));
    std::string converted = text;
    const bool changed = CharsetConverter().fromUtf8(converted);
    EXPECT_EQ(converted, expected);
    EXPECT_EQ(changed, expected != text);
    // The "&"s carried along, split between two lists, land on the "&"s
    // of the result.
    std::vector<std::size_t> odd, even;
    for (const std::size_t at : ampersands(text))
      (odd.size() == even.size() ? even : odd).push_back(at);
    const FollowedPositions follow{{&even, &odd}};
    std::string followed = text;
    CharsetConverter().fromUtf8(followed, &follow);
    EXPECT_EQ(followed, expected);
    std::vector<std::size_t> landed = even;
    landed.insert(landed.end(), odd.begin(), odd.end());
    std::sort(landed.begin(), landed.end());
    EXPECT_EQ(landed, ampersands(expected));
    if (HasFailure()) return;
  }
}

// The ISO-8859-2 table typed in again, row by row (0xA0 stays, and so does
// 0xDF: sharp s is the same byte in Latin-1).
// clang-format off
const unsigned char kIso88592[6][16] = {
    {0xA0, 0x41, 0x09, 0x4C, 0x2A, 0x4C, 0x53, 0xA7, 0xB4, 0x53, 0x53, 0x54, 0x5A, 0x2D, 0x5A, 0x5A},
    {0xA7, 0x61, 0x2C, 0x6C, 0xB4, 0x6C, 0x73, 0xB4, 0x2C, 0x73, 0x73, 0x74, 0x7A, 0xB4, 0x7A, 0x7A},
    {0x52, 0x41, 0x41, 0x41, 0x41, 0x4C, 0x43, 0x43, 0x43, 0x45, 0x45, 0x45, 0x45, 0x49, 0x49, 0x44},
    {0x44, 0x4E, 0x4E, 0x4F, 0x4F, 0x4F, 0x4F, 0x2A, 0x52, 0x55, 0x55, 0x55, 0x55, 0x59, 0x54, 0xDF},
    {0x72, 0x61, 0x61, 0x61, 0x61, 0x6C, 0x63, 0x63, 0x63, 0x65, 0x65, 0x65, 0x65, 0x69, 0x69, 0x64},
    {0x64, 0x6E, 0x6E, 0x6F, 0x6F, 0x6F, 0x6F, 0x2F, 0x72, 0x75, 0x75, 0x75, 0x75, 0x79, 0x74, 0x60},
};
// clang-format on

TEST(CharsetConverterTest, Iso88592TableIsTheFixedOne) {
  for (int b = 0; b < 256; ++b) {
    if (b == '<') continue;
    const unsigned char expected = b < 0xA0 ? b : kIso88592[(b >> 4) - 0xA][b & 0xF];
    std::string text(1, static_cast<char>(b));
    EXPECT_EQ(CharsetConverter().fromIso88592(text), expected != b) << b;
    EXPECT_EQ(static_cast<unsigned char>(text[0]), expected) << b;
  }
}

TEST(CharsetConverterTest, Iso88592ConvertsTextOutsideTags) {
  const Case cases[] = {
      {"<t>\xA3\xF3" "d\xBC</t>", "<t>Lodz</t>"},
      {"<t>a\xA2" "b\xA0" "c</t>", "<t>a\tb\xA0" "c</t>"},
      {"<a t=\"\xB1\xE8\">\xB1\xE8</a>", "<a t=\"\xB1\xE8\">ac</a>"},
      {"<a/>\xB1", "<a/>a"},
      {"\xB1<a>", "a<a>"},
      {"<a>\xB1<b t='\xB1'", "<a>a<b t='\xB1'"},
      {"<d><![CDATA[\xB1]]>\xB1</d>", "<d><![CDATA[\xB1]]>a</d>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    EXPECT_EQ(fromIso88592(c.input), c.expected);
  }
  std::string same = "<t>\xA7 plain</t>";
  EXPECT_FALSE(CharsetConverter().fromIso88592(same));
}

}  // namespace
}  // namespace korvo
