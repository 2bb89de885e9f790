// Children looked up by name in one walk must be the very nodes
// TiXmlNode::FirstChild finds, whatever kind of node bears the name.
#include "feed/element_children.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

namespace korvo {
namespace {

constexpr ChildNames kNames{"title",       "dc:title", "link",        "guid",
                            "pubDate",     "dc:date",  "description", "media:title",
                            "media:group", "a",        "item"};

TEST(ElementChildren, FindsWhatFirstChildFinds) {
  // Names of one length side by side (link, guid; pubDate, dc:date;
  // description, media:title, media:group), names that share first and
  // last bytes (dc:date, dc:dute, dc:data), a comment and a text whose values are
  // names in the set, repeated names, and names outside the set.
  TiXmlDocument document;
  document.Parse(
      "<item>some text<!--guid-->"
      "<dc:data>x</dc:data><guid>g</guid><link>l1</link><link>l2</link>"
      "<media:group><media:title>in group</media:title></media:group>"
      "<pubDate>p</pubDate><dc:dute>u</dc:dute><dc:date>d</dc:date><title/><title>t2</title>"
      "<media:title>m</media:title><category>c</category><item>i1</item>item<item/>"
      "</item>",
      nullptr, TIXML_ENCODING_LEGACY);
  ASSERT_FALSE(document.Error()) << document.ErrorDesc();
  const TiXmlElement& item = *document.RootElement();
  const ElementChildren children(item, kNames);
  for (const char* name : {"title", "dc:title", "link", "guid", "pubDate", "dc:date", "dc:dute",
                           "dc:data", "description", "media:title", "media:group", "category", "a",
                           "item", "some text", "missing", "titles", "Title"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(children.first(name), item.FirstChild(name));
    const TiXmlNode* node = item.FirstChild(name);
    EXPECT_EQ(children.element(name), node ? node->ToElement() : nullptr);
  }
  // The comment named guid comes first: no element is found by that name.
  EXPECT_EQ(children.element("guid"), nullptr);
  EXPECT_EQ(children.count("link"), 2u);
  EXPECT_EQ(children.count("item"), 3u);  // two elements and a text
  EXPECT_EQ(children.count("category"), 1u);
  EXPECT_EQ(children.count("missing"), 0u);
}

}  // namespace
}  // namespace korvo
