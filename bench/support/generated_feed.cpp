#include "support/generated_feed.h"

namespace korvo::bench {
namespace {

const char* const kWords[] = {
    "minister", "said", "caf\xC3\xA9", "it\xE2\x80\x99s", "markets", "fell", "2\xE2\x80\x93" "3",
    "\xE2\x82\xAC" "5", "spring", "r\xC3\xA9sum\xC3\xA9", "&amp;amp;", "analysts", "na\xC3\xAFve",
    "report", "on", "Tuesday"};
constexpr unsigned kWordCount = sizeof kWords / sizeof kWords[0];

std::string words(unsigned seed, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += kWords[(seed * 7 + static_cast<unsigned>(i) * 5) % kWordCount];
  }
  return text;
}

std::string item(const std::string& title, unsigned n, const std::string& description) {
  const std::string link = "http://news.example.com/story/" + std::to_string(n);
  return "  <item>\n    <title>" + title + "</title>\n    <link>" + link +
         "</link>\n    <description>" + description +
         "</description>\n    <pubDate>Tue, 07 May 2024 09:00:00 GMT</pubDate>\n"
         "    <guid isPermaLink=\"true\">" + link + "</guid>\n  </item>\n";
}

std::string head(const std::string& channelTitle) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\n<channel>\n<title>" +
         channelTitle +
         "</title>\n<link>http://news.example.com/</link>\n<description>News</description>\n"
         "<language>en</language>\n";
}

constexpr const char* kTail = "</channel>\n</rss>\n";

}  // namespace

std::string rssDocument(const std::string& channelTitle, const std::vector<std::string>& titles) {
  std::string text = head(channelTitle);
  for (unsigned n = 0; n < titles.size(); ++n)
    text += item(titles[n], n, "Short text of story " + std::to_string(n) + ".");
  return text + kTail;
}

std::string largeFeed(std::size_t size) {
  std::string text = head(words(1, 3));
  const std::string tail = kTail;
  for (unsigned n = 0; text.size() + tail.size() < size; ++n) {
    const std::string description =
        "&lt;p&gt;" + words(n, 12) + " &lt;a href=&quot;http://example.com/a?id=" +
        std::to_string(n) + "&amp;amp;ref=rss&quot;&gt;" + words(n + 1, 4) +
        "&lt;/a&gt;&lt;br /&gt;" + words(n + 2, 20) + "&lt;/p&gt;";
    text += item(words(n, 6), n, description);
  }
  return text + tail;
}

std::string htmlHeavyFeed(std::size_t size) {
  std::string text = head(words(2, 3));
  const std::string tail = kTail;
  for (unsigned n = 0; text.size() + tail.size() < size; ++n) {
    const std::string link = "https://news.example.com/2024/05/" + std::to_string(n) +
                             "/story.html?utm_source=rss&amp;amp;utm_medium=feed";
    std::string html = "&lt;div class=&quot;entry&quot;&gt;&lt;p&gt;&lt;img src=&quot;"
                       "https://img.example.com/" + std::to_string(n) +
                       ".jpg&quot; width=&quot;640&quot; alt=&quot;&quot; /&gt;&lt;/p&gt;";
    for (unsigned p = 0; p < 4; ++p) {
      html += "&lt;p&gt;" + words(n + p, 14) + " &amp;mdash; &lt;a href=&quot;" + link +
              "&quot;&gt;" + words(n + p + 1, 3) + "&lt;/a&gt; &amp;ldquo;" + words(n + 2, 5) +
              "&amp;rdquo;&amp;nbsp;&amp;#8230;&lt;br /&gt;&lt;strong&gt;" + words(p, 2) +
              "&lt;/strong&gt;&lt;/p&gt;\n";
    }
    html += "&lt;p&gt;The post &lt;a rel=&quot;nofollow&quot; href=&quot;" + link +
            "&quot;&gt;" + words(n, 4) + "&lt;/a&gt; appeared first on &lt;a rel=&quot;"
            "nofollow&quot; href=&quot;https://news.example.com&quot;&gt;News&lt;/a&gt;."
            "&lt;/p&gt;&lt;/div&gt;";
    text += item(words(n, 6), n, html);
  }
  return text + tail;
}

const char* const kDialectNames[] = {"rss20", "rss10", "atom"};
const char* const kVariantNames[] = {"ascii", "latin1", "utf8", "cyrillic"};

