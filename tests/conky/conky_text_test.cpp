// What the Conky module makes of the plug-in's bytes before Conky parses
// them: Conky's escapes, dropped control bytes, UTF-8, and the length cut.
#include "conky_text.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo::conky {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string expected;
};

TEST(ConkyTextTest, EscapesEverythingConkyWouldReadAsMarkup) {
  const EscapeCase cases[] = {
      {"plain text passes", "Harbour news 2-3 May", "Harbour news 2-3 May"},
      {"a variable with braces", "${exec touch /tmp/x}", "$${exec touch /tmp/x}"},
      {"a bare variable", "$exec", "$$exec"},
      {"a colour", "${color red}red", "$${color red}red"},
      {"an escape already written", "$$", "$$$$"},
      {"a lone dollar at the end", "costs 5$", "costs 5$$"},
      {"a comment sign", "# not a comment", "\\# not a comment"},
      {"a backslash before the comment sign", "a\\#b", "a\\\\#b"},
      {"braces alone are text", "{x} } {", "{x} } {"},
      {"other backslashes are text", "C:\\news \\n", "C:\\news \\n"},
      {"line feeds make lines", "one\ntwo\n", "one\ntwo\n"},
      {"CR LF becomes LF", "one\r\ntwo", "one\ntwo"},
      {"tabs become blanks", "a\tb", "a b"},
      {"Conky's special byte and other controls go",
       "a\x01"
       "b\x02\x1b[31mc\x7f",
       "ab[31mc"},
      {"UTF-8 passes", "Caf\xC3\xA9 \xD0\x9D\xD0\xBE", "Caf\xC3\xA9 \xD0\x9D\xD0\xBE"},
      {"empty", "", ""},
  };
  for (const EscapeCase& c : cases) EXPECT_EQ(escapeForConky(c.text), c.expected) << c.name;
}

TEST(ConkyTextTest, CutsOnlyBetweenCharactersAndEscapes) {
  const EscapeCase cases[] = {
      {"fits exactly", "abcd", "abcd"},
      {"longer text is cut", "abcdef", "abcd"},
      {"an escape is never split", "abc$", "abc"},
      {"a comment escape is never split", "abc#", "abc"},
      {"a UTF-8 character is never split", "abc\xC3\xA9", "abc"},
      {"a four-byte character is never split", "\xF0\x9F\x93\xB0xyz", "\xF0\x9F\x93\xB0"},
      {"dropped bytes take no room",
       "\x01\x01\x01\x01"
       "abcd",
       "abcd"},
  };
  for (const EscapeCase& c : cases) EXPECT_EQ(escapeForConky(c.text, 4), c.expected) << c.name;
  EXPECT_EQ(escapeForConky(std::string(40000, '$')).size(), kMaxConkyText - 1)
      << "whole escapes only, below Conky's limit";
}

TEST(ConkyTextTest, WritesLatin1InUtf8UntilThePluginWritesUtf8) {
  const std::string latin1 = "Caf\xE9 cr\xE8me \xA3 5 \xFF!";
  EXPECT_EQ(pluginTextToUtf8(latin1, false), "Caf\xC3\xA9 cr\xC3\xA8me \xC2\xA3 5 \xC3\xBF!");
  EXPECT_EQ(pluginTextToUtf8("plain", false), "plain");
  // With CodePage=utf-8 the plug-in's bytes are already what Conky needs.
  EXPECT_EQ(pluginTextToUtf8("Caf\xC3\xA9", true), "Caf\xC3\xA9");
  EXPECT_EQ(pluginTextToUtf8(latin1, true), latin1);
}

}  // namespace
}  // namespace korvo::conky
