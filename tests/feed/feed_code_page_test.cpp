// A document in its charset to texts in the target code page: the charset
// is found, the text converted, references decoded and stand-ins used the
// same way whatever the document's charset and the target.
#include <gtest/gtest.h>

#include <string>

#include "feed/feed_parser.h"

namespace korvo {
namespace {

const TargetCodePage kLatin1Mode{};
const TargetCodePage kUtf8{charset::kUtf8, false};
TargetCodePage page(unsigned number) { return TargetCodePage{number, false}; }

// An RSS document with the given declaration (none when empty) whose
// channel title and first item title are both title.
std::string rss(const std::string& encoding, const std::string& title) {
  std::string head = encoding.empty() ? "" : "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>";
  return head + "<rss version=\"2.0\"><channel><title>" + title +
         "</title><link>http://example.com/</link><item><title>" + title +
         "</title></item></channel></rss>";
}

// ASCII text with a UTF-16LE part spliced in where "@" stands.
std::string utf16le(const std::string& ascii, const std::string& part) {
  std::string out;
  for (char c : ascii) {
    if (c == '@') {
      out += part;
    } else {
      out += c;
      out += '\0';
    }
  }
  return out;
}

// The same in UTF-16BE.
std::string utf16be(const std::string& ascii, const std::string& part) {
  std::string out;
  for (char c : ascii) {
    if (c == '@') {
      out += part;
    } else {
      out += '\0';
      out += c;
    }
  }
  return out;
}

// Swaps the two bytes of each UTF-16 unit.
std::string swapped(std::string units) {
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) std::swap(units[i], units[i + 1]);
  return units;
}

const char kUtf16Rss[] =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?><rss><channel><title>@</title><item><title>@"
    "</title></item></channel></rss>";

struct CodePageCase {
  const char* what;
  std::string body;
  std::string httpCharset;
  TargetCodePage target;
  std::string title;  // channel and item title afterwards
  bool filterUnicode = true;
};

void expectTitles(const CodePageCase& c) {
  SCOPED_TRACE(c.what);
  // Also converted and decoded apart from the document.
  for (const bool convertApart : {false, true}) {
    SCOPED_TRACE(convertApart ? "converted apart" : "converted in place");
    Feed feed("http://example.com/feed");
    CleanupOptions options;
    options.target = c.target;
    options.FilterUnicode = c.filterUnicode;
    std::string body = c.body;
    ReceivedDocument received;
    received.convertApart = convertApart;
    ASSERT_TRUE(convertAndParse(feed, body, options, c.httpCharset, {}, &received))
        << feed.errorText;
    // The document as received is at hand afterwards, copied only when the
    // reading changed it.
    EXPECT_EQ(received.copied ? received.copy : body, c.body);
    EXPECT_EQ(feed.channel.title, c.title);
    ASSERT_EQ(feed.channel.items.size(), 1u);
    EXPECT_EQ(feed.channel.items[0].title, c.title);
  }
}

const char kLodzIso[] = "\xA3\xF3\x64\xBC";  // Łódź in ISO-8859-2
const char kNewsCp1251[] = "\xCD\xEE\xE2\xEE\xF1\xF2\xE8";  // Новости
const char kNewsKoi8[] = "\xEE\xCF\xD7\xCF\xD3\xD4\xC9";
const char kNewsUtf8[] = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8";
const std::string kNewsUtf16(
    "\x1D\x04\x3E\x04\x32\x04\x3E\x04\x41\x04\x42\x04\x38\x04", 14);
const char kNewsSjis[] = "\x83\x6A\x83\x85\x81\x5B\x83\x58";  // ニュース
const char kNewsJaUtf8[] = "\xE3\x83\x8B\xE3\x83\xA5\xE3\x83\xBC\xE3\x82\xB9";
const char kNewsElUtf8[] =  // Ειδήσεις
    "\xCE\x95\xCE\xB9\xCE\xB4\xCE\xAE\xCF\x83\xCE\xB5\xCE\xB9\xCF\x82";
const char kNewsCp1253[] = "\xC5\xE9\xE4\xDE\xF3\xE5\xE9\xF2";

TEST(FeedCodePageTest, EachScriptInItsCodePage) {
  const CodePageCase cases[] = {
      {"Polish ISO-8859-2 on 1250", rss("ISO-8859-2", kLodzIso), "", page(1250),
       "\xA3\xF3\x64\x9F"},
      {"Polish ISO-8859-2 on 1252: letters 1252 lacks lose their accent", rss("ISO-8859-2", kLodzIso),
       "", page(1252), "L\xF3" "dz"},
      {"Polish ISO-8859-2 in UTF-8", rss("iso-8859-2", kLodzIso), "", kUtf8,
       "\xC5\x81\xC3\xB3\x64\xC5\xBA"},
      {"Russian windows-1251 on 1251", rss("windows-1251", kNewsCp1251), "", page(1251),
       kNewsCp1251},
      {"Russian windows-1251 in UTF-8", rss("cp1251", kNewsCp1251), "", kUtf8, kNewsUtf8},
      {"Russian KOI8-R on 1251", rss("KOI8-R", kNewsKoi8), "", page(1251), kNewsCp1251},
      {"Russian UTF-8 on KOI8-R", rss("utf-8", kNewsUtf8), "", page(20866), kNewsKoi8},
      {"Russian on 1252: no letter has a stand-in", rss("utf-8", std::string("A ") + kNewsUtf8),
       "", page(1252), "A "},
      {"Japanese Shift_JIS on 932", rss("Shift_JIS", kNewsSjis), "", page(932), kNewsSjis},
      {"Japanese x-sjis in UTF-8", rss("x-sjis", kNewsSjis), "", kUtf8, kNewsJaUtf8},
      {"Japanese UTF-8 on 932", rss("", kNewsJaUtf8), "", page(932), kNewsSjis},
      {"Greek UTF-8 on 1253", rss("UTF-8", kNewsElUtf8), "", page(1253), kNewsCp1253},
      {"emoji on 1252: only the emoji goes", rss("utf-8", "caf\xC3\xA9 \xF0\x9F\x98\x80!"), "",
       page(1252), "caf\xE9 !"},
      {"emoji in UTF-8 stays", rss("utf-8", "\xF0\x9F\x98\x80"), "", kUtf8, "\xF0\x9F\x98\x80"},
  };
  for (const CodePageCase& c : cases) expectTitles(c);
}

TEST(FeedCodePageTest, CharsetComesFromMarkThenDeclarationThenHeader) {
  const CodePageCase cases[] = {
      {"Content-Type charset without a declaration", rss("", kNewsKoi8), "koi8-r", kUtf8,
       kNewsUtf8},
      {"the declaration beats Content-Type", rss("windows-1251", kNewsCp1251), "koi8-r", kUtf8,
       kNewsUtf8},
      {"neither: UTF-8", rss("", kNewsUtf8), "", page(1251), kNewsCp1251},
      {"UTF-8 mark, declaration says otherwise", "\xEF\xBB\xBF" + rss("windows-1251", kNewsUtf8),
       "koi8-r", page(1251), kNewsCp1251},
      {"UTF-16LE mark",
       "\xFF\xFE" + utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><rss><channel><title>@"
                            "</title><item><title>@</title></item></channel></rss>",
                            kNewsUtf16),
       "", page(1251), kNewsCp1251},
      {"UTF-16BE mark", "\xFE\xFF" + utf16be(kUtf16Rss, swapped(kNewsUtf16)), "", page(1251),
       kNewsCp1251},
      {"UTF-16LE named by Content-Type alone", utf16le(kUtf16Rss, kNewsUtf16),
       "UTF-16LE", page(1251), kNewsCp1251},
      {"UTF-16BE named by Content-Type alone", utf16be(kUtf16Rss, swapped(kNewsUtf16)),
       "utf-16be", kUtf8, kNewsUtf8},
      {"UTF-16 named by Content-Type: the bytes tell the order",
       utf16be(kUtf16Rss, swapped(kNewsUtf16)), "utf-16", page(1251), kNewsCp1251},
      {"UTF-16LE without a mark or a name: XML's own detection", utf16le(kUtf16Rss, kNewsUtf16),
       "", page(1251), kNewsCp1251},
      {"Content-Type says UTF-16, the bytes are not", rss("", kNewsUtf8), "utf-16le", page(1251),
       kNewsCp1251},
      {"UTF-16 named without a mark: the bytes are read as UTF-8", rss("UTF-16", kNewsUtf8), "",
       page(1251), kNewsCp1251},
      {"unknown name, well-formed UTF-8", rss("x-klingon", kNewsUtf8), "", page(1251),
       kNewsCp1251},
      {"unknown name, not UTF-8: windows-1252", rss("x-klingon", "\x93quoted\x94 caf\xE9"), "",
       kUtf8, "\xE2\x80\x9Cquoted\xE2\x80\x9D caf\xC3\xA9"},
      {"UTF-8 with stray windows-1252 bytes", rss("utf-8", "caf\xE9 \xE2\x82\xAC 5 \x80"), "",
       kUtf8, "caf\xC3\xA9 \xE2\x82\xAC 5 \xE2\x82\xAC"},
      {"US-ASCII is read as windows-1252", rss("us-ascii", "\x93x\x94"), "", page(1252),
       "\x93x\x94"},
  };
  for (const CodePageCase& c : cases) expectTitles(c);
}

