#pragma once
// A feed of about 14 MiB whose parse lasts a while: items with HTML and
// character references to clean. For tests of what happens during a parse.
#include <string>

namespace korvo::test {

inline std::string largeFeed() {
  std::string body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Large</title>";
  const std::string description =
      "<description>&lt;p&gt;Some &lt;b&gt;bold&lt;/b&gt; text &amp;amp; an &lt;a "
      "href=\"http://example.com/\"&gt;anchor&lt;/a&gt;, &#233;t&#233; &amp;eacute; "
      "&lt;br/&gt;and a line&lt;br&gt;more&lt;/p&gt;</description>";
  for (int i = 0; body.size() < (14u << 20); ++i)
    body += "<item><title>Item " + std::to_string(i) + " &amp; more</title><link>http://example.com/" +
            std::to_string(i) + "</link>" + description + "</item>";
  return body + "</channel></rss>";
}

}  // namespace korvo::test
