#include "feed/feed_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/limits.h"
#include "feed/feed_dialects.h"
#include "feed/xml_document.h"
#include "feed/xml_prescan.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

enum class Dialect { Rss, Rdf, Atom };

Feed feedFor(Dialect dialect) {
  Feed feed("http://example.com/feed");
  feed.isRdf = dialect == Dialect::Rdf;
  feed.isAtom = dialect == Dialect::Atom;
  return feed;
}

CleanupOptions settingsWith(bool filterHtml, bool replaceBr) {
  CleanupOptions settings;
  settings.FilterHtml = filterHtml;
  settings.ReplaceBr = replaceBr;
  return settings;
}

std::string fixture(const std::string& name) { return test::dataFile("feeds/" + name); }

void expectChannelEmpty(const Feed& feed) {
  const Channel& c = feed.channel;
  for (const std::string* text : {&c.title, &c.link, &c.description, &c.language, &c.copyright,
                                  &c.managingEditor, &c.rating, &c.lastBuildDate, &c.pubDate})
    EXPECT_EQ(*text, "");
  EXPECT_TRUE(c.items.empty());
}

TEST(FeedParserTest, Rss20FillsEveryChannelFieldAndItemsInOrder) {
  Feed feed = feedFor(Dialect::Rss);
  ASSERT_TRUE(parse(feed, fixture("rss20.xml"), CleanupOptions()));
  const Channel& c = feed.channel;
  EXPECT_EQ(c.title, "Korvo News");  // not the image's title
  EXPECT_EQ(c.link, "http://news.example.com/");
  EXPECT_EQ(c.description, "All the news & more");
  EXPECT_EQ(c.language, "en-gb");
  EXPECT_EQ(c.copyright, "2024 Example");
  EXPECT_EQ(c.managingEditor, "editor@example.com");
  EXPECT_EQ(c.rating, "PG");
  EXPECT_EQ(c.lastBuildDate, "Tue, 07 May 2024 09:00:00 GMT");
  EXPECT_EQ(c.pubDate, "Tue, 07 May 2024 08:00:00 GMT");
  ASSERT_EQ(c.items.size(), 3u);
  EXPECT_EQ(c.items[0].title, "First story");
  EXPECT_EQ(c.items[0].link, "http://news.example.com/1");
  EXPECT_EQ(c.items[0].description, "One");
  EXPECT_EQ(c.items[0].pubDate, "Mon, 06 May 2024 10:00:00 GMT");
  EXPECT_EQ(c.items[1].pubDate, "");
  EXPECT_EQ(c.items[2].title, "Third story");
  EXPECT_EQ(c.items[2].link, "");  // after an item with a link
  EXPECT_EQ(c.items[2].pubDate, "Sun, 05 May 2024 10:00:00 GMT");
  EXPECT_EQ(feed.errorText, "");
}

TEST(FeedParserTest, OlderRssVersionsAreReadAlike) {
  for (const char* name : {"rss091.xml", "rss092.xml"}) {
    SCOPED_TRACE(name);
    Feed feed = feedFor(Dialect::Rss);
    ASSERT_TRUE(parse(feed, fixture(name), CleanupOptions()));
    EXPECT_EQ(feed.channel.language, "de");
    ASSERT_EQ(feed.channel.items.size(), 1u);
    EXPECT_EQ(feed.channel.items[0].title, "Only item");
    EXPECT_EQ(feed.channel.items[0].pubDate, "");
  }
}

TEST(FeedParserTest, RssOfAnyOrNoVersionIsReadAsRss20) {
  const char* attributes[] = {"version=\"2.00\"", "version=\"2.0 \"", "version=\"1.0\"",
                              "version=\"\"", "VERSION=\"2.0\"", ""};
  for (const char* attribute : attributes) {
    SCOPED_TRACE(attribute);
    Feed feed = feedFor(Dialect::Rss);
    const std::string text = std::string("<rss ") + attribute +
                             "><channel><title>T</title><item><title>I</title></item>"
                             "</channel></rss>";
    ASSERT_TRUE(parse(feed, text, CleanupOptions()));
    EXPECT_EQ(feed.channel.title, "T");
    ASSERT_EQ(feed.channel.items.size(), 1u);
    EXPECT_EQ(feed.channel.items[0].title, "I");
  }
}

