// Text in the host's code page: (declared charset, document bytes, target)
// to the bytes the host gets, stand-ins included; and cuts that never split
// a character. The same tables run on Linux and under Wine.
#include "text/target_code_page.h"

#include <gtest/gtest.h>

#include <string>

#include "feed/charset_converter.h"
#include "platform/text_conversion.h"
#include "text/entity_tables.h"
#include "text/stand_ins.h"

namespace korvo {
namespace {

std::string hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    }
  }
  return out;
}

std::string convert(const char* charsetName, const std::string& bytes, const char* setting) {
  const unsigned source = charset::codePageForCharset(charsetName);
  std::u32string text;
  if (!charset::decode(source, bytes, text)) return "(charset not known)";
  const std::optional<TargetCodePage> target = parseCodePageSetting(setting, 0);
  if (!target) return "(setting not known)";
  return encodeForTarget(text, *target);
}

TEST(TargetCodePageTest, DocumentsInEveryScript) {
  struct Case {
    const char* charsetName;
    std::string bytes;
    const char* target;  // the CodePage setting
    std::string expected;
  };
  // Written from the code pages' own tables; the documents are Polish,
  // Czech, Russian, Ukrainian, Greek, Turkish, Hebrew, Arabic, Baltic,
  // Esperanto, Vietnamese, Thai, Japanese, Chinese and Korean texts.
  // clang-format off
  const Case cases[] = {
    {"ISO-8859-2", "\xa3\xf3" "d\xbc, \xb3\xb1ka \xbf\xf3\xb3\xe6", "1250", "\xa3\xf3" "d\x9f, \xb3\xb9ka \xbf\xf3\xb3\xe6"},
    {"ISO-8859-2", "\xa3\xf3" "d\xbc, \xb3\xb1ka \xbf\xf3\xb3\xe6", "1252", "L\xf3" "dz, laka z\xf3lc"},
    {"ISO-8859-2", "\xa3\xf3" "d\xbc, \xb3\xb1ka \xbf\xf3\xb3\xe6", "utf-8", "\xc5\x81\xc3\xb3" "d\xc5\xba, \xc5\x82\xc4\x85ka \xc5\xbc\xc3\xb3\xc5\x82\xc4\x87"},
    {"ISO-8859-2", "\xa3\xf3" "d\xbc, \xb3\xb1ka \xbf\xf3\xb3\xe6", "latin1", "L\xf3" "dz, laka z\xf3lc"},
    {"iso8859-2", "\xa3\xf3" "d\xbc", "28592", "\xa3\xf3" "d\xbc"},
    {"utf8", "Wiadomo\xc5\x9b" "ci z \xc5\x81odzi", "latin1", "Wiadomosci z Lodzi"},
    {"UTF-8", "Wiadomo\xc5\x9b" "ci z \xc5\x81odzi", "1250", "Wiadomo\x9c" "ci z \xa3odzi"},
    {"windows-1250", "P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2", "28592", "P\xf8\xedli\xb9 \xbelu\xbbou\xe8k\xfd k\xf9\xf2"},
    {"windows-1250", "P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2", "1252", "Pr\xedli\x9a \x9elutouck\xfd kun"},
    {"windows-1251", "\xd1\xfa\xe5\xf8\xfc \xe6\xe5 \xe5\xf9\xb8 \xfd\xf2\xe8\xf5 \xec\xff\xe3\xea\xe8\xf5 \xf4\xf0\xe0\xed\xf6\xf3\xe7\xf1\xea\xe8\xf5 \xe1\xf3\xeb\xee\xea, \xa8\xc6", "1251", "\xd1\xfa\xe5\xf8\xfc \xe6\xe5 \xe5\xf9\xb8 \xfd\xf2\xe8\xf5 \xec\xff\xe3\xea\xe8\xf5 \xf4\xf0\xe0\xed\xf6\xf3\xe7\xf1\xea\xe8\xf5 \xe1\xf3\xeb\xee\xea, \xa8\xc6"},
    {"windows-1251", "\xd1\xfa\xe5\xf8\xfc \xe6\xe5 \xe5\xf9\xb8 \xfd\xf2\xe8\xf5 \xec\xff\xe3\xea\xe8\xf5 \xf4\xf0\xe0\xed\xf6\xf3\xe7\xf1\xea\xe8\xf5 \xe1\xf3\xeb\xee\xea, \xa8\xc6", "utf-8", "\xd0\xa1\xd1\x8a\xd0\xb5\xd1\x88\xd1\x8c \xd0\xb6\xd0\xb5 \xd0\xb5\xd1\x89\xd1\x91 \xd1\x8d\xd1\x82\xd0\xb8\xd1\x85 \xd0\xbc\xd1\x8f\xd0\xb3\xd0\xba\xd0\xb8\xd1\x85 \xd1\x84\xd1\x80\xd0\xb0\xd0\xbd\xd1\x86\xd1\x83\xd0\xb7\xd1\x81\xd0\xba\xd0\xb8\xd1\x85 \xd0\xb1\xd1\x83\xd0\xbb\xd0\xbe\xd0\xba, \xd0\x81\xd0\x96"},
    {"cp1251", "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0", "20866", "\xf0\xd2\xc9\xd7\xc5\xd4, \xcd\xc9\xd2"},
    {"cp1251", "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0", "866", "\x8f\xe0\xa8\xa2\xa5\xe2, \xac\xa8\xe0"},
    {"cp1251", "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0", "28595", "\xbf\xe0\xd8\xd2\xd5\xe2, \xdc\xd8\xe0"},
    {"cp1251", "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0", "1252", ", "},
    {"KOI8-R", "\xf0\xd2\xc9\xd7\xc5\xd4, \xcd\xc9\xd2 \xbf \xa3\xb3", "1251", "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0 \xa9 \xb8\xa8"},
    {"koi8-u", "\xf5\xcb\xd2\xc1\xa7\xce\xc1 \xad \xa4 \xa7", "1251", "\xd3\xea\xf0\xe0\xbf\xed\xe0 \xb4 \xba \xbf"},
    {"koi8-u", "\xf5\xcb\xd2\xc1\xa7\xce\xc1 \xad \xa4 \xa7", "21866", "\xf5\xcb\xd2\xc1\xa7\xce\xc1 \xad \xa4 \xa7"},
    {"IBM866", "\x8f\xe0\xa8\xa2\xa5\xe2", "utf-8", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"},
    {"ISO-8859-5", "\xbf\xe0\xd8\xd2\xd5\xe2", "1251", "\xcf\xf0\xe8\xe2\xe5\xf2"},
    {"UTF-8", "Hi \xf0\x9f\x98\x80 \xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6", "1252", "Hi  \x93quoted\x94 \x96 \x80 \x92 \x85"},
    {"UTF-8", "Hi \xf0\x9f\x98\x80 \xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6", "utf-8", "Hi \xf0\x9f\x98\x80 \xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6"},
    {"UTF-8", "Hi \xf0\x9f\x98\x80 \xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6", "latin1", "Hi  ''quoted'' - E ' ..."},
    {"UTF-8", "Hi \xf0\x9f\x98\x80 \xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6", "28591", "Hi  \x22quoted\x22 - EUR ' ..."},
    {"UTF-8", "\xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6", "28595", "\x22quoted\x22 - EUR ' ..."},
    {"UTF-8", "\xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6", "866", "\x22quoted\x22 - EUR ' ..."},
    {"UTF-8", "\xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x80\x93 \xe2\x82\xac \xe2\x80\x99 \xe2\x80\xa6", "1251", "\x93quoted\x94 \x96 \x88 \x92 \x85"},
    {"UTF-8", "\xe2\x82\xac 5", "28605", "\xa4 5"},
    {"ISO-8859-15", "\xa4 \xbcuvre", "1252", "\x80 \x8cuvre"},
    {"UTF-8", "\xe2\x80\x99", "1252", "\x92"},
    {"UTF-8", "Stra\xc3\x9f" "e \xc5\xbf \xc4\xb3 \xc4\xa6 \xc5\xa6 \xc5\x89", "1252", "Stra\xdf" "e s ij H T 'n"},
    {"UTF-8", "Stra\xc3\x9f" "e", "1251", "Strasse"},
    {"UTF-8", "\xc5\x92 \xc5\x93 \xc5\xa0 \xc5\xa1 \xc5\xb8 \xc6\x92 \xe2\x84\xa2", "28591", "OE oe S s Y f (TM)"},
    {"UTF-8", "\xc5\x92 \xc5\x93 \xc5\xa0 \xc5\xa1 \xc5\xb8 \xc6\x92 \xe2\x84\xa2", "1252", "\x8c \x9c \x8a \x9a \x9f \x83 \x99"},
    {"windows-1253", "\xc5\xeb\xeb\xdc\xe4\xe1 \xa2", "28597", "\xc5\xeb\xeb\xdc\xe4\xe1 \xb6"},
    {"ISO-8859-7", "\xc5\xeb\xeb\xdc\xe4\xe1", "1253", "\xc5\xeb\xeb\xdc\xe4\xe1"},
    {"windows-1254", "\xddstanbul \xf0\xfc\xfe\xf6\xe7", "1254", "\xddstanbul \xf0\xfc\xfe\xf6\xe7"},
    {"windows-1254", "\xddstanbul \xf0\xfc\xfe\xf6\xe7", "1252", "Istanbul g\xfcs\xf6\xe7"},
    {"ISO-8859-9", "\xd0\xde\xdd", "28599", "\xd0\xde\xdd"},
    {"windows-1255", "\xf9\xec\xe5\xed", "28598", "\xf9\xec\xe5\xed"},
    {"ISO-8859-8", "\xf9\xec\xe5\xed", "1255", "\xf9\xec\xe5\xed"},
    {"windows-1256", "\xe3\xd1\xcd\xc8\xc7", "1256", "\xe3\xd1\xcd\xc8\xc7"},
    {"ISO-8859-6", "\xe5\xd1\xcd\xc8\xc7", "1256", "\xe3\xd1\xcd\xc8\xc7"},
    {"windows-1257", "\xc0\xfeuolas \xcb\xd0\xdb", "28603", "\xc0\xfeuolas \xcb\xd0\xdb"},
    {"ISO-8859-4", "\xd3\xefla", "1257", "\xcd\xeela"},
    {"ISO-8859-3", "\xc6u \xf8i", "utf-8", "\xc4\x88u \xc4\x9di"},
    {"UTF-8", "Ti\xe1\xba\xbfng Vi\xe1\xbb\x87t", "1252", "Tieng Viet"},
    {"windows-874", "\xc0\xd2\xc9\xd2\xe4\xb7\xc2", "874", "\xc0\xd2\xc9\xd2\xe4\xb7\xc2"},
    {"TIS-620", "\xc0\xd2\xc9\xd2\xe4\xb7\xc2", "utf-8", "\xe0\xb8\xa0\xe0\xb8\xb2\xe0\xb8\xa9\xe0\xb8\xb2\xe0\xb9\x84\xe0\xb8\x97\xe0\xb8\xa2"},
    {"Shift_JIS", "\x93\xfa\x96{\x8c\xea\x82\xcc\x83" "e\x83L\x83X\x83g \xb6\xc5", "932", "\x93\xfa\x96{\x8c\xea\x82\xcc\x83" "e\x83L\x83X\x83g \xb6\xc5"},
    {"x-sjis", "\x93\xfa\x96{\x8c\xea\x82\xcc\x83" "e\x83L\x83X\x83g", "utf-8", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x86\xe3\x82\xad\xe3\x82\xb9\xe3\x83\x88"},
    {"EUC-JP", "\xc6\xfc\xcb\xdc\xb8\xec\xa4\xce\xa5\xc6\xa5\xad\xa5\xb9\xa5\xc8", "932", "\x93\xfa\x96{\x8c\xea\x82\xcc\x83" "e\x83L\x83X\x83g"},
    {"UTF-8", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xe2\x80\x9cStra\xc3\x9f" "e\xe2\x80\x9d \xe2\x82\xac", "932", "\x93\xfa\x96{\x8c\xea \x81gStrasse\x81h EUR"},
    {"UTF-8", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", "1252", ""},
    {"GB2312", "\xd6\xd0\xce\xc4\xd0\xc2\xce\xc5", "936", "\xd6\xd0\xce\xc4\xd0\xc2\xce\xc5"},
    {"GBK", "\xd6\xd0\xce\xc4\xd0\xc2\xce\xc5", "utf-8", "\xe4\xb8\xad\xe6\x96\x87\xe6\x96\xb0\xe9\x97\xbb"},
    {"Big5", "\xa4\xa4\xa4\xe5\xb7s\xbb" "D", "950", "\xa4\xa4\xa4\xe5\xb7s\xbb" "D"},
    {"big5", "\xa4\xa4\xa4\xe5\xb7s\xbb" "D", "utf-8", "\xe4\xb8\xad\xe6\x96\x87\xe6\x96\xb0\xe8\x81\x9e"},
    {"EUC-KR", "\xc7\xd1\xb1\xb9\xbe\xee \xb4\xba\xbd\xba", "949", "\xc7\xd1\xb1\xb9\xbe\xee \xb4\xba\xbd\xba"},
    {"euc-kr", "\xc7\xd1\xb1\xb9\xbe\xee \xb4\xba\xbd\xba", "utf-8", "\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4 \xeb\x89\xb4\xec\x8a\xa4"},
    {"UTF-16LE", std::string("Z\x00o\x00\xeb\x00 \x00=\xd8\x00\xde", 12), "utf-8", "Zo\xc3\xab \xf0\x9f\x98\x80"},
    {"UTF-16BE", std::string("\x00Z\x00o\x00\xeb\x00 \xd8=\xde\x00", 12), "1252", "Zo\xeb "},
    {"us-ascii", "plain \x92", "1252", "plain \x92"},
    {"ISO-8859-1", "it\x92s", "1252", "it\x92s"},
    {"latin1", "caf\xe9", "1250", "caf\xe9"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.charsetName) + " to " + c.target + ": " + hex(c.bytes));
    EXPECT_EQ(hex(convert(c.charsetName, c.bytes, c.target)), hex(c.expected));
  }
}

TEST(TargetCodePageTest, ParseSetting) {
  struct Case {
    const char* value;
    unsigned system;
    bool known;
    unsigned number;
    bool latin1;
  };
  const Case cases[] = {
      {"latin1", 1251, true, charset::kLatin1, true},
      {"LATIN1", 0, true, charset::kLatin1, true},
      {" latin1 ", 0, true, charset::kLatin1, true},
      {"utf-8", 0, true, charset::kUtf8, false},
      {"UTF8", 0, true, charset::kUtf8, false},
      {"65001", 0, true, charset::kUtf8, false},
      {"auto", 1250, true, 1250, false},
      {"Auto", 932, true, 932, false},
      {"auto", 65001, true, charset::kUtf8, false},
      {"auto", charset::kUsAscii, true, charset::kLatin1, true},  // the C locale
      {"auto", 0, false, 0, false},  // a system code page Korvo cannot write
      {"auto", 437, false, 0, false},
      {"1251", 0, true, 1251, false},
      {"28591", 0, true, 28591, false},  // Latin-1 with today's stand-ins
      {"28605", 0, true, 28605, false},
      {"20866", 0, true, 20866, false},
      {"874", 0, true, 874, false},
      {"437", 0, false, 0, false},
      {"1200", 0, false, 0, false},
      {"01251", 0, true, 1251, false},
      {"001251", 0, false, 0, false},
      {"-1251", 0, false, 0, false},
      {"1251x", 0, false, 0, false},
      {"windows-1251", 0, false, 0, false},
      {"", 0, false, 0, false},
      {"4294968547", 0, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const std::optional<TargetCodePage> target = parseCodePageSetting(c.value, c.system);
    ASSERT_EQ(target.has_value(), c.known);
    if (!target) continue;
    EXPECT_EQ(target->number, c.number);
    EXPECT_EQ(target->latin1, c.latin1);
  }
}

// Every cut length in a text of one- to four-byte characters (UTF-8) or
// one- and two-byte ones (932, 936, 949, 950): the cut is as long as it
// can be and the bytes before it read back whole.
TEST(TargetCodePageTest, CutsEndOnACharacterBoundary) {
  struct Case {
    unsigned cp;
    std::u32string text;
    std::size_t widest;  // bytes of the longest character
  };
  const Case cases[] = {
      {charset::kUtf8, U"a\u00E9\u20AC\U0001F600 z\u041F\u65E5\U0001F44D\u00FF.", 4},
      {932, U"a\u65E5\u672C\uFF76x\u8A9E\u30C6 @\u30AD\u30B9\u30C8", 2},
      {936, U"\u4E2D\u6587a\u65B0\u95FB ", 2},
      {949, U"\uD55C\uAD6D\uC5B4 \uB274\uC2A4z", 2},
      {950, U"\u4E2D\u6587\u65B0\u805E!", 2},
      {1251, U"\u041F\u0440\u0438", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cp);
    std::u32string text;
    for (int i = 0; i < 20; ++i) text += c.text;
    const std::string bytes = encodeForTarget(text, TargetCodePage{c.cp, false});
    if (c.widest > 1) {
      ASSERT_GT(bytes.size(), text.size());
    }
    std::u32string whole;
    ASSERT_TRUE(charset::decode(c.cp, bytes, whole));
    ASSERT_EQ(whole, text);
    for (std::size_t max = 0; max <= bytes.size() + 1; ++max) {
      const std::size_t cut = characterBoundary(bytes, max, c.cp);
      ASSERT_LE(cut, max);
      ASSERT_GT(cut + c.widest, std::min(max, bytes.size()));
      std::u32string part;
      std::size_t dropped = 0;
      ASSERT_TRUE(charset::decode(c.cp, bytes.substr(0, cut), part, &dropped));
      ASSERT_EQ(dropped, 0u) << "cut at " << cut << " of " << max;
      ASSERT_EQ(part, text.substr(0, part.size()));
    }
  }
}

// The result buffer's size: a long Japanese title cut for the host.
TEST(TargetCodePageTest, ResultSizedCutsKeepWholeCharacters) {
  constexpr std::size_t kMax = 32767;
  std::u32string text = U"x";
  while (text.size() < 40000) text += U"\u65E5\u672C\u8A9E\uFF76 ";
  for (unsigned cp : {charset::kUtf8, 932u}) {
    SCOPED_TRACE(cp);
    const std::string bytes = encodeForTarget(text, TargetCodePage{cp, false});
    const std::size_t cut = characterBoundary(bytes, kMax, cp);
    EXPECT_LE(cut, kMax);
    EXPECT_GE(cut, kMax - 3);
    std::u32string part;
    std::size_t dropped = 0;
    ASSERT_TRUE(charset::decode(cp, bytes.substr(0, cut), part, &dropped));
    EXPECT_EQ(dropped, 0u);
    EXPECT_EQ(part, text.substr(0, part.size()));
  }
  // Stray bytes are characters of their own: a cut never goes further back
  // than the longest character.
  EXPECT_EQ(characterBoundary(std::string(10, '\x80'), 5, charset::kUtf8), 5u);
  EXPECT_EQ(characterBoundary("ab\xE6\x97", 3, charset::kUtf8), 2u);
  EXPECT_EQ(characterBoundary("ab\x93", 2, 932), 2u);
  EXPECT_EQ(characterBoundary("\x93\x93\x93\x93\x93", 3, 932), 2u);
  EXPECT_EQ(characterBoundary("abc", 2, 1252), 2u);
  EXPECT_EQ(characterBoundary("", 0, 932), 0u);
}

TEST(StandInsTest, AsciiAndNeverAQuestionMark) {
  for (char32_t c = 0x80; c < 0x3000; ++c) {
    for (bool latin1 : {false, true}) {
      const char* s = standIn(c, latin1);
      if (!s) continue;
      for (const char* p = s; *p; ++p) {
        EXPECT_TRUE(*p >= 0x20 && *p < 0x7F && *p != '?') << std::hex << c;
      }
    }
  }
  EXPECT_STREQ(standIn(0x00DF, false), "ss");
  EXPECT_STREQ(standIn(0x0142, false), "l");
  EXPECT_STREQ(standIn(0x20AC, false), "EUR");
  EXPECT_STREQ(standIn(0x20AC, true), "E");
  EXPECT_STREQ(standIn(0x2026, false), "...");
  EXPECT_EQ(standIn(0x041F, false), nullptr);
  EXPECT_EQ(standIn(0x1F600, true), nullptr);
}

// latin1 mode keeps what Korvo's narrowing gives today: the special entity
// table's stand-ins for its characters...
TEST(StandInsTest, Latin1ModeKeepsTheSpecialTable) {
  for (const SpecialEntity& row : SpecialEntityTable) {
    SCOPED_TRACE(row.name);
    const char32_t code = static_cast<char32_t>(std::stoul(std::string(row.code)));
    const char* s = standIn(code, true);
    EXPECT_EQ(std::string(s ? s : ""), std::string(row.replacement));
  }
}

// ...and the ISO-8859-2 table's plain letter for every letter Latin-1
// lacks (except its ß, which came out as á).
TEST(StandInsTest, Latin1ModeKeepsTheIso88592Letters) {
  CharsetConverter converter;
  int letters = 0;
  for (int b = 0xA1; b <= 0xFF; ++b) {
    std::string old(1, static_cast<char>(b));
    converter.fromIso88592(old);
    std::u32string text;
    ASSERT_TRUE(charset::decode(28592, std::string(1, static_cast<char>(b)), text));
    ASSERT_EQ(text.size(), 1u);
    const char32_t c = text[0];
    const bool letter = (c >= 0x100 && c <= 0x17F) || c == 0xDF;
    if (!letter || c == 0xDF) continue;
    SCOPED_TRACE(b);
    ++letters;
    const char* s = standIn(c, true);
    EXPECT_EQ(std::string(s ? s : "(none)"), old);
  }
  EXPECT_GT(letters, 50);
  EXPECT_STREQ(standIn(0xDF, true), "ss");
}

}  // namespace
}  // namespace korvo
