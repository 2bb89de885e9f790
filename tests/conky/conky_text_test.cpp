// What the Conky module makes of the plug-in's bytes before Conky parses
// them: Conky's escapes, dropped control bytes, UTF-8, and the length cut.
#include "conky_text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "host_code_page.h"
#include "platform/text_conversion.h"

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
      {"a template", "${template0 x}", "$$#\n{template0 x}"},
      {"a template without braces", "$template1", "$$#\ntemplate1"},
      {"a template in capitals", "$TEMPLATE ${Template", "$$#\nTEMPLATE $$#\n{Template"},
      {"a template behind an escape", "$$template", "$$$$#\ntemplate"},
      {"a template behind a dropped byte", "$\x01template", "$$#\ntemplate"},
      {"other words after a dollar", "$temp $templat ${ template", "$$temp $$templat $${ template"},
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

// How Conky reads lua_parse output, as far as plain text goes: templates
// first (found in any letter case), then "$$" as "$", "\#" as "#", and "#"
// up to and with its line end as a comment. False for anything else Conky
// would act on: a template, a variable, an unclosed escape.
bool conkyReads(const std::string& output, std::string& shown) {
  std::string lower = output;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower.find("$template") != std::string::npos || lower.find("${template") != std::string::npos)
    return false;
  shown.clear();
  for (std::size_t i = 0; i < output.size(); ++i) {
    if (output[i] == '$') {
      if (i + 1 == output.size() || output[i + 1] != '$') return false;
      shown += '$';
      ++i;
    } else if (output[i] == '\\' && i + 1 < output.size() && output[i + 1] == '#') {
      shown += '#';
      ++i;
    } else if (output[i] == '#') {
      const std::size_t end = output.find('\n', i);
      if (end == std::string::npos) return false;
      i = end;
    } else {
      shown += output[i];
    }
  }
  return true;
}

TEST(ConkyTextTest, ConkyReadsBackTheTextAsItIs) {
  std::vector<std::string> texts = {"${template0 x}", "$$TEMPLATE$",         "$#template",
                                    "\\#$\\#",        "${exec $(rm x)}",     "#$#\n#",
                                    "$\ntemplate",    "{template $}template"};
  // Mixtures of the bytes that matter, the same on every run.
  const std::string alphabet[] = {"$",    "#",        "\\",       "{",   "}", "\n", "\t",
                                  "\x01", "template", "TeMpLaTe", "tem", "x", " "};
  unsigned seed = 12345;
  for (int n = 0; n < 2000; ++n) {
    std::string text;
    for (int k = 0; k < 12; ++k) {
      seed = seed * 1103515245u + 12345u;
      text += alphabet[(seed >> 16) % std::size(alphabet)];
    }
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    std::string expected;
    for (char c : text) {
      if (c == '\t')
        expected += ' ';
      else if (c != '\x01')
        expected += c;
    }
    std::string shown;
    ASSERT_TRUE(conkyReads(escapeForConky(text), shown)) << text << "\n" << escapeForConky(text);
    EXPECT_EQ(shown, expected) << text;
  }
}

TEST(ConkyTextTest, CutsOnlyBetweenCharactersAndEscapes) {
  const EscapeCase cases[] = {
      {"fits exactly", "abcd", "abcd"},
      {"longer text is cut", "abcdef", "abcd"},
      {"an escape is never split", "abc$", "abc"},
      {"a comment escape is never split", "abc#", "abc"},
      {"a template's comment is never split", "a$template", "a"},
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

struct CodePageCase {
  const char* name;
  unsigned codePage;
  std::string text;
  std::string expected;
};

TEST(ConkyTextTest, WritesThePluginsCodePageInUtf8) {
  const std::string latin1 = "Caf\xE9 cr\xE8me \xA3 5 \xFF!";
  const CodePageCase cases[] = {
      // The plug-in's default on Linux.
      {"Latin-1", charset::kLatin1, latin1, "Caf\xC3\xA9 cr\xC3\xA8me \xC2\xA3 5 \xC3\xBF!"},
      {"ASCII in Latin-1", charset::kLatin1, "plain", "plain"},
      // CodePage=utf-8: the bytes are already what Conky needs, and are
      // passed as they are.
      {"UTF-8", charset::kUtf8, "Caf\xC3\xA9 \xD0\x9D\xD0\xBE", "Caf\xC3\xA9 \xD0\x9D\xD0\xBE"},
      {"UTF-8 is not read again", charset::kUtf8, latin1, latin1},
      {"Cyrillic 1251", 1251, "\xCD\xEE\xE2\xEE\xF1\xF2\xE8",
       "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8"},
      {"the euro of 1252", 1252, "5 \x80", "5 \xE2\x82\xAC"},
      {"Shift_JIS 932", 932, "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"a byte that is no character of 1251 goes", 1251, "a\x98z", "az"},
  };
  for (const CodePageCase& c : cases)
    EXPECT_EQ(pluginTextToUtf8(c.text, c.codePage), c.expected) << c.name;
}

struct SettingCase {
  const char* setting;
  unsigned expected;
};

TEST(ConkyTextTest, ReadsCodePageAsThePluginDoes) {
  const SettingCase cases[] = {
      {"", 1252},  // the default is auto
      {"latin1", charset::kLatin1},
      {"utf-8", charset::kUtf8},
      {"UTF-8", charset::kUtf8},
      {" utf8 ", charset::kUtf8},
      {"65001", charset::kUtf8},
      {"1251", 1251},
      {"28592", 28592},
      {"auto", 1252},
      {"klingon", charset::kLatin1},
      {"1", charset::kLatin1},
      {"utf-16", charset::kLatin1},
  };
  // The module asks what every host asks (no Korvo.ini here: the setting
  // is given as a host's user would give it).
  const auto chosen = [](const char* setting, unsigned systemCodePage) {
    return host::chooseCodePage(setting, "", systemCodePage).target.number;
  };
  for (const SettingCase& c : cases)
    EXPECT_EQ(chosen(c.setting, 1252), c.expected) << '"' << c.setting << '"';
  EXPECT_EQ(chosen("auto", charset::kUtf8), charset::kUtf8);
  EXPECT_EQ(chosen("auto", 0), charset::kLatin1) << "a system code page the plug-in lacks";
  EXPECT_EQ(chosen("", charset::kUtf8), charset::kUtf8) << "a UTF-8 desktop, no setting";
  EXPECT_EQ(chosen("", charset::kUsAscii), charset::kLatin1) << "the C locale, no setting";
}

}  // namespace
}  // namespace korvo::conky
