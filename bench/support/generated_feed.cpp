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

std::string okAnswer(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace korvo::bench
