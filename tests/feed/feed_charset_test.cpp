#include <gtest/gtest.h>
#include <tinyxml.h>

#include <random>
#include <string>
#include <vector>

#include "feed/charset_converter.h"
#include "feed/feed_parser.h"
#include "feed/html_entities.h"
#include "feed/xml_prescan.h"
#include "platform/text_conversion.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

std::string fixture(const std::string& name) { return test::dataFile("feeds/" + name); }

const char kUtf8Text[] = "<r>caf\xC3\xA9</r>";

struct CharsetCase {
  const char* name;
  std::string text;
  bool filterUnicode;
  std::string converted;  // the text afterwards
  std::string encoding;   // feed.encoding afterwards (it starts as "before")
};

TEST(FeedCharsetTest, DeclarationDecidesTheConversion) {
  const std::string utf8 = kUtf8Text;
  const std::string narrowed = "<r>caf\xE9</r>";
  std::string tooDeep = "<?xml version=\"1.0\"?>";
  for (int i = 0; i <= limits::kMaxXmlDepth; ++i) tooDeep += "<r>caf\xC3\xA9";
  const CharsetCase cases[] = {
      {"capitals", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + utf8, true,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + narrowed, "utf-8"},
      // The names the converter knows, in any of their spellings.
      {"no hyphen", "<?xml version=\"1.0\" encoding=\"utf8\"?>" + utf8, true,
       "<?xml version=\"1.0\" encoding=\"utf8\"?>" + narrowed, "utf8"},
      {"no hyphen, capitals", "<?xml version=\"1.0\" encoding=\"UTF8\"?>" + utf8, true,
       "<?xml version=\"1.0\" encoding=\"UTF8\"?>" + narrowed, "utf8"},
      {"latin2", "<?xml version='1.0' encoding='latin2'?><r>\xB1</r>", false,
       "<?xml version='1.0' encoding='latin2'?><r>a</r>", "latin2"},
      {"ISO_8859-2", "<?xml version='1.0' encoding='ISO_8859-2'?><r>\xB1</r>", true,
       "<?xml version='1.0' encoding='ISO_8859-2'?><r>a</r>", "iso_8859-2"},
      {"latin1 stays", "<?xml version='1.0' encoding='latin1'?>" + utf8, true,
       "<?xml version='1.0' encoding='latin1'?>" + utf8, "latin1"},
      {"cp1252 stays", "<?xml version='1.0' encoding='cp1252'?>" + utf8, true,
       "<?xml version='1.0' encoding='cp1252'?>" + utf8, "cp1252"},
      {"no declaration", utf8, true, narrowed, "before"},
      {"declaration not first", "<!-- c --><?xml version=\"1.0\"?>" + utf8, true,
       "<!-- c --><?xml version=\"1.0\"?>" + narrowed, "before"},
      {"no encoding named", "<?xml version=\"1.0\"?>" + utf8, true,
       "<?xml version=\"1.0\"?>" + narrowed, ""},
      {"filter off", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + utf8, false,
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + utf8, "utf-8"},
      {"latin-2 filter off", "<?xml version='1.0' encoding='Iso-8859-2'?><r>\xB1</r>", false,
       "<?xml version='1.0' encoding='Iso-8859-2'?><r>a</r>", "iso-8859-2"},
      {"latin-1", "<?xml version='1.0' encoding='ISO-8859-1'?>" + utf8, true,
       "<?xml version='1.0' encoding='ISO-8859-1'?>" + utf8, "iso-8859-1"},
      {"ill-formed", "<?xml version=\"1.0\"?><r>caf\xC3\xA9</x>", true,
       "<?xml version=\"1.0\"?><r>caf\xC3\xA9</x>", "before"},
      {"refused", tooDeep, true, tooDeep, "before"},
  };
  for (const CharsetCase& c : cases) {
    SCOPED_TRACE(c.name);
    Feed feed;
    feed.encoding = "before";
    std::string text = c.text;
    convertCharset(feed, text, c.filterUnicode);
    EXPECT_EQ(text, c.converted);
    EXPECT_EQ(feed.encoding, c.encoding);
  }
}

TEST(FeedCharsetTest, Utf8FeedKeepsItsAccentsNextToOtherCharacters) {
  Feed feed;
  std::string body = fixture("utf8_euro.xml");
  ASSERT_TRUE(convertAndParse(feed, body, CleanupOptions()));
  EXPECT_EQ(feed.encoding, "utf-8");
  EXPECT_EQ(feed.channel.title, "Caf\xE9 E 5");
  EXPECT_EQ(feed.channel.description, "\xE9t\xE9 - ''quoted'' ... Korvo(TM)");
  ASSERT_EQ(feed.channel.items.size(), 1u);
  EXPECT_EQ(feed.channel.items[0].title, "Cr\xE8me br\xFBl\xE9" "e");
  EXPECT_EQ(feed.channel.items[0].link, "http://example.com/caf\xE9");
}