TEST(FeedParserTest, StructuralRefusals) {
  struct Case {
    Dialect dialect;
    const char* text;
  };
  const Case cases[] = {
      {Dialect::Rss, "<rdf:RDF><channel><title>T</title></channel></rdf:RDF>"},
      {Dialect::Rss, "<feed><title>T</title></feed>"},
      {Dialect::Rss, "<rss version=\"2.0\"><title>T</title></rss>"},
      {Dialect::Rss, "<rss version=\"2.0\">channel</rss>"},  // a text node named like it
      {Dialect::Rss, "<RSS version=\"2.0\"><channel/></RSS>"},
      {Dialect::Rss, "<?xml version=\"1.0\"?>"},
      {Dialect::Rdf, "<rss version=\"2.0\"><channel><title>T</title></channel></rss>"},
      {Dialect::Rdf, "<RDF><channel><title>T</title></channel></RDF>"},
      {Dialect::Rdf, "<rdf:RDF><item><title>I</title></item></rdf:RDF>"},
      {Dialect::Atom, "<rss version=\"2.0\"><channel><title>T</title></channel></rss>"},
      {Dialect::Atom, "<atom:feed><atom:title>T</atom:title></atom:feed>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Feed feed = feedFor(c.dialect);
    EXPECT_FALSE(parse(feed, c.text, CleanupOptions()));
    EXPECT_EQ(feed.errorText, "Invalid rss document.");
    expectChannelEmpty(feed);
  }
}

TEST(FeedParserTest, DialectUnderTheWrongFlagsIsRefused) {
  const struct {
    const char* name;
    Dialect wrong;
  } cases[] = {{"rss20.xml", Dialect::Rdf},
               {"rss20.xml", Dialect::Atom},
               {"rdf.xml", Dialect::Rss},
               {"rdf.xml", Dialect::Atom},
               {"atom.xml", Dialect::Rss},
               {"atom.xml", Dialect::Rdf}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Feed feed = feedFor(c.wrong);
    EXPECT_FALSE(parse(feed, fixture(c.name), CleanupOptions()));
    EXPECT_EQ(feed.errorText, "Invalid rss document.");
    expectChannelEmpty(feed);
  }
}

TEST(FeedParserTest, Rss10ReadsItemsBesideTheChannelAndDublinCore) {
  Feed feed = feedFor(Dialect::Rdf);
  ASSERT_TRUE(parse(feed, fixture("rdf.xml"), CleanupOptions()));
  const Channel& c = feed.channel;
  EXPECT_EQ(c.title, "RDF site");
  EXPECT_EQ(c.link, "http://rdf.example.com/");
  EXPECT_EQ(c.description, "RSS 1.0 feed");
  EXPECT_EQ(c.language, "fr");  // dc:language
  EXPECT_EQ(c.pubDate, "");      // no dc:date
  ASSERT_EQ(c.items.size(), 2u);  // not the item inside the channel
  EXPECT_EQ(c.items[0].title, "RDF one");
  EXPECT_EQ(c.items[0].link, "http://rdf.example.com/1");
  EXPECT_EQ(c.items[0].description, "First");
  EXPECT_EQ(c.items[0].pubDate, "2024-05-06T10:00:00Z");  // dc:date, not pubDate
  EXPECT_EQ(c.items[1].title, "RDF two");
  EXPECT_EQ(c.items[1].description, "");
}

TEST(FeedParserTest, AtomPrefersAlternateLinksAndFallsBack) {
  Feed feed = feedFor(Dialect::Atom);
  ASSERT_TRUE(parse(feed, fixture("atom.xml"), CleanupOptions()));
  const Channel& c = feed.channel;
  EXPECT_EQ(c.title, "Atom site");
  EXPECT_EQ(c.description, "Atom & friends");
  EXPECT_EQ(c.link, "http://atom.example.com/");  // alternate, not the self link before it
  EXPECT_EQ(c.lastBuildDate, "2024-05-07T09:00:00Z");
  EXPECT_EQ(c.pubDate, "");
  EXPECT_EQ(c.language, "");
  ASSERT_EQ(c.items.size(), 3u);
  EXPECT_EQ(c.items[0].link, "http://atom.example.com/1");
  EXPECT_EQ(c.items[0].description, "Summary one");
  EXPECT_EQ(c.items[0].pubDate, "2024-05-06T10:00:00Z");  // published before updated
  EXPECT_EQ(c.items[1].link, "http://atom.example.com/2");  // no rel is alternate
  EXPECT_EQ(c.items[1].description, "");
  EXPECT_EQ(c.items[1].pubDate, "2024-05-05T11:00:00Z");  // updated without published
  EXPECT_EQ(c.items[2].title, "Entry three");
  EXPECT_EQ(c.items[2].link, "http://atom.example.com/3");  // the first alternate has no href
  EXPECT_EQ(c.items[2].description, "Not a summary");  // content without summary
}

// The entry's link is the first alternate link (rel "alternate" or none)
// that has an address; without one, the first link that has one.
TEST(FeedParserTest, AtomLinkIsTheFirstWithAnAddress) {
  const struct {
    const char* links;
    const char* link;
  } cases[] = {
      {"<link rel='alternate'/><link rel='alternate' href='http://www.example.com/alternate'/>",
       "http://www.example.com/alternate"},
      {"<link rel='alternate' href=''/><link href='http://www.example.com/none'/>",
       "http://www.example.com/none"},
      {"<link rel='self' href='http://www.example.com/self'/><link/>"
       "<link rel='alternate' href='http://www.example.com/alternate'/>",
       "http://www.example.com/alternate"},
      {"<link rel='alternate'/><link rel='self' href='http://www.example.com/self'/>"
       "<link rel='edit' href='http://www.example.com/edit'/>",
       "http://www.example.com/self"},
      {"<link rel='alternate'/><link/>", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.links);
    Feed feed = feedFor(Dialect::Atom);
    ASSERT_TRUE(parse(feed,
                      std::string("<feed>") + c.links + "<entry>" + c.links + "</entry></feed>",
                      CleanupOptions()));
    EXPECT_EQ(feed.channel.link, c.link);
    ASSERT_EQ(feed.channel.items.size(), 1u);
    EXPECT_EQ(feed.channel.items[0].link, c.link);
  }
}

// A feed as Blogger writes it: self, edit and alternate links, relative
// addresses under xml:base, entries with content only, xhtml titles.
TEST(FeedParserTest, BloggerShapedAtomFeed) {
  Feed feed("http://blog.example.com/feeds/posts/default");
  feed.isAtom = true;
  ASSERT_TRUE(parse(feed, fixture("atom_blogger.xml"), settingsWith(true, true)));
  const Channel& c = feed.channel;
  EXPECT_EQ(c.title, "Kitchen notes");
  EXPECT_EQ(c.link, "http://blog.example.com/");
  EXPECT_EQ(c.copyright, "\xA9 2024 Ann");
  EXPECT_EQ(c.language, "en-GB");
  ASSERT_EQ(c.items.size(), 3u);
  EXPECT_EQ(c.items[0].title, "Salt & pepper; a history");
  EXPECT_EQ(c.items[0].link, "http://blog.example.com/2024/05/salt.html");
  EXPECT_EQ(c.items[0].description, "First line\nSecond line");
  EXPECT_EQ(c.items[0].pubDate, "2024-05-06T10:00:00Z");
  EXPECT_EQ(c.items[1].title, "Bold move");  // xhtml: the text, not "div"
  EXPECT_EQ(c.items[1].link, "http://static.example.com/posts/two.html");  // entry xml:base
  EXPECT_EQ(c.items[1].description, "Summary wins");
  EXPECT_EQ(c.items[2].link, "http://blog.example.com/edit/3");  // only an edit link
  EXPECT_EQ(c.items[2].title, "");
}

TEST(FeedParserTest, RssFallbacksAndRelativeLinks) {
  Feed feed("http://news.example.com/section/feed.xml");
  ASSERT_TRUE(parse(feed, fixture("rss_fallbacks.xml"), settingsWith(true, false)));
  const Channel& c = feed.channel;
  EXPECT_EQ(c.link, "http://news.example.com/");
  EXPECT_EQ(c.language, "de");          // dc:language
  EXPECT_EQ(c.copyright, "CC BY 4.0");  // dc:rights
  ASSERT_EQ(c.items.size(), 3u);
  EXPECT_EQ(c.items[0].link, "http://news.example.com/2024/post.html");
  EXPECT_EQ(c.items[0].pubDate, "2024-05-06T10:00:00Z");  // dc:date
  EXPECT_EQ(c.items[0].description, "Full text here");    // content:encoded
  EXPECT_EQ(c.items[1].link, "http://news.example.com/section/next.html");
  EXPECT_EQ(c.items[1].pubDate, "Mon, 06 May 2024 10:00:00 GMT");  // pubDate first
  EXPECT_EQ(c.items[1].description, "Short");  // description first
  EXPECT_EQ(c.items[2].link, "https://other.example.org/x?a=1&b=2");  // absolute stays
  EXPECT_EQ(c.items[2].description, "Hello world, bye");  // unescaped HTML in the XML
}

// HTML names that XML lacks, written straight into the document, and the
// UTF-8 that XML assumes without a declaration.
TEST(FeedParserTest, HtmlEntitiesInXmlTextAndUtf8ByDefault) {
  const std::string body =
      "<rss><channel><title>Caf\xC3\xA9&nbsp;&amp;&eacute;&hellip;&bull;&unknown;</title>"
      "<description><![CDATA[&nbsp;]]></description>"
      "<item><title a=\"&nbsp;\">x&rsquo;s</title><link>/?a=1&amp;b=2</link></item>"
      "</channel></rss>";
  const struct {
    bool filterUnicode;
    std::string title;
    std::string itemTitle;
  } cases[] = {
      {true, "Caf\xE9\xA0&\xE9...*&unknown;", "x's"},
      {false, "Caf\xC3\xA9\xC2\xA0&\xC3\xA9\xE2\x80\xA6\xE2\x80\xA2&unknown;",
       "x\xE2\x80\x99s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filterUnicode);
    Feed feed("http://example.com/feed");
    CleanupOptions settings = settingsWith(false, false);
    settings.FilterUnicode = c.filterUnicode;
    std::string text = body;
    ASSERT_TRUE(convertAndParse(feed, text, settings));
    EXPECT_EQ(feed.channel.title, c.title);
    EXPECT_EQ(feed.channel.description, "&nbsp;");  // CDATA is left alone
    ASSERT_EQ(feed.channel.items.size(), 1u);
    EXPECT_EQ(feed.channel.items[0].title, c.itemTitle);
    EXPECT_EQ(feed.channel.items[0].link, "http://example.com/?a=1&b=2");
  }
}

// TinyXML drops the "&" of a name it does not know and a bare "&", in
// text and in attribute values; each stays as written, in every reading
// and whether or not the HTML filter runs.
TEST(FeedParserTest, AmpersandsStayAsWritten) {
  const std::string rss =
      "<rss><channel><title>testing &doesnotexist; entity</title>"
      "<description>AT&T &amp Tom & Jerry &AMP; &#38; &</description>"
      "<item><title>a&b</title><link>/?a=1&b=2</link></item></channel></rss>";
  const std::string atom =
      "<feed><entry><title>&foo;</title><link href=\"/?a=1&b=2&amp;c=3&x;\"/></entry></feed>";
  for (int bits = 0; bits < 8; ++bits) {
    CleanupOptions settings = settingsWith(bits & 1, false);
    settings.FilterUnicode = bits & 2;
    if (bits & 4) settings.target = TargetCodePage{charset::kUtf8, false};
    SCOPED_TRACE(testing::Message() << "settings " << bits);
    Feed feed("http://example.com/feed");
    std::string text = rss;
    ASSERT_TRUE(convertAndParse(feed, text, settings));
    EXPECT_EQ(feed.channel.title, "testing &doesnotexist; entity");
    EXPECT_EQ(feed.channel.description, "AT&T &amp Tom & Jerry &AMP; & &");
    ASSERT_EQ(feed.channel.items.size(), 1u);
    EXPECT_EQ(feed.channel.items[0].title, "a&b");
    EXPECT_EQ(feed.channel.items[0].link, "http://example.com/?a=1&b=2");

    Feed atomFeed("http://example.com/feed");
    atomFeed.isAtom = true;
    text = atom;
    ASSERT_TRUE(convertAndParse(atomFeed, text, settings));
    ASSERT_EQ(atomFeed.channel.items.size(), 1u);
    EXPECT_EQ(atomFeed.channel.items[0].title, "&foo;");
    EXPECT_EQ(atomFeed.channel.items[0].link, "http://example.com/?a=1&b=2&c=3&x;");
  }
}

// Narrowed characters inside a tag can change the tree: typographic
// apostrophes become quotes that end and start attribute values. Such a
// document is walked again after the conversion; one whose only non-ASCII
// bytes are in text is not, and reads the same.
TEST(FeedParserTest, ConversionOutsideTextIsWalkedAgain) {
  std::string attributes = "v";
  for (int i = 0; i <= limits::kMaxXmlAttributes; ++i)
    attributes += "\xE2\x80\x99 a" + std::to_string(i) + "=\xE2\x80\x99v";
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel";
  CleanupOptions settings;
  settings.FilterUnicode = true;
  Feed feed("http://example.com/feed");
  std::string inTag = head + " x='" + attributes + "'><title>T</title></channel></rss>";
  EXPECT_FALSE(convertAndParse(feed, inTag, settings));
  EXPECT_EQ(feed.errorText, "Unable to parse document. Too many attributes.");

  std::string inText = head + "><title>" + attributes + "</title></channel></rss>";
  ASSERT_TRUE(convertAndParse(feed, inText, settings));
  EXPECT_EQ(feed.channel.title.substr(0, 9), "v' a0='v'");
}

TEST(FeedParserTest, TextIsTheContentCleanedAsSettingsSay) {
  struct Case {
    bool filterHtml;
    bool replaceBr;
    std::vector<std::string> descriptions;  // channel, then each item
  };
  const Case cases[] = {
      {true, true, {"Word", "Bold & more", "ainnerb", "first after", "one\ntwo\nthree", ""}},
      {false, false,
       {"<p>Word</p>", "<b>Bold</b> &amp; more", "a<b>inner</b>b", "<em>first</em> after",
        "one<br>two<br />three", ""}},
      {true, false, {"Word", "Bold & more", "ainnerb", "first after", "one two three", ""}},
      {false, true,
       {"<p>Word</p>", "<b>Bold</b> &amp; more", "a<b>inner</b>b", "<em>first</em> after",
        "one\ntwo\nthree", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "FilterHtml " << c.filterHtml << " ReplaceBr "
                                    << c.replaceBr);
    Feed feed = feedFor(Dialect::Rss);
    ASSERT_TRUE(parse(feed, fixture("rss_markup.xml"), settingsWith(c.filterHtml, c.replaceBr)));
    EXPECT_EQ(feed.channel.title, "Mark-up");  // "Title" is another element
    ASSERT_EQ(feed.channel.items.size(), 5u);  // not the item beside the channel
    std::vector<std::string> descriptions = {feed.channel.description};
    for (const FeedItem& item : feed.channel.items) descriptions.push_back(item.description);
    EXPECT_EQ(descriptions, c.descriptions);
    EXPECT_EQ(feed.channel.items[4].title, "");
  }
}

// HTML written straight into an element (inline XHTML) reads exactly as
// the same HTML with its mark-up escaped: tags as the document writes
// them, every text between them, white space included.
TEST(FeedParserTest, InlineMarkupReadsLikeItsEscapedForm) {
  const struct {
    const char* inlined;
    const char* escaped;
    const char* filtered;  // FilterHtml on (latin1 reading)
    const char* kept;      // FilterHtml off
  } cases[] = {
      {"a<b>x</b>b", "a&lt;b&gt;x&lt;/b&gt;b", "axb", "a<b>x</b>b"},
      {"H<sub>2</sub>O", "H&lt;sub&gt;2&lt;/sub&gt;O", "H2O", "H<sub>2</sub>O"},
      {"a<br/>b", "a&lt;br/&gt;b", "a\nb", "a\nb"},
      {"<p>one</p>\n  <p>two</p>", "&lt;p&gt;one&lt;/p&gt;\n  &lt;p&gt;two&lt;/p&gt;",
       "one\ntwo", "<p>one</p> <p>two</p>"},
      {"<a href=\"u\" title='t &amp; q'>x</a> <img src=\"i\" />",
       "&lt;a href=\"u\" title='t &amp;amp; q'&gt;x&lt;/a&gt; &lt;img src=\"i\" /&gt;", "x",
       "<a href=\"u\" title='t &amp; q'>x</a> <img src=\"i\" />"},
      {"<span>a</span>&#32;<span>b</span>", "&lt;span&gt;a&lt;/span&gt;&#32;&lt;span&gt;b&lt;/span&gt;",
       "a b", "<span>a</span> <span>b</span>"},
      {"<i>a</i> <i>b</i>", "&lt;i&gt;a&lt;/i&gt; &lt;i&gt;b&lt;/i&gt;", "a b", "<i>a</i> <i>b</i>"},
      {"  lead <b>b</b>  trail  ", "  lead &lt;b&gt;b&lt;/b&gt;  trail  ", "lead b trail",
       "lead <b>b</b> trail"},
      {"1 &lt; 2 <i>&amp;</i> &#60;x&#62; &quot;q&apos;",
       "1 &amp;lt; 2 &lt;i&gt;&amp;amp;&lt;/i&gt; &amp;lt;x&amp;gt; &quot;q&apos;",
       "1 < 2 & <x> \"q'", "1 &lt; 2 <i>&amp;</i> &lt;x&gt; \"q'"},
      {"<em>caf&#233;</em>&nbsp;", "&lt;em&gt;caf&#233;&lt;/em&gt;&nbsp;", "caf\xE9\xA0",
       "<em>caf\xE9</em>\xA0"},
      {"x <![CDATA[<b>y</b>]]> z", "x &lt;b&gt;y&lt;/b&gt; z", "x y z", "x <b>y</b> z"},
      {"<!-- note --> text", "&lt;!-- note --&gt; text", "text", "<!-- note --> text"},
      {"AT&T <b>x</b>", "AT&amp;amp;T &lt;b&gt;x&lt;/b&gt;", "AT&T x", "AT&amp;T <b>x</b>"},
  };
  for (const auto& c : cases) {
    for (int bits = 0; bits < 4; ++bits) {
      SCOPED_TRACE(testing::Message() << c.inlined << ", settings " << bits);
      const bool filterHtml = bits & 1;
      CleanupOptions settings = settingsWith(filterHtml, true);
      if (bits & 2) settings.target = TargetCodePage{charset::kUtf8, false};
      const auto read = [&](const char* description) {
        Feed feed = feedFor(Dialect::Rss);
        std::string text = std::string("<rss><channel><item><description>") + description +
                           "</description></item></channel></rss>";
        EXPECT_TRUE(convertAndParse(feed, text, settings)) << feed.errorText;
        return feed.channel.items.empty() ? std::string("no item")
                                          : feed.channel.items[0].description;
      };
      const std::string inlined = read(c.inlined);
      EXPECT_EQ(inlined, read(c.escaped));
      if (!(bits & 2)) {
        EXPECT_EQ(inlined, filterHtml ? c.filtered : c.kept);
      }
    }
  }
}

// Where the text shows no element that TinyXML's tree has (TinyXML's UTF-8
// reading skips a byte-order mark inside a tag, which the character-set
// step never leaves there), the content comes from the tree.
TEST(FeedParserTest, MarkupTheTextDoesNotShowComesFromTheTree) {
  const std::string text =
      "<rss><channel><title>a <\xEF\xBB\xBF" "b>x &amp; &lt;y</b> z</title></channel></rss>";
  const XmlDocument document(text, prescanXml(text), true);
  ASSERT_FALSE(document.failed()) << document.error();
  for (const bool filterHtml : {false, true}) {
    Feed feed = feedFor(Dialect::Rss);
    ASSERT_TRUE(readRss(feed, document, TextSteps{filterHtml, false, ReferenceForm::Utf8}));
    EXPECT_EQ(feed.channel.title, filterHtml ? "ax & <yz" : "a<b>x &amp; &lt;y</b>z");
  }
}

TEST(FeedParserTest, IllFormedDocumentGivesTinyXmlsDescription) {
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {fixture("rss_ill_formed.xml"), "Unable to parse document. Error reading end tag."},
      {"<rss version=\"2.0\"><channel><title>x</title>",
       "Unable to parse document. Error reading Element value."},
      {"<rss version=\"2.0\" version=\"2.0\"/>", "Unable to parse document. Error parsing Element."},
      {"<rss version=2.0\"/>", "Unable to parse document. Error reading Attributes."},
      {"", "Unable to parse document. Error document empty."},
      {"\xEF\xBB\xBF<rss version=\"2.0\"><channel/></rss>",
       "Unable to parse document. Error document empty."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Feed feed = feedFor(Dialect::Rss);
    ASSERT_TRUE(parse(feed, fixture("rss20.xml"), CleanupOptions()));
    EXPECT_FALSE(parse(feed, c.text, CleanupOptions()));
    EXPECT_EQ(feed.errorText, c.message);
    expectChannelEmpty(feed);
  }
}

TEST(FeedParserTest, OversizedDocumentIsRefusedBeforeTinyXml) {
  std::string deep = "<rss version=\"2.0\"><channel><title>T</title>";
  for (int i = 0; i < 5000; ++i) deep += "<x>";
  std::string wide = "<rss version=\"2.0\"><channel";
  for (int i = 0; i <= limits::kMaxXmlAttributes; ++i) wide += " a" + std::to_string(i) + "='1'";
  wide += "/></rss>";
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {deep, "Unable to parse document. Document nested too deeply."},
      {wide, "Unable to parse document. Too many attributes."},
  };
  for (const auto& c : cases) {
    Feed feed = feedFor(Dialect::Rss);
    ASSERT_TRUE(parse(feed, fixture("rss20.xml"), CleanupOptions()));
    EXPECT_FALSE(parse(feed, c.text, CleanupOptions()));
    EXPECT_EQ(feed.errorText, c.message);
    expectChannelEmpty(feed);
  }
}

TEST(FeedParserTest, DocumentEndsAtItsFirstZeroByte) {
  Feed feed = feedFor(Dialect::Rss);
  const std::string good = "<rss version=\"2.0\"><channel><title>T</title></channel></rss>";
  EXPECT_TRUE(parse(feed, good + std::string(1, '\0') + "<garbage", CleanupOptions()));
  EXPECT_EQ(feed.channel.title, "T");
  const std::string cut = "<rss version=\"2.0\"><channel><title>T" + std::string(1, '\0') +
                          "</title></channel></rss>";
  EXPECT_FALSE(parse(feed, cut, CleanupOptions()));
  EXPECT_EQ(feed.errorText, "Unable to parse document. Error reading Element value.");
}

TEST(FeedParserTest, MissingContentIsNoFailure) {
  Feed feed = feedFor(Dialect::Rss);
  feed.errorText = "left by someone else";
  ASSERT_TRUE(parse(feed, "<rss version=\"0.92\"><channel><item/><item><title/></item></channel></rss>",
                    CleanupOptions()));
  ASSERT_EQ(feed.channel.items.size(), 2u);
  EXPECT_EQ(feed.channel.items[1].title, "");
  EXPECT_EQ(feed.channel.title, "");
  EXPECT_EQ(feed.errorText, "left by someone else");  // the parser never clears it
}

}  // namespace
}  // namespace korvo
