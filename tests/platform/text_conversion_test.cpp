// The text conversion seam: charset names, reading bytes into code points,
// and writing code points into a code page with the missing ones reported.
// The same cases run on Linux (iconv) and under Wine (the Win32 calls).
#include "platform/text_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

namespace korvo::charset {
namespace {

TEST(TextConversionTest, CharsetNamesAndAliases) {
  struct Case {
    const char* name;
    unsigned codePage;  // codePageForName
    unsigned reading;   // codePageForCharset
  };
  const Case cases[] = {
      {"UTF-8", kUtf8, kUtf8},
      {"utf8", kUtf8, kUtf8},
      {" Utf-8 ", kUtf8, kUtf8},
      {"UTF-16", kUtf16Le, kUtf16Le},
      {"utf-16be", kUtf16Be, kUtf16Be},
      {"UTF-16LE", kUtf16Le, kUtf16Le},
      {"latin1", 28591, 1252},
      {"ISO-8859-1", 28591, 1252},
      {"iso_8859-1", 28591, 1252},
      {"US-ASCII", kUsAscii, 1252},
      {"ANSI_X3.4-1968", kUsAscii, 1252},
      {"ISO-8859-2", 28592, 28592},
      {"ISO8859-2", 28592, 28592},
      {"iso-8859-9", 28599, 1254},
      {"ISO-8859-13", 28603, 28603},
      {"ISO-8859-15", 28605, 28605},
      {"latin9", 28605, 28605},
      {"cp1251", 1251, 1251},
      {"Windows-1251", 1251, 1251},
      {"x-cp1250", 1250, 1250},
      {"WINDOWS-1258", 1258, 1258},
      {"windows-874", 874, 874},
      {"TIS-620", 874, 874},
      {"KOI8-R", 20866, 20866},
      {"koi8-u", 21866, 21866},
      {"CP866", 866, 866},
      {"IBM866", 866, 866},
      {"Shift_JIS", 932, 932},
      {"shift-jis", 932, 932},
      {"x-sjis", 932, 932},
      {"SJIS", 932, 932},
      {"Windows-31J", 932, 932},
      {"EUC-JP", kEucJp, kEucJp},
      {"eucJP", kEucJp, kEucJp},
      {"GBK", 936, 936},
      {"GB2312", 936, 936},
      {"gb_2312-80", 936, 936},
      {"Big5", 950, 950},
      {"EUC-KR", 949, 949},
      {"ks_c_5601-1987", 949, 949},
      {"", 0, 0},
      {"utf-9", 0, 0},
      {"klingon", 0, 0},
      {"ISO-8859-16", 0, 0},
      {"utf\xC3\xA9", 0, 0},
      {"u t f 8", kUtf8, kUtf8},
      {"utf-8utf-8utf-8utf-8utf-8utf-8utf-8utf-8utf-8utf-8utf-8", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(codePageForName(c.name), c.codePage);
    EXPECT_EQ(codePageForCharset(c.name), c.reading);
  }
}

TEST(TextConversionTest, TargetsAndSources) {
  for (unsigned cp :
       {1250u,  1251u,  1252u,  1253u,  1254u,  1255u,  1256u,  1257u,  1258u,  874u,
        932u,   936u,   949u,   950u,   866u,   20866u, 21866u, 28591u, 28592u, 28593u,
        28594u, 28595u, 28596u, 28597u, 28598u, 28599u, 28603u, 28605u, kUtf8}) {
    EXPECT_TRUE(isTargetCodePage(cp)) << cp;
    EXPECT_TRUE(isSourceCodePage(cp)) << cp;
  }
  for (unsigned cp : {0u, 437u, 1200u, 1201u, 20127u, 20932u, 28600u, 28604u, 65000u}) {
    EXPECT_FALSE(isTargetCodePage(cp)) << cp;
  }
  for (unsigned cp : {kUtf16Le, kUtf16Be, kEucJp}) EXPECT_TRUE(isSourceCodePage(cp)) << cp;
  std::u32string out;
  std::vector<Gap> gaps;
  std::string bytes;
  EXPECT_FALSE(decode(437, "abc", out));
  EXPECT_FALSE(encode(kUtf16Le, U"abc", bytes, gaps));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(bytes.empty());
}

// Bytes that are no character are dropped, and counted, the same way by
// every converter.
TEST(TextConversionTest, DecodeDropsWhatIsNoCharacter) {
  struct Case {
    const char* what;
    unsigned cp;
    std::string bytes;
    std::u32string text;
    std::size_t dropped;
  };
  const Case cases[] = {
      {"UTF-8", kUtf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"a\u00E9\u20AC\U0001F600", 0},
      {"UTF-8 BOM kept", kUtf8, "\xEF\xBB\xBFx", U"\uFEFFx", 0},
      {"UTF-8 stray continuation", kUtf8,
       "a\x80"
       "b",
       U"ab", 1},
      {"UTF-8 overlong", kUtf8,
       "\xC0\xAF"
       "b",
       U"b", 2},
      {"UTF-8 surrogate", kUtf8, "\xED\xA0\x80z", U"z", 3},
      {"UTF-8 cut at the end", kUtf8, "ok\xE2\x82", U"ok", 2},
      {"UTF-8 zero byte", kUtf8, std::string("a\0b", 3), std::u32string(U"a\0b", 3), 0},
      {"UTF-16LE pair", kUtf16Le, std::string("A\0=\xD8\x00\xDE", 6), U"A\U0001F600", 0},
      {"UTF-16BE", kUtf16Be, std::string("\0A\x04\x1F", 4), U"A\u041F", 0},
      {"UTF-16LE lone surrogate and odd byte", kUtf16Le,
       std::string("\x00\xDC"
                   "B\0x",
                   5),
       U"B", 3},
      {"windows-1252 unassigned 0x81", 1252,
       "a\x81\x80"
       "b",
       U"a\u20ACb", 1},
      {"windows-1251", 1251, "\xCF\xF0\xE8", U"\u041F\u0440\u0438", 0},
      {"KOI8-R", 20866, "\xF0\xD2", U"\u041F\u0440", 0},
      {"ISO-8859-2", 28592, "\xA3\xB3", U"\u0141\u0142", 0},
      {"Shift_JIS", 932,
       "\x93\xFA"
       "a\x96\x7B",
       U"\u65E5a\u672C", 0},
      {"Shift_JIS half-width kana", 932, "\xB6\xC5", U"\uFF76\uFF85", 0},
      {"Shift_JIS cut lead byte", 932, "a\x93", U"a", 1},
      {"EUC-JP", kEucJp, "\xC6\xFC\xCB\xDC", U"\u65E5\u672C", 0},
      {"GBK", 936, "\xD6\xD0", U"\u4E2D", 0},
      {"Big5", 950, "\xA4\xA4", U"\u4E2D", 0},
      {"EUC-KR", 949, "\xC7\xD1", U"\uD55C", 0},
      {"empty", 1251, "", U"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::u32string out = U"<";
    std::size_t dropped = 0;
    ASSERT_TRUE(decode(c.cp, c.bytes, out, &dropped));
    EXPECT_EQ(out, U"<" + c.text);
    EXPECT_EQ(dropped, c.dropped);
  }
}

// Every lead byte with every possible second byte, each pair followed by
// "!" (never part of a character): whatever a pair is, it takes nothing
// after it along, and nothing reads past the end.
TEST(TextConversionTest, EveryPairLeavesTheTextAfterIt) {
  for (unsigned cp : {932u, 936u, 949u, 950u, kEucJp}) {
    SCOPED_TRACE(cp);
    std::string bytes;
    std::size_t pairs = 0;
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
      for (int second = 0; second <= 0xFF; ++second) {
        if (second == '!') continue;
        bytes += static_cast<char>(lead);
        bytes += static_cast<char>(second);
        bytes += '!';
        ++pairs;
      }
    }
    bytes += static_cast<char>(0x81);  // a lead byte cut off by the end
    std::u32string text;
    std::size_t dropped = 0;
    ASSERT_TRUE(decode(cp, bytes, text, &dropped));
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), U'!')), pairs);
    EXPECT_LE(text.size() + dropped, bytes.size());
    EXPECT_GT(dropped, 0u);
    for (char32_t c : text) EXPECT_FALSE(c >= 0xE000 && c <= 0xF8FF) << std::hex << c;
  }
}

