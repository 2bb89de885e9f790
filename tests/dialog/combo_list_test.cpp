// The drop-down list model: a Windows combo box's rules for its entries
// and its selection.
#include "dialog/combo_list.h"

#include <gtest/gtest.h>

namespace korvo::dialog {
namespace {

ComboList listOf(std::initializer_list<const char*> entries, int selected) {
  ComboList list;
  for (const char* e : entries) list.add(e);
  list.select(selected);
  return list;
}

TEST(ComboListTest, SelectingAnIndexWithNoEntryClearsTheSelection) {
  for (int index : {-1, 3, 99, -7}) {
    ComboList list = listOf({"a", "b", "c"}, 1);
    list.select(index);
    EXPECT_EQ(list.selection(), -1) << index;
  }
  ComboList empty;
  empty.select(0);
  EXPECT_EQ(empty.selection(), -1);
}

TEST(ComboListTest, TheSelectionStaysWithItsEntry) {
  struct Case {
    const char* what;
    bool insert;  // else remove
    int index;
    bool done;
    std::vector<std::string> entries;
    int selection;  // "b" selected before
  };
  const Case cases[] = {
      {"insert before", true, 0, true, {"x", "a", "b", "c"}, 2},
      {"insert at it", true, 1, true, {"a", "x", "b", "c"}, 2},
      {"insert after", true, 2, true, {"a", "b", "x", "c"}, 1},
      {"insert at the end", true, 3, true, {"a", "b", "c", "x"}, 1},
      {"append with -1", true, -1, true, {"a", "b", "c", "x"}, 1},
      {"insert past the end", true, 4, false, {"a", "b", "c"}, 1},
      {"insert at -2", true, -2, false, {"a", "b", "c"}, 1},
      {"remove before", false, 0, true, {"b", "c"}, 0},
      {"remove it", false, 1, true, {"a", "c"}, -1},
      {"remove after", false, 2, true, {"a", "b"}, 1},
      {"remove past the end", false, 3, false, {"a", "b", "c"}, 1},
      {"remove -1", false, -1, false, {"a", "b", "c"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ComboList list = listOf({"a", "b", "c"}, 1);
    EXPECT_EQ(c.insert ? list.insert(c.index, "x") : list.remove(c.index), c.done);
    EXPECT_EQ(list.entries(), c.entries);
    EXPECT_EQ(list.selection(), c.selection);
  }
}

TEST(ComboListTest, PrefixSearchFindsTheFirstMatchIgnoringLetterCase) {
  struct Case {
    const char* prefix;
    int found;
    int selection;  // 2 before
  };
  const Case cases[] = {
      {"Alpha", 0, 0}, {"ALPHABET", 1, 1}, {"alphabet s", 1, 1}, {"b", 2, 2},
      {"", 0, 0},      {"Gamma", -1, 2},   {"Alphabets!", -1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    ComboList list = listOf({"Alpha", "alphabet soup", "Beta"}, 2);
    EXPECT_EQ(list.selectPrefix(c.prefix), c.found);
    EXPECT_EQ(list.selection(), c.selection);
  }
  ComboList empty;
  EXPECT_EQ(empty.selectPrefix(""), -1);
}

TEST(ComboListTest, AnEntryIsReadOnlyWhenItFitsTheBuffer) {
  ComboList list = listOf({"four", ""}, -1);
  EXPECT_EQ(list.text(0, 5), "four");
  EXPECT_EQ(list.text(0, 4), std::nullopt);
  EXPECT_EQ(list.text(1, 1), "");
  EXPECT_EQ(list.text(2, 100), std::nullopt);
  EXPECT_EQ(list.text(-1, 100), std::nullopt);
}

TEST(ComboListTest, CutToBufferKeepsWhatABufferOfThatSizeHolds) {
  EXPECT_EQ(cutToBuffer("abcdef", 4), "abc");
  EXPECT_EQ(cutToBuffer("abc", 4), "abc");
  EXPECT_EQ(cutToBuffer("abc", 1), "");
  EXPECT_EQ(cutToBuffer("abc", 0), "");
  EXPECT_EQ(cutToBuffer(std::string_view("ab\0cd", 5), 10), "ab");
}

}  // namespace
}  // namespace korvo::dialog