TEST(FeedCharsetTest, Utf8FeedStaysUtf8WithoutTheFilter) {
  Feed feed;
  std::string body = fixture("utf8_euro.xml");
  CleanupOptions settings;
  settings.FilterUnicode = false;
  ASSERT_TRUE(convertAndParse(feed, body, settings));
  EXPECT_EQ(body, fixture("utf8_euro.xml"));
  EXPECT_EQ(feed.channel.title, "Caf\xC3\xA9 \xE2\x82\xAC 5");
}

TEST(FeedCharsetTest, MislabelledLatin1KeepsItsLetters) {
  Feed feed;
  std::string body = fixture("latin1_as_utf8.xml");
  ASSERT_TRUE(convertAndParse(feed, body, CleanupOptions()));
  EXPECT_EQ(body, fixture("latin1_as_utf8.xml"));
  EXPECT_EQ(feed.channel.title, "Caf\xE9 cr\xE8me");
}

TEST(FeedCharsetTest, Iso88592FeedGetsPlainLetters) {
  Feed feed;
  std::string body = fixture("iso8859_2.xml");
  CleanupOptions settings;
  settings.FilterUnicode = false;
  ASSERT_TRUE(convertAndParse(feed, body, settings));
  EXPECT_EQ(feed.encoding, "iso-8859-2");
  EXPECT_EQ(feed.channel.title, "Lodz i Krakow");
  EXPECT_EQ(feed.channel.description, "tab \xA0nbsp");  // the tab is leading white space
  EXPECT_EQ(feed.channel.link, "http://example.com/?q=a");
  ASSERT_EQ(feed.channel.items.size(), 1u);
  EXPECT_EQ(feed.channel.items[0].title, "Skoda");
  EXPECT_EQ(feed.channel.items[0].description, "\xB1\xE6");  // inside the CDATA mark-up
}

// The step as it reads when every document is parsed by TinyXML first.
void convertCharsetWithTree(Feed& feed, std::string& text, bool filterUnicode) {
  if (prescanXml(text) != XmlPrescanResult::Accepted) return;
  TiXmlDocument tree;
  tree.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  if (tree.Error()) return;
  const TiXmlNode* first = tree.FirstChild();
  const TiXmlDeclaration* declaration = first ? first->ToDeclaration() : nullptr;
  std::string encoding;
  if (declaration) {
    feed.encoding = declaration->Encoding();
    for (char& c : feed.encoding)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    encoding = feed.encoding;
  }
  bool utf8 = false;
  const unsigned codePage = encoding.empty() ? charset::kUtf8 : charset::codePageForName(encoding);
  if (codePage == charset::kUtf8) {
    if (filterUnicode)
      CharsetConverter().fromUtf8(text);
    else
      utf8 = true;
  } else if (codePage == 28592) {
    CharsetConverter().fromIso88592(text);
  }
  decodeHtmlEntities(text, utf8);
}

void expectSameFeed(const Feed& a, const Feed& b) {
  EXPECT_EQ(a.errorText, b.errorText);
  EXPECT_EQ(a.encoding, b.encoding);
  const Channel& x = a.channel;
  const Channel& y = b.channel;
  EXPECT_EQ(x.title, y.title);
  EXPECT_EQ(x.link, y.link);
  EXPECT_EQ(x.description, y.description);
  EXPECT_EQ(x.language, y.language);
  EXPECT_EQ(x.copyright, y.copyright);
  EXPECT_EQ(x.managingEditor, y.managingEditor);
  EXPECT_EQ(x.rating, y.rating);
  EXPECT_EQ(x.lastBuildDate, y.lastBuildDate);
  EXPECT_EQ(x.pubDate, y.pubDate);
  ASSERT_EQ(x.items.size(), y.items.size());
  for (std::size_t i = 0; i < x.items.size(); ++i) {
    EXPECT_EQ(x.items[i].title, y.items[i].title);
    EXPECT_EQ(x.items[i].link, y.items[i].link);
    EXPECT_EQ(x.items[i].description, y.items[i].description);
    EXPECT_EQ(x.items[i].pubDate, y.items[i].pubDate);
  }
}

