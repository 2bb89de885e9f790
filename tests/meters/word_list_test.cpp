#include "meters/word_list.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

struct Case {
  const char* setting;
  const char* text;
  bool found;
};

// Whole words, any ASCII letter case, phrases, '|' lists with blanks and
// empty entries.
const Case kAsciiCases[] = {
    {"sport", "Sport results", true},
    {"sport", "SPORT", true},
    {"SpOrT", "the sport pages", true},
    {"sport", "sports", false},
    {"sport", "transport", false},
    {"sport", "sport2", false},
    {"sport", "2sport", false},
    {"sport", "sport-news", true},
    {"sport", "(sport)", true},
    {"sport", "sport.", true},
    {"sport", "spor", false},
    {"sport", "", false},
    {"sport", "sportsport sport", true},  // a later whole word after a part
    // Bytes from 0x80 are letters: a word that runs on into one is no match.
    {"caf", "caf\xE9", false},
    {"caf", "\xE9" "caf", false},
    {"c++", "I like c++ a lot", true},
    {"c++", "c++11", false},
    // Phrases: the words in that order, any white space between.
    {"world cup", "The World Cup final", true},
    {"world cup", "world  \t\ncup", true},
    {"world   cup", "world cup", true},
    {"world cup", "world-cup", false},
    {"world cup", "cup world", false},
    {"world cup", "worldcup", false},
    {"world cup", "world cups", false},
    // Lists: any one of them; blanks trimmed, empty entries ignored.
    {"rain|snow", "Snow tomorrow", true},
    {" rain | snow ", "rain today", true},
    {"rain||snow|", "snow", true},
    {"|", "anything", false},
    {" | \t|", "anything", false},
    {"rain|snow", "sunny", false},
    {"rain | ", " ", false},
};

TEST(WordListTest, FindsWholeWordsAndPhrasesWithoutRegardToCase) {
  for (const Case& c : kAsciiCases) {
    SCOPED_TRACE(std::string(c.setting) + " in " + c.text);
    EXPECT_EQ(WordList(c.setting, LetterCase::Ascii).foundIn(c.text), c.found);
  }
}

TEST(WordListTest, EmptyWhenNoWordIsLeft) {
  for (const char* setting : {"", "|", "  ", " | | ", "\t"})
    EXPECT_TRUE(WordList(setting, LetterCase::Ascii).empty()) << "'" << setting << "'";
  EXPECT_FALSE(WordList(" x ", LetterCase::Ascii).empty());
}

// The letters of the meter's code page: Latin-1 (À..Þ with their small
// letters, × and ÷ apart), Windows-1252 also Š Œ Ž Ÿ; other texts, UTF-8
// among them, only ASCII.
TEST(WordListTest, FoldsTheLettersOfTheCodePage) {
  struct LetterCaseCase {
    LetterCase letters;
    const char* setting;
    const char* text;
    bool found;
  } cases[] = {
      {LetterCase::Latin1, "\xE9t\xE9", "\xC9T\xC9 2026", true},  // été / ÉTÉ
      {LetterCase::Latin1, "\xC0", "\xE0", true},
      {LetterCase::Latin1, "a\xD7" "b", "a\xF7" "b", false},  // × is not ÷
      {LetterCase::Latin1, "\x8A", "\x9A", false},
      {LetterCase::Windows1252, "\x8A" "koda", "\x9A" "koda", true},  // Škoda
      {LetterCase::Windows1252, "\x9F", "\xFF", true},
      {LetterCase::Windows1252, "\xE9t\xE9", "\xC9T\xC9", true},
      {LetterCase::Ascii, "\xE9t\xE9", "\xC9T\xC9", false},
      {LetterCase::Ascii, "\xE9t\xE9", "\xE9T\xE9", true},
      // UTF-8 "é" against "É": no folding, and no match made by it.
      {LetterCase::Ascii, "\xC3\xA9", "\xC3\x89", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.setting) + " in " + c.text);
    EXPECT_EQ(WordList(c.setting, c.letters).foundIn(c.text), c.found);
  }
}

TEST(WordListTest, LetterCaseFollowsTheMetersTexts) {
  CleanupOptions options;  // latin1 mode
  EXPECT_EQ(letterCaseOf(options), LetterCase::Latin1);
  options.target = TargetCodePage{charset::kWindows1252, false};
  EXPECT_EQ(letterCaseOf(options), LetterCase::Windows1252);
  options.FilterUnicode = false;  // UTF-8 documents stay UTF-8
  EXPECT_EQ(letterCaseOf(options), LetterCase::Ascii);
  options = CleanupOptions();
  options.target = TargetCodePage{charset::kUtf8, false};
  EXPECT_EQ(letterCaseOf(options), LetterCase::Ascii);
  options.target = TargetCodePage{1250, false};
  EXPECT_EQ(letterCaseOf(options), LetterCase::Ascii);
}

}  // namespace
}  // namespace korvo
