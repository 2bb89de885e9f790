#include "text/text_cleaner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/text_oracle.h"

namespace korvo {
namespace {

using test::literalFilterHtml;
using test::literalReplaceBr;

struct Case {
  const char* what;
  std::string input;
  std::string expected;
};

std::string filtered(std::string text) {
  filterHtml(text);
  return text;
}
std::string literallyFiltered(std::string text) {
  literalFilterHtml(text);
  return text;
}
std::string brReplaced(std::string text) {
  replaceBr(text);
  return text;
}
std::string literallyBrReplaced(std::string text) {
  literalReplaceBr(text);
  return text;
}

void expectFilterCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(filtered(c.input), c.expected) << c.what << ": \"" << c.input << '"';
    EXPECT_EQ(literallyFiltered(c.input), c.expected) << "literal, " << c.what;
  }
}

TEST(FilterHtml, RemovesEverythingFromLessThanToTheNextGreaterThan) {
  expectFilterCases({
      {"tags around a word", "<b>bold</b>", "bold"},
      {"tags in a sentence", "a <i>b</i> <a href=\"x\">c</a>.", "a b c."},
      {"comparison signs", "if a < b and c > d then", "if a  d then"},
      {"unclosed <", "x <b>y</b> < z", "x y < z"},
      {"unclosed < keeps the rest", "a<b", "a<b"},
      {"lone >", "5 > 3", "5 > 3"},
      {"> before <", "a>b<c>d", "a>bd"},
      {"comment with >", "<!-- a > b -->text", " b -->text"},
      {"> in attribute value", "<a title=\"x>y\">link</a>", "y\">link"},
      {"nested <", "<<b>>", ">"},
      {"white space kept", " <p>\r\n  two\tspaces  </p> ", " \r\n  two\tspaces   "},
      {"reference inside a tag goes with it", "<a title=\"&amp;\">x</a>", "x"},
      {"empty tag", "a<>b", "ab"},
      {"empty text", "", ""},
      {"plain text", "nothing to do here; really", "nothing to do here; really"},
  });
}

TEST(FilterHtml, DecodesNamedReferences) {
  expectFilterCases({
      {"lt and gt stay as signs", "&lt;b&gt;bold&lt;/b&gt;", "<b>bold</b>"},
      {"amp", "Q&amp;A", "Q&A"},
      {"quot", "&quot;hi&quot;", "\"hi\""},
      {"apos", "it&apos;s", "it's"},
      {"eacute", "caf&eacute;", "caf\xE9"},
      {"nbsp", "a&nbsp; b", "a\xA0 b"},
      {"yuml and Yuml differ", "&yuml;&Yuml;", "\xFFY"},
      {"special names", "&rsquo;&trade;&hellip;&zwnj;&ldquo;&dagger;&lsaquo;&euro;&mdash;",
       "'(TM)...''|\"E-"},
      {"other case than the row (Eacute has its own)", "a&AMP;b&Eacute;!&Trade;d", "ab\xC9!d"},
      {"unknown name", "a&foo;b&nbs;c", "abc"},
      {"empty name", "a&;b", "ab"},
  });
}

TEST(FilterHtml, DecodesNumericReferences) {
  expectFilterCases({
      {"39", "it&#39;s", "it's"},
      {"leading zeros below 256", "&#065;&#0065;&#00000065;", "AAA"},
      {"1 and 255", "&#1;&#255;", "\x01\xFF"},
      {"0", "a&#0;b", "ab"},
      {"256", "a&#256;b", "ab"},
      {"1000", "a&#1000;b", "ab"},
      {"8217 by code text", "&#8217;&#8482;&#338;&#8204;", "'(TM)OE"},
      {"08217 is not the code text", "a&#08217;b", "ab"},
      {"leading white space and sign", "&# 65;&#+66;&#\t67;", "ABC"},
      {"negative", "a&#-65;b", "ab"},
      {"digits up to the first non-digit", "&#65abc;&#66 7;", "AB"},
      {"no digits", "a&#abc;b&# ;c", "abc"},
      {"white space before a special code", "a&# 8217;b", "ab"},
      {"eight digits", "a&#99999999;b", "ab"},
      {"hexadecimal", "a&#x41;b&#X41;c&#x2019;d", "abcd"},
      {"empty number", "a&#;b", "ab"},
      {"zero byte inside", std::string{'&', '#', '6', '\0', '5', ';', 'x'}, "\x06x"},
      {"decodes to a semicolon", "a&#59;b", "a;b"},
  });
}