// Each missing character is reported with its place in the text and in
// the output; nothing stands in for it at this level.
TEST(TextConversionTest, EncodeReportsWhatTheCodePageLacks) {
  struct Case {
    const char* what;
    unsigned cp;
    std::u32string text;
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> gaps;  // index, offset
  };
  const Case cases[] = {
      {"all there", 1252, U"a\u2019\u20AC\u00E9", "a\x92\x80\xE9", {}},
      {"emoji and Cyrillic on 1252", 1252, U"a\U0001F600b\u041Fc", "abc", {{1, 1}, {3, 2}}},
      {"no best fit: L stroke on 1252", 1252, U"\u0141x", "x", {{0, 0}}},
      {"no best fit: full-width A", 1252, U"\uFF21", "", {{0, 0}}},
      {"Polish on 1250", 1250, U"\u0141\u00F3\u017A", "\xA3\xF3\x9F", {}},
      {"1251", 1251, U"\u041F\u00E9", "\xCF", {{1, 1}}},
      {"ISO-8859-5 has no euro", 28595, U"\u20AC\u0416", "\xB6", {{0, 0}}},
      {"ISO-8859-15 has it", 28605, U"\u20AC", "\xA4", {}},
      {"932", 932, U"\u65E5x\uFF76\u00E9", "\x93\xFAx\xB6", {{3, 4}}},
      {"936", 936, U"\u4E2D\u0416", "\xD6\xD0\xA7\xA8", {}},
      {"949", 949, U"\uD55C\U0001F600", "\xC7\xD1", {{1, 2}}},
      {"950", 950, U"\u4E2D", "\xA4\xA4", {}},
      {"KOI8-U", 21866, U"\u0491\u0107", "\xAD", {{1, 1}}},
      {"874", 874, U"\u0E44", "\xE4", {}},
      {"UTF-8", kUtf8, U"\u00E9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80", {}},
      {"surrogate and too large",
       kUtf8,
       std::u32string{0xD800, U'a', 0x110000},
       "a",
       {{0, 0}, {2, 1}}},
      {"surrogate on 1252", 1252, std::u32string{U'a', 0xDC00}, "a", {{1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out = "<";
    std::vector<Gap> gaps;
    ASSERT_TRUE(encode(c.cp, c.text, out, gaps));
    EXPECT_EQ(out, "<" + c.bytes);
    std::vector<std::pair<std::size_t, std::size_t>> seen;
    for (const Gap& g : gaps) seen.emplace_back(g.index, g.offset - 1);
    EXPECT_EQ(seen, c.gaps);
  }
}

// Long texts go through the converters in pieces: every missing character
// is still found, at its place, far into the text.
TEST(TextConversionTest, LongTextKeepsEveryPlace) {
  std::u32string text;
  std::string expected;
  std::vector<std::size_t> missing;
  for (int i = 0; i < 5000; ++i) {
    if (i % 777 == 5) {
      missing.push_back(text.size());
      text.push_back(U'\u0416');
    }
    text.push_back(U'\u0141');
    text.push_back(U'a' + i % 26);
    expected.push_back('\xA3');
    expected.push_back(static_cast<char>('a' + i % 26));
  }
  std::string out;
  std::vector<Gap> gaps;
  ASSERT_TRUE(encode(1250, text, out, gaps));
  EXPECT_EQ(out, expected);
  ASSERT_EQ(gaps.size(), missing.size());
  for (std::size_t k = 0; k < gaps.size(); ++k) {
    EXPECT_EQ(gaps[k].index, missing[k]);
    EXPECT_EQ(gaps[k].offset, missing[k] - k);
  }
  std::u32string back;
  ASSERT_TRUE(decode(1250, out, back));
  EXPECT_EQ(back.size(), text.size() - missing.size());
}

// KORVO_EXPECTED_CODE_PAGE is set by the runs that start this program in
// a given locale (tests/platform/CMakeLists.txt, tests/win32/CMakeLists.txt).
TEST(SystemCodePageTest, FollowsTheLocale) {
  const char* expected = std::getenv("KORVO_EXPECTED_CODE_PAGE");
  if (!expected) GTEST_SKIP() << "started without KORVO_EXPECTED_CODE_PAGE";
  // The host process sets its locale from the environment; so does this one.
  std::setlocale(LC_ALL, "");
  EXPECT_EQ(systemCodePage(), static_cast<unsigned>(std::atoi(expected)))
      << "LANG=" << (std::getenv("LANG") ? std::getenv("LANG") : "")
      << " (are the locales installed? scripts/install-deps generates them)";
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace korvo::charset
