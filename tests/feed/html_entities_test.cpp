#include "feed/html_entities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "feed/prescan_oracle.h"
#include "feed/xml_prescan.h"

namespace korvo {
namespace {

TEST(DecodeHtmlEntities, NamesInElementTextOnly) {
  const struct {
    const char* what;
    std::string document;
    std::string singleByte;
    std::string utf8;
  } cases[] = {
      {"Latin-1 names", "<r>a&nbsp;b&eacute;</r>", "<r>a\xA0" "b\xE9</r>",
       "<r>a\xC2\xA0" "b\xC3\xA9</r>"},
      {"beyond Latin-1", "<r>&hellip;&rsquo;&bull;&rArr;</r>", "<r>...'*</r>",
       "<r>\xE2\x80\xA6\xE2\x80\x99\xE2\x80\xA2\xE2\x87\x92</r>"},
      {"XML's own names and numbers below 0x80", "<r>&amp;&lt;&gt;&quot;&apos;&#38;&#x3C;&#65;</r>",
       "<r>&amp;&lt;&gt;&quot;&apos;&#38;&#x3C;&#65;</r>",
       "<r>&amp;&lt;&gt;&quot;&apos;&#38;&#x3C;&#65;</r>"},
      // TinyXML would keep only the low byte of these.
      // TinyXML gives the byte of a number below 0x100 itself.
      {"numbers from 0x80", "<r>&#160;&#xA0;&#8217;&#x41F;&#128512;</r>", "<r>&#160;&#xA0;'</r>",
       "<r>\xC2\xA0\xC2\xA0\xE2\x80\x99\xD0\x9F\xF0\x9F\x98\x80</r>"},
      // Browsers read 128 to 159 as windows-1252.
      {"numbers from 128 to 159", "<r>&#146;&#x96;&#129;</r>", "<r>'-&#129;</r>",
       "<r>\xE2\x80\x99\xE2\x80\x93\xC2\x81</r>"},
      {"numbers that are no character", "<r>a&#xD800;b&#1114112;c&#99999999999;d</r>",
       "<r>abcd</r>", "<r>abcd</r>"},
      // TinyXML would drop the "&" of these: written "&amp;", it stays.
      {"unknown and unfinished", "<r>&foo; &nbsp &NBSP; AT&T &</r>",
       "<r>&amp;foo; &amp;nbsp &amp;NBSP; AT&amp;T &amp;</r>",
       "<r>&amp;foo; &amp;nbsp &amp;NBSP; AT&amp;T &amp;</r>"},
      {"attributes keep their names and numbers",
       "<r a=\"&nbsp;&#65;&amp;\" b='x>&nbsp;'>&nbsp;</r>",
       "<r a=\"&amp;nbsp;&#65;&amp;\" b='x>&amp;nbsp;'>\xA0</r>",
       "<r a=\"&amp;nbsp;&#65;&amp;\" b='x>&amp;nbsp;'>\xC2\xA0</r>"},
      {"not in the declaration", "<?xml version='1&x'?><r/>", "<?xml version='1&x'?><r/>",
       "<?xml version='1&x'?><r/>"},
      {"CDATA, comments, instructions",
       "<r><![CDATA[&nbsp;]]><!-- &nbsp; --><?p &nbsp; ?></r>",
       "<r><![CDATA[&nbsp;]]><!-- &nbsp; --><?p &nbsp; ?></r>",
       "<r><![CDATA[&nbsp;]]><!-- &nbsp; --><?p &nbsp; ?></r>"},
      {"unfinished mark-up", "<r>&nbsp;<!-- &nbsp;", "<r>\xA0<!-- &nbsp;", "<r>\xC2\xA0<!-- &nbsp;"},
      {"no references", "<r>plain</r>", "<r>plain</r>", "<r>plain</r>"},
  };
  for (const auto& c : cases) {
    std::string single = c.document, utf8 = c.document;
    decodeHtmlEntities(single, false);
    decodeHtmlEntities(utf8, true);
    EXPECT_EQ(single, c.singleByte) << c.what;
    EXPECT_EQ(utf8, c.utf8) << c.what;
  }
}

// Numbers at the edges of what is read in one go: seven digits and more,
// leading zeros, past the last code point, windows-1252's, at the very end
// of the document.
TEST(DecodeHtmlEntities, NumbersOfEveryLength) {
  const struct {
    std::string document;
    std::string singleByte;
    std::string utf8;
  } cases[] = {
      {"<r>&#0000233;&#00000233;</r>", "<r>&#0000233;&#00000233;</r>", "<r>\xC3\xA9\xC3\xA9</r>"},
      {"<r>&#1114111;&#01114111;</r>", "<r></r>", "<r>\xF4\x8F\xBF\xBF\xF4\x8F\xBF\xBF</r>"},
      {"<r>&#1114112;&#9999999;&#99999999999;</r>", "<r></r>", "<r></r>"},
      {"<r>&#8217;&#150;&#x2019;</r>", "<r>'-'</r>",
       "<r>\xE2\x80\x99\xE2\x80\x93\xE2\x80\x99</r>"},
      {"<r>&#8217;", "<r>'", "<r>\xE2\x80\x99"},
      {"<r>a&#8217;</r", "<r>a'</r", "<r>a\xE2\x80\x99</r"},
      {"<r>&#8217</r>", "<r>&#8217</r>", "<r>&#8217</r>"},
  };
  for (const auto& c : cases) {
    std::string single = c.document, utf8 = c.document;
    decodeHtmlEntities(single, false);
    decodeHtmlEntities(utf8, true);
    EXPECT_EQ(single, c.singleByte) << c.document;
    EXPECT_EQ(utf8, c.utf8) << c.document;
  }
}

// The decoding gives, byte for byte, what the plain decoding it replaces
// gave, for the references the pre-scan notes in random documents and for
// positions that hold no reference at all.
TEST(DecodeHtmlEntities, DecodesAsThePlainDecoding) {
  const std::vector<std::string> pieces = {
      "&#233;", "&#8217;", "&#128512;", "&#1114111;", "&#0000065;", "&#65;", "&#150;", "&#129;",
      "&#x41F;", "&#xD800;", "&#;", "&#12a;", "&#", "&nbsp;", "&hellip;", "&rArr;", "&eacute;",
      "&amp;", "&lt;", "&ampx;", "&foo;", "& ", "&", "text ", "\xC3\xA9", "<a>", "</a>",
      "<c x=\"&nbsp;&#65;&amp;\" y='&x'>", "</c>", "<br/>", "<!-- &nbsp; -->"};
  std::mt19937 random(20251213);
  for (int round = 0; round < 5000; ++round) {
    std::string text = "<r>";
    for (unsigned n = 1 + random() % 40; n > 0; --n) text += pieces[random() % pieces.size()];
    text += random() % 4 ? "</r>" : "";
    XmlShape shape;
    prescanXml(text, XmlLimits(), &shape);
    if (round % 5 == 0) {
      // Positions the text moved away from, still in order.
      for (std::size_t& at : shape.references) at += random() % 3;
      std::sort(shape.references.begin(), shape.references.end());
      shape.references.push_back(text.size() + 1);
    }
    for (const bool utf8 : {false, true}) {
      std::string fast = text, plain = text;
      decodeReferencesAt(fast, shape, utf8);
      test::oracleDecode(plain, shape, utf8);
      ASSERT_EQ(fast, plain) << testing::PrintToString(text) << " utf8 " << utf8;
      // Decoded into a buffer of its own: the same text, or false when
      // nothing changed.
      DocumentBuffer apart;
      const bool changed = decodeReferencesApart(text, shape, utf8, apart);
      ASSERT_EQ(changed ? std::string(apart.text()) : text, plain)
          << testing::PrintToString(text) << " utf8 " << utf8;
      if (changed) {
        ASSERT_EQ(apart.data()[apart.size()], '\0');
      }
    }
  }
}

}  // namespace
}  // namespace korvo