TEST(FilterHtml, DecodedTextIsExaminedAgain) {
  expectFilterCases({
      {"amp then lt", "&amp;lt;", "<"},
      {"amp written twice", "&amp;amp;", "&"},
      {"amp chain", "&amp;amp;amp;quot;", "\""},
      {"numeric amp then name", "&#38;gt;", ">"},
      {"numeric amp then number", "&#38;#65;", "A"},
      {"decoded amp joins the next reference", "&amp;&amp;", ""},
      {"decoded amp with a distant semicolon", "Fish &amp; Chips and Peas;",
       "Fish & Chips and Peas;"},
      {"decoded amp with a near semicolon", "Fish &amp; Chips; Peas", "Fish  Peas"},
      {"decoded amp with a near semicolon", "A &amp; B &amp; C", "A  C"},
  });
}

TEST(FilterHtml, SemicolonWindowAndBareAmpersands) {
  expectFilterCases({
      {"nine characters between", "a&123456789;b", "ab"},
      {"ten characters between", "a&1234567890;b", "a&1234567890;b"},
      {"nine-character number", "&#00000065;|&#000000065;", "A|&#000000065;"},
      {"a later amp still decoded", "AT&T and others; Q&amp;A", "AT&T and others; Q&A"},
      {"an amp inside a long window is passed over", "x&abcdefg&amp;y", "x&abcdefg&amp;y"},
      {"no semicolon anywhere", "Tom & Jerry &amp more", "Tom & Jerry &amp more"},
      {"no semicolon after the last amp", "&amp; then & alone", "& then & alone"},
      {"bare amp in an address query", "http://example.com/?a=1&b=2;c=3",
       "http://example.com/?a=1c=3"},
      {"address query without semicolons", "/?id=5&lang=en&x=1", "/?id=5&lang=en&x=1"},
      {"amp at the very end", "a&", "a&"},
  });
}

TEST(FilterHtml, EightBitBytesPassThrough) {
  std::string everyByte;
  for (int c = 1; c < 256; ++c) {
    if (c != '<' && c != '&') everyByte += static_cast<char>(c);
  }
  expectFilterCases({
      {"Latin-1 text", "caf\xE9 \x80\xFF", "caf\xE9 \x80\xFF"},
      {"around a reference", "\xE9&amp;\xFF", "\xE9&\xFF"},
      {"zero bytes", std::string("a\0<b>\0&amp;", 11), std::string("a\0\0&", 4)},
      {"every byte but the two markers", everyByte, everyByte},
  });
}

TEST(ReplaceBr, ReplacesExactlyTheTwoBreakForms) {
  const std::vector<Case> cases = {
      {"between two words", "one<br>two", "one\ntwo"},
      {"two in a row", "a<br><br>b", "a\n\nb"},
      {"self-closing with space", "a<br />b", "a\nb"},
      {"mixed", "<br />x<br>y<br /><br>", "\nx\ny\n\n"},
      {"capitals", "a<BR>b<Br />c", "a<BR>b<Br />c"},
      {"no space before the slash", "a<br/>b", "a<br/>b"},
      {"space before the sign", "a<br >b", "a<br >b"},
      {"attributes", "a<br class=\"x\">b", "a<br class=\"x\">b"},
      {"white space around kept", "a <br> \r\nb", "a \n \r\nb"},
      {"inside other brackets", "<<br>>", "<\n>"},
      {"break within a broken break", "<br<br>>", "<br\n>"},
      {"cut off", "text<br", "text<br"},
      {"empty text", "", ""},
      {"no breaks", "plain <p>text</p>", "plain <p>text</p>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(brReplaced(c.input), c.expected) << c.what << ": \"" << c.input << '"';
    EXPECT_EQ(literallyBrReplaced(c.input), c.expected) << "literal, " << c.what;
  }
}

TEST(TextCleanup, BreaksSurviveTheFilterOnlyWhenReplacedFirst) {
  const std::string input = "<p>one<br>two<br />three<BR>four<br/>five &amp; six</p>";
  const struct {
    bool replace;
    bool filter;
    std::string expected;
  } settings[] = {
      {true, true, "one\ntwo\nthreefourfive & six"},
      {false, true, "onetwothreefourfive & six"},
      {true, false, "<p>one\ntwo\nthree<BR>four<br/>five &amp; six</p>"},
      {false, false, input},
  };
  for (const auto& s : settings) {
    std::string fast = input;
    std::string literal = input;
    if (s.replace) {
      replaceBr(fast);
      literalReplaceBr(literal);
    }
    if (s.filter) {
      filterHtml(fast);
      literalFilterHtml(literal);
    }
    EXPECT_EQ(fast, s.expected) << "replaceBr " << s.replace << ", filterHtml " << s.filter;
    EXPECT_EQ(literal, s.expected) << "literal, replaceBr " << s.replace;
  }
}

}  // namespace
}  // namespace korvo