TEST(FeedCodePageTest, ReferencesBecomeTheCharacterInTheTarget) {
  const CodePageCase cases[] = {
      {"&#8217; on 1252", rss("", "it&#8217;s"), "", page(1252), "it\x92s"},
      {"&#8217; in UTF-8", rss("", "it&#8217;s"), "", kUtf8, "it\xE2\x80\x99s"},
      {"&#x41F; and a name on 1251", rss("", "&#x41F;&#1088;&mdash;&laquo;"), "", page(1251),
       "\xCF\xF0\x97\xAB"},
      {"escaped HTML with references", rss("", "&lt;b&gt;x&amp;#8217;s&lt;/b&gt;&amp;nbsp;"), "",
       kUtf8, "x\xE2\x80\x99s\xC2\xA0"},
      {"a reference beyond the target gets its stand-in", rss("", "&#8230;&#8364;&#x141;"), "",
       page(28595), "...EURL"},
      {"numbers that are no character leave nothing", rss("", "a&#xD800;b&#1114112;c"), "",
       kUtf8, "abc"},
      // 128 to 159 are read as windows-1252, as browsers read them.
      {"&#146; in UTF-8", rss("", "don&#146;t"), "", kUtf8, "don\xE2\x80\x99t"},
      {"&#146; on 1252", rss("", "don&#146;t &#x80;"), "", page(1252), "don\x92t \x80"},
      {"&#150; on 1251", rss("", "a &#150; b"), "", page(1251), "a \x96 b"},
      {"escaped &#147; in UTF-8", rss("", "&amp;#147;q&amp;#148;"), "", kUtf8,
       "\xE2\x80\x9Cq\xE2\x80\x9D"},
      {"an undefined one stays its code", rss("", "a&#129;b"), "", kUtf8, "a\xC2\x81" "b"},
  };
  for (const CodePageCase& c : cases) expectTitles(c);
}

