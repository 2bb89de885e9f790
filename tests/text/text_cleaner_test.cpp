#include "text/text_cleaner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/text_oracle.h"
#include "text/character_reference.h"
#include "text/entity_tables.h"

namespace korvo {
namespace {

using test::literalFilterHtml;
using test::literalReplaceBr;

struct Case {
  const char* what;
  std::string input;
  std::string expected;
};

std::string filtered(std::string text, TagBreak tagBreak = TagBreak::Blank) {
  filterHtml(text, tagBreak);
  return text;
}
std::string literallyFiltered(std::string text, TagBreak tagBreak = TagBreak::Blank) {
  literalFilterHtml(text, tagBreak);
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

void expectFilterCases(const std::vector<Case>& cases, TagBreak tagBreak = TagBreak::Blank) {
  for (const Case& c : cases) {
    EXPECT_EQ(filtered(c.input, tagBreak), c.expected) << c.what << ": \"" << c.input << '"';
    EXPECT_EQ(literallyFiltered(c.input, tagBreak), c.expected) << "literal, " << c.what;
  }
}

TEST(FilterHtml, RemovesMarkupAndKeepsOtherSigns) {
  expectFilterCases({
      {"tags around a word", "<b>bold</b>", "bold"},
      {"tags in a sentence", "a <i>b</i> <a href=\"x\">c</a>.", "a b c."},
      {"comparison signs", "5 < 6 and 7 > 3", "5 < 6 and 7 > 3"},
      {"less than a digit", "if a<3 then", "if a<3 then"},
      {"unclosed tag keeps the rest", "a<b", "a<b"},
      {"a later tag after an unclosed <", "x < y <b>z</b>", "x < y z"},
      {"lone >", "5 > 3", "5 > 3"},
      {"> before <", "a>b<c>d", "a>bd"},
      {"comment with > inside", "a<!-- a > b -->b", "ab"},
      {"comment without end is a tag", "a<!-- a > b", "a b"},
      {"declaration and instruction", "<!DOCTYPE html><?xml x?>text", "text"},
      {"> in attribute value ends the tag", "<a title=\"x>y\">link</a>", "y\">link"},
      {"empty tag is text", "a<>b", "a<>b"},
      {"slash without a name is text", "a</>b", "a</>b"},
      {"reference inside a tag goes with it", "<a title=\"&amp;\">x</a>", "x"},
      {"script with its content", "a<script type=\"x\">trackView(1234);</script>b", "ab"},
      {"style in capitals", "a <STYLE>.ad{display:none}</Style > b", "a b"},
      {"script holding a tag", "<script>if (a<b) x='</p>';</script>text", "text"},
      {"script without end tag", "a<script>b", "ab"},
      {"scripts are not scripted", "<scripts>x</scripts>", "x"},
      {"empty text", "", ""},
      {"plain text", "nothing to do here; really", "nothing to do here; really"},
  });
}

TEST(FilterHtml, GapsCollapseToOneSeparator) {
  expectFilterCases({
      {"spacing without mark-up stays", " a  b\t\r\n c ", " a  b\t\r\n c "},
      {"blanks on both sides of a tag", "a <b> c", "a c"},
      {"no blank around an inline tag", "AT<i>&amp;</i>T", "AT&T"},
      {"separating tags", "one<br>two<BR/>three</p><p>four<li>five", "one two three four five"},
      {"every separating tag",
       "a<p>b<div>c<li>d<tr>e<h1>f<h6>g<blockquote>h<hr>i</br>j<br clear=all>k",
       "a b c d e f g h i j k"},
      {"paragraphs with line feeds", "<p>late''.</p>\n<p>Read more</p>\n", "late''. Read more"},
      {"gap at the start and the end", "  <p> x </p>  ", "x"},
      {"separator-like names", "a<pre>b<brx>c<p2>d", "abcd"},
      {"a decoded blank is kept", "a&#32;<b> c", "a  c"},
      {"tags after a reference that decodes to nothing", "&zwnj;<p>x", "x"},
  });
  expectFilterCases(
      {
          {"separating tags", "one<br>two</p><p>three<li>four", "one\ntwo\nthree\nfour"},
          {"inline tag with blanks", "a <b> c", "a c"},
          {"inline tag without blanks", "a<b>c", "ac"},
          {"line feeds kept, two at most", "a\n\n\n<p>\n\nb", "a\n\nb"},
          {"one line feed next to a tag", "a\n<b>c", "a\nc"},
          {"breaks already replaced", "a\n\n<p>b", "a\n\nb"},
          {"carriage returns go", "a\r\n<p>\r\nb", "a\n\nb"},
          {"at the start and the end", "<p>\nx\n</p>\n", "x"},
      },
      TagBreak::LineFeed);
}

TEST(FilterHtml, DecodesOnlyRealReferences) {
  expectFilterCases({
      {"lt and gt stay as signs", "&lt;b&gt;bold&lt;/b&gt;", "<b>bold</b>"},
      {"amp", "Q&amp;A", "Q&A"},
      {"amp does not swallow", "Salt &amp; pepper; a history", "Salt & pepper; a history"},
      {"escaped twice", "AT&amp;amp;T", "AT&amp;T"},
      {"decoded text is final", "&amp;lt; &#38;gt;", "&lt; &gt;"},
      {"quot and apos", "&quot;it&apos;s&quot;", "\"it's\""},
      {"eacute", "caf&eacute;", "caf\xE9"},
      {"nbsp", "a&nbsp; b", "a\xA0 b"},
      {"case matters", "&yuml;&Yuml;&AMP;&Eacute;", "\xFFY&AMP;\xC9"},
      {"special names", "&rsquo;&trade;&hellip;&zwnj;&ldquo;&dagger;&lsaquo;&euro;&mdash;",
       "'(TM)...''|\"E-"},
      {"HTML 4 symbol names decode to their stand-in or nothing", "a&alpha;b&bull;c&thetasym;d",
       "ab*cd"},
      {"unknown names stay", "a&foo;b&nbs;c&;d", "a&foo;b&nbs;c&;d"},
      {"name too long", "a&thetasymx;b", "a&thetasymx;b"},
      {"no semicolon", "Tom & Jerry &amp more", "Tom & Jerry &amp more"},
      {"bare amp in an address query", "http://example.com/?a=1&b=2;c=3",
       "http://example.com/?a=1&b=2;c=3"},
      {"amp at the very end", "a&", "a&"},
  });
}

TEST(FilterHtml, DecodesWellFormedNumbers) {
  expectFilterCases({
      {"39", "it&#39;s", "it's"},
      {"leading zeros", "&#065;&#00000065;&#08217;", "AA'"},
      {"1 and 255", "&#1;&#255;", "\x01\xFF"},
      {"hexadecimal", "&#x26;&#X41;&#x2019;&#xe9;&#x00E9;", "&A'\xE9\xE9"},
      {"special codes", "&#8217;&#8482;&#338;&#8204;", "'(TM)OE"},
      {"not characters go", "a&#0;b&#x110000;c&#99999999999;d", "abcd"},
      {"other characters: their stand-in or nothing", "a&#256;b&#1000;c", "aAbc"},
      {"malformed numbers stay", "&# 65;&#+66;&#-6;&#65abc;&#;&#x;&#xg;",
       "&# 65;&#+66;&#-6;&#65abc;&#;&#x;&#xg;"},
      {"zero byte inside", std::string{'&', '#', '6', '\0', '5', ';', 'x'},
       std::string{'&', '#', '6', '\0', '5', ';', 'x'}},
      {"decodes to a semicolon", "a&#59;b", "a;b"},
      // As browsers read them: the windows-1252 characters, not C1 controls.
      {"128 to 159 are windows-1252", "don&#146;t &#150; &#x80;5 &#147;q&#x94;",
       "don't - E5 ''q''"},
      {"the five 1252 leaves undefined stay", "&#129;&#x8D;&#143;&#144;&#157;",
       "\x81\x8D\x8F\x90\x9D"},
      {"around them", "&#127;&#160;", "\x7F\xA0"},
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

// The fast paths skip from one "<" or "&" to the next eight bytes at a
// time, storing whole words once the text has shrunk by eight or more: a
// marker at every offset of a 64-byte block, after nothing, a short and a
// long removal, and mark-up that ends exactly at the end.
TEST(FilterHtml, MarkersAtEveryOffset) {
  for (std::size_t at = 0; at < 64; ++at) {
    for (const char* marker : {"<b>", "&amp;", "<", "&", "<p>", "<br", "&#x41;"}) {
      for (const char* before : {"", "<i>", "<span class=\"lead\">"}) {
        const std::string input =
            before + std::string(at, 'x') + marker + std::string(63 - at, 'y');
        EXPECT_EQ(filtered(input), literallyFiltered(input)) << before << marker << " at " << at;
      }
      const std::string input = std::string(at, 'x') + marker + std::string(63 - at, 'y');
      for (TagBreak tagBreak : {TagBreak::Blank, TagBreak::LineFeed}) {
        EXPECT_EQ(filtered(input, tagBreak), literallyFiltered(input, tagBreak))
            << marker << " at " << at;
      }
      EXPECT_EQ(brReplaced(input), literallyBrReplaced(input)) << marker << " at " << at;
      const std::string atEnd = std::string(at, 'x') + marker;
      EXPECT_EQ(filtered(atEnd), literallyFiltered(atEnd)) << marker << " ending at " << at;
      EXPECT_EQ(brReplaced(atEnd), literallyBrReplaced(atEnd)) << marker << " ending at " << at;
    }
  }
}

// Decoding writes over the text it reads, which holds only because no
// reference, named or numeric in its shortest spelling, decodes to more
// bytes than it takes: every one comes out whole, in both forms.
TEST(FilterHtml, EveryReferenceFitsWhereItStood) {
  std::vector<std::string> references;
  for (const auto& row : LatinEntityTable) references.push_back("&" + std::string(row.name) + ";");
  for (const auto& row : SpecialEntityTable)
    references.push_back("&" + std::string(row.name) + ";");
  for (const auto& row : SymbolEntityTable) references.push_back("&" + std::string(row.name) + ";");
  for (const ReferenceForm form : {ReferenceForm::SingleByte, ReferenceForm::Utf8}) {
    // From U+10000 on, a reference takes eight bytes or more and a
    // character four at most: the last one stands for them all.
    for (std::uint32_t code = 1; code <= 0x10FFFF; code = code == 0x10000 ? 0x10FFFF : code + 1) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "&#x%X;", static_cast<unsigned>(code));
      for (const std::string& reference : {"&#" + std::to_string(code) + ";", std::string(hex)}) {
        const CharacterReference read = readCharacterReference(reference);
        ASSERT_EQ(read.length, reference.size()) << reference;
        char buffer[4];
        const std::string_view decoded = referenceText(read.code, form, buffer);
        std::string text = "<" + reference + ">";
        filterHtml(text, TagBreak::Blank, form);
        ASSERT_EQ(text, "<" + std::string(decoded) + ">") << reference;
      }
    }
    for (const std::string& reference : references) {
      const CharacterReference read = readCharacterReference(reference);
      ASSERT_EQ(read.length, reference.size()) << reference;
      char buffer[4];
      const std::string_view decoded = referenceText(read.code, form, buffer);
      std::string text = reference;
      filterHtml(text, TagBreak::Blank, form);
      EXPECT_EQ(text, decoded) << reference;
    }
  }
}

TEST(ReplaceBr, ReplacesEveryBreakSpelling) {
  const std::vector<Case> cases = {
      {"between two words", "one<br>two", "one\ntwo"},
      {"two in a row", "a<br><br>b", "a\n\nb"},
      {"self-closing", "a<br />b<br/>c", "a\nb\nc"},
      {"capitals", "a<BR>b<Br />c", "a\nb\nc"},
      {"space before the sign", "a<br >b", "a\nb"},
      {"attributes", "a<br class=\"x\">b", "a\nb"},
      {"closing spelling", "a</br>b", "a\nb"},
      {"other names", "a<bra>b<b>c<brx/>d", "a<bra>b<b>c<brx/>d"},
      {"white space around kept", "a <br> \r\nb", "a \n \r\nb"},
      {"inside other brackets", "<<br>>", "<\n>"},
      {"break within a broken break", "<br<br>>", "<br\n>"},
      {"cut off", "text<br", "text<br"},
      {"no closing sign", "text<br />", "text\n"},
      {"empty text", "", ""},
      {"no breaks", "plain <p>text</p>", "plain <p>text</p>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(brReplaced(c.input), c.expected) << c.what << ": \"" << c.input << '"';
    EXPECT_EQ(literallyBrReplaced(c.input), c.expected) << "literal, " << c.what;
  }
}

TEST(TextCleanup, BreaksAndParagraphsInBothSettings) {
  const std::string input = "<p>one<br>two<br />three<BR>four<br/>five &amp; six</p><p>seven</p>";
  const struct {
    bool replace;
    bool filter;
    std::string expected;
  } settings[] = {
      {true, true, "one\ntwo\nthree\nfour\nfive & six\nseven"},
      {false, true, "one two three four five & six seven"},
      {true, false, "<p>one\ntwo\nthree\nfour\nfive &amp; six</p><p>seven</p>"},
      {false, false, input},
  };
  for (const auto& s : settings) {
    std::string fast = input;
    std::string literal = input;
    const TagBreak tagBreak = s.replace ? TagBreak::LineFeed : TagBreak::Blank;
    if (s.replace) {
      replaceBr(fast);
      literalReplaceBr(literal);
    }
    if (s.filter) {
      filterHtml(fast, tagBreak);
      literalFilterHtml(literal, tagBreak);
    }
    EXPECT_EQ(fast, s.expected) << "replaceBr " << s.replace << ", filterHtml " << s.filter;
    EXPECT_EQ(literal, s.expected) << "literal, replaceBr " << s.replace;
  }
}

}  // namespace
}  // namespace korvo
