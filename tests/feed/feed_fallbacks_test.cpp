// The elements read when a dialect's usual element is missing or empty:
// other vocabularies (Dublin Core, iTunes, Media RSS, XHTML), Atom 0.3,
// Atom texts in base64 or XHTML, and an RSS guid as the link.
#include <gtest/gtest.h>

#include <string>

#include "feed/feed_parser.h"

namespace korvo {
namespace {

enum class Dialect { Rss, Rdf, Atom };

enum class Field {
  Title,
  Description,
  Copyright,
  ManagingEditor,
  LastBuildDate,
  PubDate,
  ItemTitle,
  ItemLink,
  ItemDescription,
  ItemPubDate
};

const std::string& fieldOf(const Channel& c, Field field) {
  static const std::string kNoItem = "(no item)";
  const FeedItem* item = c.items.empty() ? nullptr : &c.items[0];
  switch (field) {
    case Field::Title: return c.title;
    case Field::Description: return c.description;
    case Field::Copyright: return c.copyright;
    case Field::ManagingEditor: return c.managingEditor;
    case Field::LastBuildDate: return c.lastBuildDate;
    case Field::PubDate: return c.pubDate;
    case Field::ItemTitle: return item ? item->title : kNoItem;
    case Field::ItemLink: return item ? item->link : kNoItem;
    case Field::ItemDescription: return item ? item->description : kNoItem;
    case Field::ItemPubDate: return item ? item->pubDate : kNoItem;
  }
  return kNoItem;
}

// A document of the dialect with channel elements and one item's.
std::string documentOf(Dialect dialect, const std::string& channel, const std::string& item) {
  switch (dialect) {
    case Dialect::Rss:
      return "<rss version=\"2.0\"><channel>" + channel + "<item>" + item +
             "</item></channel></rss>";
    case Dialect::Rdf:
      return "<rdf:RDF><channel>" + channel + "</channel><item>" + item + "</item></rdf:RDF>";
    case Dialect::Atom:
      return "<feed>" + channel + "<entry>" + item + "</entry></feed>";
  }
  return {};
}

struct Case {
  Dialect dialect;
  Field field;
  const char* channel;
  const char* item;
  const char* expected;
};

void expectRead(const Case& c, const CleanupOptions& settings = CleanupOptions()) {
  SCOPED_TRACE(testing::Message() << "dialect " << static_cast<int>(c.dialect) << ": "
                                  << c.channel << " | " << c.item);
  Feed feed("http://example.com/news/feed.xml");
  feed.isRdf = c.dialect == Dialect::Rdf;
  feed.isAtom = c.dialect == Dialect::Atom;
  std::string body = documentOf(c.dialect, c.channel, c.item);
  ASSERT_TRUE(convertAndParse(feed, body, settings)) << feed.errorText;
  EXPECT_EQ(fieldOf(feed.channel, c.field), c.expected);
}

TEST(FeedFallbacksTest, RssReadsOtherVocabulariesWhenItsOwnElementIsMissing) {
  const Case cases[] = {
      {Dialect::Rss, Field::Title, "<dc:title>DC</dc:title>", "", "DC"},
      {Dialect::Rss, Field::Title, "<title>T</title><dc:title>DC</dc:title>", "", "T"},
      {Dialect::Rss, Field::Title, "<title></title><dc:title>DC</dc:title>", "", "DC"},
      {Dialect::Rss, Field::Title, "<title><![CDATA[<p></p>]]></title><dc:title>DC</dc:title>",
       "", "DC"},
      {Dialect::Rss, Field::Description, "<dc:description>DC</dc:description>", "", "DC"},
      {Dialect::Rss, Field::Description, "<itunes:summary>S</itunes:summary>", "", "S"},
      {Dialect::Rss, Field::Description,
       "<itunes:summary>S</itunes:summary><itunes:subtitle>Sub</itunes:subtitle>", "", "Sub"},
      {Dialect::Rss, Field::Description,
       "<itunes:subtitle>Sub</itunes:subtitle><dc:description>DC</dc:description>", "", "DC"},
      {Dialect::Rss, Field::Description,
       "<description>D</description><itunes:subtitle>Sub</itunes:subtitle>", "", "D"},
      {Dialect::Rss, Field::ManagingEditor, "<dc:publisher>Pub</dc:publisher>", "", "Pub"},
      {Dialect::Rss, Field::ManagingEditor, "<webMaster>web@example.com</webMaster>", "",
       "web@example.com"},
      {Dialect::Rss, Field::ManagingEditor,
       "<webMaster>web@example.com</webMaster><dc:publisher>Pub</dc:publisher>", "", "Pub"},
      {Dialect::Rss, Field::ManagingEditor,
       "<managingEditor>ed@example.com</managingEditor><dc:publisher>Pub</dc:publisher>", "",
       "ed@example.com"},
      {Dialect::Rss, Field::LastBuildDate, "<dcterms:modified>2024-05-07</dcterms:modified>", "",
       "2024-05-07"},
      {Dialect::Rss, Field::LastBuildDate,
       "<lastBuildDate>Tue, 07 May 2024</lastBuildDate><dcterms:modified>x</dcterms:modified>",
       "", "Tue, 07 May 2024"},
      {Dialect::Rss, Field::PubDate, "<dcterms:issued>2024-05-01</dcterms:issued>", "",
       "2024-05-01"},
      {Dialect::Rss, Field::PubDate,
       "<dcterms:issued>2024-05-01</dcterms:issued><dc:date>2024-05-02</dc:date>", "",
       "2024-05-02"},
      {Dialect::Rss, Field::ItemTitle, "", "<dc:title>DC</dc:title>", "DC"},
      {Dialect::Rss, Field::ItemTitle, "", "<media:title>M</media:title>", "M"},
      {Dialect::Rss, Field::ItemTitle, "", "<media:group><media:title>G</media:title></media:group>",
       "G"},
      {Dialect::Rss, Field::ItemTitle, "",
       "<media:group><media:title>G</media:title></media:group><media:title>M</media:title>", "M"},
      {Dialect::Rss, Field::ItemTitle, "", "<title>T</title><media:title>M</media:title>", "T"},
      {Dialect::Rss, Field::ItemDescription, "", "<xhtml:body><p>X <b>b</b></p></xhtml:body>",
       "X b"},
      {Dialect::Rss, Field::ItemDescription, "",
       "<xhtml:body>X</xhtml:body><content:encoded>C</content:encoded>", "C"},
      {Dialect::Rss, Field::ItemDescription, "",
       "<dc:description>DC</dc:description><xhtml:body>X</xhtml:body>", "X"},
      {Dialect::Rss, Field::ItemDescription, "",
       "<itunes:subtitle>Sub</itunes:subtitle><dc:description>DC</dc:description>", "DC"},
      {Dialect::Rss, Field::ItemDescription, "",
       "<itunes:subtitle>Sub</itunes:subtitle><itunes:summary>S</itunes:summary>", "S"},
      {Dialect::Rss, Field::ItemDescription, "",
       "<media:description>M</media:description><itunes:subtitle>Sub</itunes:subtitle>", "Sub"},
      {Dialect::Rss, Field::ItemDescription, "",
       "<media:group><media:description>G</media:description></media:group>", "G"},
      {Dialect::Rss, Field::ItemDescription, "",
       "<description>D</description><media:description>M</media:description>", "D"},
      {Dialect::Rss, Field::ItemPubDate, "", "<dcterms:modified>M</dcterms:modified>", "M"},
      {Dialect::Rss, Field::ItemPubDate, "",
       "<dcterms:modified>M</dcterms:modified><dcterms:issued>I</dcterms:issued>", "I"},
      {Dialect::Rss, Field::ItemPubDate, "",
       "<dcterms:issued>I</dcterms:issued><dc:date>D</dc:date><pubDate>P</pubDate>", "P"},
  };
  for (const Case& c : cases) expectRead(c);
}

// RSS 2.0 says a guid is the item's permanent address unless its
// isPermaLink is "false"; it is the link only when the item has none.
TEST(FeedFallbacksTest, RssGuidIsTheLinkWhenItIsAPermalink) {
  const Case cases[] = {
      {Dialect::Rss, Field::ItemLink, "", "<guid>http://example.com/a</guid>",
       "http://example.com/a"},
      {Dialect::Rss, Field::ItemLink, "", "<guid isPermaLink=\"true\">/b</guid>",
       "http://example.com/b"},
      {Dialect::Rss, Field::ItemLink, "", "<guid isPermaLink=\"false\">http://example.com/c</guid>",
       ""},
      {Dialect::Rss, Field::ItemLink, "", "<guid isPermaLink=\"no\">http://example.com/c</guid>", ""},
      {Dialect::Rss, Field::ItemLink, "",
       "<link>http://example.com/l</link><guid>http://example.com/g</guid>",
       "http://example.com/l"},
      {Dialect::Rss, Field::ItemLink, "", "<link></link><guid>http://example.com/g</guid>",
       "http://example.com/g"},
      {Dialect::Rdf, Field::ItemLink, "", "<guid>http://example.com/g</guid>", ""},
  };
  for (const Case& c : cases) expectRead(c);
}

TEST(FeedFallbacksTest, RdfReadsDublinCoreAndOtherVocabularies) {
  const Case cases[] = {
      {Dialect::Rdf, Field::Title, "<dc:title>DC</dc:title>", "", "DC"},
      {Dialect::Rdf, Field::Title, "<title>T</title><dc:title>DC</dc:title>", "", "T"},
      {Dialect::Rdf, Field::Description, "<dc:description>DC</dc:description>", "", "DC"},
      {Dialect::Rdf, Field::ManagingEditor, "<dc:publisher>Pub</dc:publisher>", "", "Pub"},
      {Dialect::Rdf, Field::LastBuildDate, "<dcterms:modified>M</dcterms:modified>", "", "M"},
      {Dialect::Rdf, Field::PubDate, "<dcterms:issued>I</dcterms:issued>", "", "I"},
      {Dialect::Rdf, Field::PubDate, "<dcterms:issued>I</dcterms:issued><dc:date>D</dc:date>",
       "", "D"},
      {Dialect::Rdf, Field::ItemTitle, "", "<dc:title>DC</dc:title>", "DC"},
      {Dialect::Rdf, Field::ItemDescription, "", "<dc:description>DC</dc:description>", "DC"},
      {Dialect::Rdf, Field::ItemDescription, "", "<xhtml:body>X</xhtml:body>", "X"},
      {Dialect::Rdf, Field::ItemPubDate, "", "<dcterms:issued>I</dcterms:issued>", "I"},
      {Dialect::Rdf, Field::ItemPubDate, "",
       "<dcterms:issued>I</dcterms:issued><dc:date>D</dc:date>", "D"},
  };
  for (const Case& c : cases) expectRead(c);
}

TEST(FeedFallbacksTest, AtomReadsAtom03AndMediaElements) {
  const Case cases[] = {
      {Dialect::Atom, Field::Description, "<tagline>Tag</tagline>", "", "Tag"},
      {Dialect::Atom, Field::Description, "<subtitle>Sub</subtitle><tagline>Tag</tagline>", "",
       "Sub"},
      {Dialect::Atom, Field::Description, "<info>About</info>", "", "About"},
      {Dialect::Atom, Field::Description, "<info>About</info><tagline>Tag</tagline>", "", "Tag"},
      {Dialect::Atom, Field::Copyright, "<copyright>C</copyright>", "", "C"},
      {Dialect::Atom, Field::Copyright, "<rights>R</rights><copyright>C</copyright>", "", "R"},
      {Dialect::Atom, Field::LastBuildDate, "<modified>M</modified>", "", "M"},
      {Dialect::Atom, Field::LastBuildDate, "<modified>M</modified><updated>U</updated>", "",
       "U"},
      {Dialect::Atom, Field::ItemPubDate, "", "<issued>I</issued>", "I"},
      {Dialect::Atom, Field::ItemPubDate, "", "<created>C</created>", "C"},
      {Dialect::Atom, Field::ItemPubDate, "", "<modified>M</modified>", "M"},
      {Dialect::Atom, Field::ItemPubDate, "",
       "<modified>M</modified><created>C</created><issued>I</issued>", "I"},
      {Dialect::Atom, Field::ItemPubDate, "", "<modified>M</modified><created>C</created>", "C"},
      {Dialect::Atom, Field::ItemPubDate, "", "<issued>I</issued><updated>U</updated>", "U"},
      {Dialect::Atom, Field::ItemTitle, "", "<media:title>M</media:title>", "M"},
      {Dialect::Atom, Field::ItemTitle, "",
       "<media:group><media:title>G</media:title></media:group>", "G"},
      {Dialect::Atom, Field::ItemTitle, "", "<title>T</title><media:title>M</media:title>", "T"},
      {Dialect::Atom, Field::ItemDescription, "",
       "<media:group><media:description>G</media:description></media:group>", "G"},
      {Dialect::Atom, Field::ItemDescription, "",
       "<content>C</content><media:description>M</media:description>", "C"},
      // Elements of other dialects are not read.
      {Dialect::Atom, Field::Title, "<dc:title>DC</dc:title>", "", ""},
      {Dialect::Atom, Field::ManagingEditor, "<dc:publisher>P</dc:publisher>", "", ""},
  };
  for (const Case& c : cases) expectRead(c);
}

// Atom 0.3's mode="base64": "<p>Caf\u00e9 &amp; more</p>" in UTF-8 and
// "Plain" as base64; a text that is not base64 counts as missing.
TEST(FeedFallbacksTest, AtomBase64TextsAreDecodedBeforeTheCleanup) {
  const Case cases[] = {
      {Dialect::Atom, Field::Title, "<title mode=\"base64\">UGxhaW4=</title>", "", "Plain"},
      {Dialect::Atom, Field::Title, "<title mode=\"base64\">UGxh\n  aW4</title>", "", "Plain"},
      {Dialect::Atom, Field::ItemDescription, "",
       "<summary mode=\"base64\" type=\"text/html\">PHA+Q2Fmw6kgJmFtcDsgbW9yZTwvcD4=</summary>",
       "Caf\xE9 & more"},
      {Dialect::Atom, Field::ItemDescription, "",
       "<content mode=\"base64\"><![CDATA[PHA+Q2Fmw6kgJmFtcDsgbW9yZTwvcD4=]]></content>",
       "Caf\xE9 & more"},
      {Dialect::Atom, Field::ItemDescription, "",
       "<summary mode=\"base64\">not base64!</summary><content>C</content>", "C"},
      {Dialect::Atom, Field::ItemTitle, "", "<title mode=\"base64\">not base64!</title>", ""},
      // Bytes that are no text (a zero byte): missing too.
      {Dialect::Atom, Field::ItemDescription, "",
       "<summary mode=\"base64\">AAE=</summary><content>C</content>", "C"},
      // Another mode is the text as written.
      {Dialect::Atom, Field::ItemTitle, "", "<title mode=\"escaped\">UGxhaW4=</title>",
       "UGxhaW4="},
  };
  for (const Case& c : cases) expectRead(c);
}

// In the Unicode reading the decoded UTF-8 goes to the target as the
// document's other texts do; bytes that are no UTF-8 are windows-1252.
TEST(FeedFallbacksTest, AtomBase64TextsTakeTheDocumentsCharacters) {
  CleanupOptions utf8;
  utf8.target = TargetCodePage{charset::kUtf8, false};
  expectRead({Dialect::Atom, Field::ItemTitle, "", "<title mode=\"base64\">Q2Fmw6k=</title>",
              "Caf\xC3\xA9"},
             utf8);
  expectRead({Dialect::Atom, Field::ItemTitle, "", "<title mode=\"base64\">Q2Fm6Q==</title>",
              "Caf\xC3\xA9"},
             utf8);
  CleanupOptions asReceived;
  asReceived.FilterUnicode = false;
  expectRead({Dialect::Atom, Field::ItemTitle, "", "<title mode=\"base64\">Q2Fmw6k=</title>",
              "Caf\xC3\xA9"},
             asReceived);
}

// type="xhtml" wraps the text in a div, which is no part of it.
TEST(FeedFallbacksTest, AtomXhtmlTextsLoseTheirDivWrapper) {
  CleanupOptions kept;
  kept.FilterHtml = false;
  const Case cases[] = {
      {Dialect::Atom, Field::Title,
       "<title type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">A <b>b</b></div></title>",
       "", "A <b>b</b>"},
      {Dialect::Atom, Field::ItemTitle, "",
       "<title type=\"xhtml\">\n  <xhtml:div>Plain</xhtml:div>\n</title>", "Plain"},
      {Dialect::Atom, Field::ItemDescription, "",
       "<summary type=\"xhtml\"><!-- c --><div><p>One</p><p>Two</p></div></summary>",
       "<p>One</p><p>Two</p>"},
      {Dialect::Atom, Field::ItemDescription, "",
       "<summary type=\"xhtml\"><div></div></summary><content>C</content>", "C"},
      // Not a lone div: the content as it is.
      {Dialect::Atom, Field::ItemTitle, "", "<title type=\"xhtml\"><div>a</div>b</title>",
       "<div>a</div>b"},
      {Dialect::Atom, Field::ItemTitle, "", "<title type=\"xhtml\"><span>a</span></title>",
       "<span>a</span>"},
      {Dialect::Atom, Field::ItemTitle, "", "<title type=\"html\"><div>a</div></title>",
       "<div>a</div>"},
  };
  for (const Case& c : cases) expectRead(c, kept);
  expectRead({Dialect::Atom, Field::ItemDescription, "",
              "<summary type=\"xhtml\"><div><p>One</p><p>Two</p></div></summary>", "One\nTwo"});
}

}  // namespace
}  // namespace korvo