namespace {

// Words of item texts in each variant: the ASCII one writes accents as
// references, Latin-1 as single bytes, UTF-8 as sequences, with quotes,
// dashes and signs outside Latin-1 that need a stand-in.
const char* const kVariantWords[4][12] = {
    {"caf&#233;", "r&#233;sum&#233;", "it&#8217;s", "2&#8211;3", "&#8364;5", "na&#239;ve",
     "minister", "said", "markets", "&amp;amp;", "fell", "spring"},
    {"caf\xE9", "r\xE9sum\xE9", "it's", "2-3", "\xA3" "5", "na\xEFve", "minister", "said",
     "markets", "&amp;amp;", "fell", "spring"},
    {"caf\xC3\xA9", "r\xC3\xA9sum\xC3\xA9", "it\xE2\x80\x99s", "2\xE2\x80\x93" "3",
     "\xE2\x82\xAC" "5", "na\xC3\xAFve", "minister\xE2\x80\xA6", "said", "markets", "&amp;amp;",
     "fell", "spring\xE2\x84\xA2"},
    // Russian news in UTF-8: Москва новости «рынки» — президент 2024 №5
    // сказал… ёж €10 &amp;amp; заявил
    {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
     "\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8",
     "\xC2\xAB\xD1\x80\xD1\x8B\xD0\xBD\xD0\xBA\xD0\xB8\xC2\xBB", "\xE2\x80\x94",
     "\xD0\xBF\xD1\x80\xD0\xB5\xD0\xB7\xD0\xB8\xD0\xB4\xD0\xB5\xD0\xBD\xD1\x82", "2024",
     "\xE2\x84\x96" "5", "\xD1\x81\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBB\xE2\x80\xA6",
     "\xD1\x91\xD0\xB6", "\xE2\x82\xAC" "10", "&amp;amp;",
     "\xD0\xB7\xD0\xB0\xD1\x8F\xD0\xB2\xD0\xB8\xD0\xBB"},
};

std::string variantWords(Variant variant, unsigned seed, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += kVariantWords[variant][(seed * 7 + static_cast<unsigned>(i) * 5) % 12];
  }
  return text;
}

// Escaped HTML as feeds carry it in descriptions.
std::string variantDescription(Variant variant, unsigned n) {
  return "&lt;p&gt;" + variantWords(variant, n, 12) +
         " &lt;a href=&quot;http://example.com/a?id=" + std::to_string(n) +
         "&amp;amp;ref=rss&quot;&gt;" + variantWords(variant, n + 1, 4) +
         "&lt;/a&gt;&lt;br /&gt;" + variantWords(variant, n + 2, 20) +
         "&lt;/p&gt;&lt;img src=&quot;http://example.com/i/" + std::to_string(n) +
         ".jpg&quot; /&gt;";
}

std::string variantItem(Dialect dialect, Variant variant, unsigned n) {
  const std::string link = "http://news.example.com/story/" + std::to_string(n);
  const std::string title = variantWords(variant, n, 6);
  switch (dialect) {
    case kRss:
      return "  <item>\n    <title>" + title + "</title>\n    <link>" + link +
             "</link>\n    <description>" + variantDescription(variant, n) +
             "</description>\n    <pubDate>Tue, 07 May 2024 09:00:00 GMT</pubDate>\n"
             "    <guid isPermaLink=\"true\">" + link + "</guid>\n"
             "    <category>World</category>\n  </item>\n";
    case kRdf:
      return "<item rdf:about=\"" + link + "\">\n  <title>" + title + "</title>\n  <link>" +
             link + "</link>\n  <description>" + variantDescription(variant, n) +
             "</description>\n  <dc:date>2024-05-07T09:00:00Z</dc:date>\n</item>\n";
    case kAtom:
      return "  <entry>\n    <title type=\"html\">" + title + "</title>\n    <link rel=\"alternate\" "
             "href=\"" + link + "\"/>\n    <id>" + link + "</id>\n    <summary type=\"html\">" +
             variantDescription(variant, n) +
             "</summary>\n    <published>2024-05-07T09:00:00Z</published>\n"
             "    <updated>2024-05-07T10:00:00Z</updated>\n  </entry>\n";
  }
  return "";
}

}  // namespace

std::string newsFeed(Dialect dialect, Variant variant, std::size_t size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"";
  text += variant == kLatin1 ? "ISO-8859-1" : "UTF-8";
  text += "\"?>\n";
  const std::string title = variantWords(variant, 1, 3);
  std::string end;
  switch (dialect) {
    case kRss:
      text += "<rss version=\"2.0\">\n<channel>\n<title>" + title +
              "</title>\n<link>http://news.example.com/</link>\n<description>" +
              variantWords(variant, 2, 8) + "</description>\n<language>en</language>\n";
      end = "</channel>\n</rss>\n";
      break;
    case kRdf:
      text += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
              "xmlns=\"http://purl.org/rss/1.0/\">\n<channel rdf:about=\"http://news.example.com/\">"
              "\n<title>" + title + "</title>\n<link>http://news.example.com/</link>\n"
              "<description>" + variantWords(variant, 2, 8) + "</description>\n</channel>\n";
      end = "</rdf:RDF>\n";
      break;
    case kAtom:
      text += "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n<title>" + title +
              "</title>\n<subtitle>" + variantWords(variant, 2, 8) +
              "</subtitle>\n<link rel=\"self\" href=\"http://news.example.com/atom.xml\"/>\n"
              "<updated>2024-05-07T10:00:00Z</updated>\n";
      end = "</feed>\n";
      break;
  }
  for (unsigned n = 0; text.size() + end.size() < size; ++n)
    text += variantItem(dialect, variant, n);
  return text + end;
}

std::string okAnswer(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace korvo::bench