// convertAndParse against the two steps run one after the other, and the
// character-set step against its reading with a full tree, under every
// dialect and every setting.
void expectOneStepLikeTwo(const std::string& document) {
  for (int flags = 0; flags < 3; ++flags) {
    for (int bits = 0; bits < 8; ++bits) {
      CleanupOptions settings;
      settings.FilterUnicode = bits & 1;
      settings.FilterHtml = bits & 2;
      settings.ReplaceBr = bits & 4;
      Feed together, apart, reference;
      for (Feed* feed : {&together, &apart, &reference}) {
        feed->isRdf = flags == 1;
        feed->isAtom = flags == 2;
        feed->encoding = "before";
      }
      std::string body1 = document, body2 = document, body3 = document;
      ReceivedDocument received;
      const bool ok1 = convertAndParse(together, body1, settings, {}, {}, &received);
      // The document as received is at hand afterwards, copied only when
      // the reading changed it.
      EXPECT_EQ(received.copied ? received.copy : body1, document);
      // The same reading converted and decoded apart: the same feed,
      // and the document as received at hand.
      Feed keeping;
      keeping.isRdf = flags == 1;
      keeping.isAtom = flags == 2;
      keeping.encoding = "before";
      std::string body4 = document;
      ReceivedDocument kept;
      kept.convertApart = true;
      EXPECT_EQ(convertAndParse(keeping, body4, settings, {}, {}, &kept), ok1);
      EXPECT_EQ(kept.copied ? kept.copy : body4, document);
      expectSameFeed(keeping, together);
      convertCharset(apart, body2, settings.FilterUnicode);
      const bool ok2 = parse(apart, body2, settings);
      convertCharsetWithTree(reference, body3, settings.FilterUnicode);
      const bool ok3 = parse(reference, body3, settings);
      SCOPED_TRACE(testing::Message() << "flags " << flags << " settings " << bits);
      EXPECT_EQ(ok1, ok2);
      EXPECT_EQ(ok1, ok3);
      EXPECT_EQ(body1, body2);
      EXPECT_EQ(body1, body3);
      expectSameFeed(together, apart);
      expectSameFeed(together, reference);
    }
  }
}

TEST(FeedCharsetTest, OneStepEqualsTwoOnEveryFixture) {
  for (const char* name :
       {"rss20.xml", "rss091.xml", "rss092.xml", "rdf.xml", "atom.xml", "rss_markup.xml",
        "rss_ill_formed.xml", "utf8_euro.xml", "latin1_as_utf8.xml", "iso8859_2.xml"}) {
    SCOPED_TRACE(name);
    expectOneStepLikeTwo(fixture(name));
  }
}

// UTF-8 that narrows to fewer bytes before, between and after references
// of every kind, in text and in attribute values.
const char kNarrowedAroundReferences[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel>"
    "<title>Caf\xC3\xA9 \xE2\x80\x94 &#8217;s &nbsp;news AT&T \xE2\x84\xA2</title>"
    "<link>http://news.test/?a=1&b=2</link><item>"
    "<title>\xE2\x84\xA2 &#x201C;q&#x201D; \xC5\x92 &eacute; \xF0\x9F\x98\x80&#233;</title>"
    "<link href=\"x?a=1&amp;b&c\">l\xC3\xA9&#8230;</link>"
    "<description>&lt;p&gt;\xD0\x96 &#8364; &bogus; &#233;\xE2\x80\xA6&amp;</description>"
    "</item></channel></rss>\n";

TEST(FeedCharsetTest, OneStepEqualsTwoWhereNarrowingMovesReferences) {
  expectOneStepLikeTwo(kNarrowedAroundReferences);
}

TEST(FeedCharsetTest, OneStepEqualsTwoOnDamagedDocuments) {
  const std::vector<std::string> sources = {fixture("utf8_euro.xml"), fixture("iso8859_2.xml"),
                                            fixture("rss_markup.xml"), kNarrowedAroundReferences};
  std::mt19937 random(42);
  for (int round = 0; round < 300; ++round) {
    std::string text = sources[round % sources.size()];
    for (unsigned damage = 1 + random() % 3; damage > 0; --damage) {
      const std::size_t at = random() % (text.size() + 1);
      const char c = "<>/&#;'\"=! -[]?\xC3\xA9\xB1\x80"[random() % 20];
      if (random() % 2 && at < text.size())
        text[at] = c;
      else
        text.insert(at, 1, c);
    }
    SCOPED_TRACE(testing::PrintToString(text));
    expectOneStepLikeTwo(text);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace korvo