TEST(FeedCodePageTest, Latin1ModeKeepsItsBytesAndMendsWhatItDropped) {
  const CodePageCase cases[] = {
      {"Polish UTF-8: stand-ins instead of dropped letters",
       rss("utf-8", "Wiadomo\xC5\x9B" "ci z \xC5\x81odzi"), "", kLatin1Mode,
       "Wiadomosci z Lodzi"},
      {"euro keeps its old result", rss("", "5 \xE2\x82\xAC"), "", kLatin1Mode, "5 E"},
      {"Latin-1 letters stay bytes", rss("", "caf\xC3\xA9"), "", kLatin1Mode, "caf\xE9"},
      {"utf8 without its hyphen", rss("utf8", "caf\xC3\xA9"), "", kLatin1Mode, "caf\xE9"},
      {"UTF8 in capitals", rss("UTF8", "caf\xC3\xA9 \xC5\x81"), "", kLatin1Mode, "caf\xE9 L"},
      {"latin2 is ISO-8859-2", rss("latin2", kLodzIso), "", kLatin1Mode, "Lodz"},
      {"ISO-8859-2 sharp s stays sharp s", rss("iso-8859-2", "Stra\xDF" "e \xB3"), "",
       kLatin1Mode, "Stra\xDF" "e l"},
      {"a number above 0xFF is no truncated byte", rss("", "it&#8217;s &#x41F;!"), "",
       kLatin1Mode, "it's !"},
      {"128 to 159 are windows-1252 characters", rss("", "don&#146;t &#150; &amp;#147;"), "",
       kLatin1Mode, "don't - ''"},
      {"a UTF-8 mark no longer fails the parse", "\xEF\xBB\xBF" + rss("utf-8", "caf\xC3\xA9"),
       "", kLatin1Mode, "caf\xE9"},
      {"UTF-16LE mark", "\xFF\xFE" + utf16le(kUtf16Rss, std::string("\xE9\0\x19\x20", 4)), "",
       kLatin1Mode, "\xE9'"},
      {"UTF-16BE mark", "\xFE\xFF" + utf16be(kUtf16Rss, std::string("\0\xE9\x20\x19", 4)), "",
       kLatin1Mode, "\xE9'"},
      {"UTF-16LE named by Content-Type alone",
       utf16le(kUtf16Rss, std::string("\xE9\0\x19\x20", 4)), "utf-16le", kLatin1Mode, "\xE9'"},
      {"other declared charsets stay as received", rss("windows-1251", kNewsCp1251), "",
       kLatin1Mode, kNewsCp1251},
  };
  for (const CodePageCase& c : cases) expectTitles(c);
}

