#include "text/entity_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

namespace korvo {
namespace {

static_assert(LatinEntityTable.size() == 96 + 5);
static_assert(SpecialEntityTable.size() == 30);

TEST(LatinEntityTable, RowsMatchTheHtmlLatin1Standard) {
  const struct {
    const char* name;
    int code;
  } standard[] = {
      {"nbsp", 160},   {"iexcl", 161}, {"copy", 169},  {"shy", 173},    {"AElig", 198},
      {"ETH", 208},    {"times", 215}, {"szlig", 223}, {"eacute", 233}, {"eth", 240},
      {"divide", 247}, {"thorn", 254}, {"yuml", 255},  {"quot", 34},    {"apos", 39},
      {"amp", 38},     {"lt", 60},     {"gt", 62},
  };
  for (const auto& entry : standard) {
    const LatinEntity* row = findLatinEntity(entry.name);
    ASSERT_NE(row, nullptr) << entry.name;
    EXPECT_EQ(row->code, entry.code) << entry.name;
  }
}

TEST(LatinEntityTable, CoversEachLatin1CodeOnceAndFiveMarkupCharacters) {
  std::set<std::string_view> names;
  std::multiset<int> high;
  std::multiset<int> low;
  for (const LatinEntity& row : LatinEntityTable) {
    names.insert(row.name);
    (row.code >= 160 ? high : low).insert(row.code);
  }
  EXPECT_EQ(names.size(), 101u);
  ASSERT_EQ(high.size(), 96u);
  int expected = 160;
  for (int code : high) EXPECT_EQ(code, expected++);
  EXPECT_EQ(low, (std::multiset<int>{34, 38, 39, 60, 62}));
}

TEST(LatinEntityTable, LookupFindsEveryRowAndOnlyExactNames) {
  for (const LatinEntity& row : LatinEntityTable) {
    const LatinEntity* found = findLatinEntity(row.name);
    ASSERT_NE(found, nullptr) << row.name;
    EXPECT_EQ(found->code, row.code) << row.name;
  }
  for (const char* name : {"AMP", "Amp", "NBSP", "ampx", "am", "", "rsquo", "Yuml", "ampersand"}) {
    EXPECT_EQ(findLatinEntity(name), nullptr) << name;
  }
  EXPECT_EQ(findLatinEntity(std::string_view("amp\0", 4)), nullptr);
  EXPECT_EQ(findLatinEntity(std::string_view("\0amp", 4)), nullptr);
}

TEST(SpecialEntityTable, LookupByNameAndByExactCodeText) {
  std::set<std::string_view> names;
  for (const SpecialEntity& row : SpecialEntityTable) {
    names.insert(row.name);
    EXPECT_EQ(findLatinEntity(row.name), nullptr) << row.name;
    const SpecialEntity* byName = findSpecialEntityByName(row.name);
    const SpecialEntity* byCode = findSpecialEntityByCode(row.code);
    ASSERT_NE(byName, nullptr) << row.name;
    ASSERT_NE(byCode, nullptr) << row.code;
    EXPECT_EQ(byName->replacement, row.replacement);
    EXPECT_EQ(byCode->replacement, row.replacement);
  }
  EXPECT_EQ(names.size(), 30u);
  for (const char* text : {"08217", "8217 ", " 8217", "+8217", "821", "82170", "", "0", "38"}) {
    EXPECT_EQ(findSpecialEntityByCode(text), nullptr) << '"' << text << '"';
  }
  for (const char* name : {"RSQUO", "Trade", "yuml", "amp", ""}) {
    EXPECT_EQ(findSpecialEntityByName(name), nullptr) << name;
  }
}

TEST(SpecialEntityTable, ReplacementForNumericCode) {
  const struct {
    std::uint32_t code;
    const char* replacement;
  } cases[] = {
      {338, "OE"},  {8217, "'"}, {8220, "''"},   {8204, ""},  {8224, "|"},  {8230, "..."},
      {8249, "\""}, {8364, "E"}, {8482, "(TM)"}, {8194, " "}, {8222, ",,"},
  };
  for (const auto& c : cases) {
    const char* replacement = specialReplacementForCode(c.code);
    ASSERT_NE(replacement, nullptr) << c.code;
    EXPECT_STREQ(replacement, c.replacement) << c.code;
  }
  for (std::uint32_t code : {0u, 38u, 65u, 160u, 255u, 337u, 8213u, 82170u, 4294967295u}) {
    EXPECT_EQ(specialReplacementForCode(code), nullptr) << code;
  }
  for (const SpecialEntity& row : SpecialEntityTable) {
    const char* replacement =
        specialReplacementForCode(static_cast<std::uint32_t>(std::stoul(std::string(row.code))));
    ASSERT_NE(replacement, nullptr) << row.code;
    EXPECT_EQ(replacement, row.replacement);
  }
}

// The three tables together hold the HTML 4.01 set once each, plus "apos".
TEST(EntityCodePoint, EveryNameOfTheThreeTables) {
  std::set<std::string_view> names;
  for (const LatinEntity& row : LatinEntityTable) {
    names.insert(row.name);
    EXPECT_EQ(entityCodePoint(row.name), row.code) << row.name;
  }
  for (const SpecialEntity& row : SpecialEntityTable) {
    names.insert(row.name);
    EXPECT_EQ(entityCodePoint(row.name), std::stoul(std::string(row.code))) << row.name;
  }
  for (const SymbolEntity& row : SymbolEntityTable) {
    names.insert(row.name);
    EXPECT_EQ(entityCodePoint(row.name), row.code) << row.name;
  }
  EXPECT_EQ(names.size(), 253u);
  const struct {
    const char* name;
    std::uint32_t code;
  } samples[] = {{"alpha", 945}, {"Omega", 937}, {"thetasym", 977}, {"bull", 8226},
                 {"rArr", 8658}, {"diams", 9830}, {"ne", 8800},     {"fnof", 402}};
  for (const auto& s : samples) EXPECT_EQ(entityCodePoint(s.name), s.code) << s.name;
  for (std::string_view name : {std::string_view(), std::string_view("ALPHA"), std::string_view("thetasymx"),
                                 std::string_view("bul"), std::string_view("ne\0", 3)}) {
    EXPECT_EQ(entityCodePoint(name), 0u) << name;
  }
}

}  // namespace
}  // namespace korvo
