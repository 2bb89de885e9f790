#include "feed/html_entities.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace korvo