TEST(FeedCodePageTest, WithoutTheFilterBytesStayAsReceivedAndReferencesFollowThem) {
  const CodePageCase cases[] = {
      {"UTF-8 document: references in UTF-8 too",
       rss("utf-8", "caf\xC3\xA9 &eacute;&#233;&#8217;&lt;b&gt;&amp;eacute;&lt;/b&gt;"), "",
       page(1251), "caf\xC3\xA9 \xC3\xA9\xC3\xA9\xE2\x80\x99\xC3\xA9", false},
      {"the same in latin1 mode", rss("", "&eacute;&#8217;&lt;i&gt;&amp;#233;&lt;/i&gt;"), "",
       kLatin1Mode, "\xC3\xA9\xE2\x80\x99\xC3\xA9", false},
      {"128 to 159 as windows-1252 in UTF-8", rss("utf-8", "don&#146;t&amp;#x96;"), "",
       kLatin1Mode, "don\xE2\x80\x99t\xE2\x80\x93", false},
      {"windows-1251 document stays windows-1251", rss("windows-1251", kNewsCp1251), "", kUtf8,
       kNewsCp1251, false},
      {"utf8 without its hyphen: references in UTF-8", rss("utf8", "caf\xC3\xA9&eacute;"), "",
       kLatin1Mode, "caf\xC3\xA9\xC3\xA9", false},
  };
  for (const CodePageCase& c : cases) expectTitles(c);
}

TEST(FeedCodePageTest, MultiByteTargetsKeepTheirCharactersThroughTheCleanup) {
  // Shift_JIS trail bytes include "@", "[", "\" and letters: the HTML
  // filter and the line-break step work on UTF-8 before the target is
  // written, so none of them is taken for mark-up or white space.
  const std::string sjisWithAsciiTrails = "\x83\x40\x81\x5B\x95\x5C\x83\x5D";  // ァー表ゾ
  const std::string utf8 = "\xE3\x82\xA1\xE3\x83\xBC\xE8\xA1\xA8\xE3\x82\xBE";
  const CodePageCase cases[] = {
      {"escaped mark-up between characters on 932",
       rss("Shift_JIS", "&lt;p&gt;" + sjisWithAsciiTrails + "&lt;br/&gt;" + sjisWithAsciiTrails +
                            "&lt;/p&gt;"),
       "", page(932), sjisWithAsciiTrails + "\n" + sjisWithAsciiTrails},
      {"the same in UTF-8", rss("Shift_JIS", sjisWithAsciiTrails + "&lt;br&gt;"), "", kUtf8,
       utf8 + "\n"},
  };
  for (const CodePageCase& c : cases) expectTitles(c);
}

TEST(FeedCodePageTest, RelativeLinksResolveAgainstTheAddressAfterRedirects) {
  Feed feed("http://old.example.com/feed");
  feed.documentUrl = "https://new.example.com/news/feed.xml";
  std::string body =
      "<rss><channel><title>t</title><link>/</link><item><link>story/1</link></item>"
      "</channel></rss>";
  CleanupOptions options;
  options.target = kUtf8;
  ASSERT_TRUE(convertAndParse(feed, body, options));
  EXPECT_EQ(feed.channel.link, "https://new.example.com/");
  ASSERT_EQ(feed.channel.items.size(), 1u);
  EXPECT_EQ(feed.channel.items[0].link, "https://new.example.com/news/story/1");
}

}  // namespace
}  // namespace korvo
