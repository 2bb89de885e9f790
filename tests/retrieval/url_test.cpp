#include "retrieval/url.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/host_name.h"

namespace korvo {
namespace {

struct SplitCase {
  const char* url;
  bool ok;
  bool secure = false;
  const char* host = "";
  int port = 0;
  const char* authority = "";
  const char* path = "";
};

const SplitCase kSplitCases[] = {
    {"http://example.com/feed.xml", true, false, "example.com", 80, "example.com:80", "/feed.xml"},
    {"http://example.com/", true, false, "example.com", 80, "example.com:80", "/"},
    {"http://example.com", true, false, "example.com", 80, "example.com:80", ""},
    {"http://example.com/a/b.xml?x=1&y=%20#top", true, false, "example.com", 80, "example.com:80",
     "/a/b.xml?x=1&y=%20#top"},
    {"http://Example.COM:8080/rss", true, false, "Example.COM", 8080, "Example.COM:8080", "/rss"},
    {"http://example.com:/rss", true, false, "example.com", 80, "example.com:80", "/rss"},
    {"https://example.com/x", true, true, "example.com", 443, "example.com:443", "/x"},
    {"https://example.com:8443/x", true, true, "example.com", 8443, "example.com:8443", "/x"},
    {"http://[::1]/rss", true, false, "::1", 80, "[::1]:80", "/rss"},
    {"https://[2001:db8::7]:8443/a", true, true, "2001:db8::7", 8443, "[2001:db8::7]:8443", "/a"},
    {"http://127.0.0.3/rss", true, false, "127.0.0.3", 80, "127.0.0.3:80", "/rss"},
    // A host whose text also occurs inside the scheme.
    {"http://http/feed.xml", true, false, "http", 80, "http:80", "/feed.xml"},
    // Refused: what can never be connected to.
    {"http://user:pw@example.com/rss", false},
    {"http://example.com:0/rss", false},
    {"http://example.com:65536/rss", false},
    {"http://example.com:8o/rss", false},
    {"http://example.com:123456/rss", false},
    {"http://::1/rss", false},
    {"http://[::1/rss", false},
    {"http://[::1]x/rss", false},
    {"http://[]/rss", false},
    {"http://[example.com]/rss", false},
    {"http:///rss", false},
    {"HTTP://example.com/x", false},
    {"ftp://example.com/x", false},
    {"example.com/feed.xml", false},
    {"", false},
};

TEST(UrlTest, SplitsAnAddress) {
  for (const auto& c : kSplitCases) {
    SCOPED_TRACE(c.url);
    FeedAddress a;
    ASSERT_EQ(parseAddress(c.url, a), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(a.secure, c.secure);
    EXPECT_EQ(a.host, c.host);
    EXPECT_EQ(a.port, c.port);
    EXPECT_EQ(a.authority, c.authority);
    EXPECT_EQ(a.path, c.path);
  }
}

struct ValidCase {
  const char* url;
  bool valid;
};

const ValidCase kValidCases[] = {
    {"http://a", false},   // 8 characters
    {"http://a/", true},   // 9 characters, "/" at index 8
    {"http://ab", false},  // 9 characters, no "/" after the scheme
    {"http://example.com", false},
    {"http://example.com/", true},
    {"http://example.com/rss.xml?a=b#c", true},
    {"http://example.com:8080/rss", true},
    {"https://a", false},
    {"https://a/", true},
    {"https://example.com/", true},
    {"https://[::1]:8443/rss", true},
    {"HTTP://example.com/", false},
    {"Http://example.com/", false},
    {"HTTPS://example.com/", false},
    {"ftp://example.com/", false},
    {" http://example.com/", false},
    {"example.com/feed.xml", false},
    {"http:/", false},
    {"", false},
};

TEST(UrlTest, DecidesWhichUrlsAreUsable) {
  for (const auto& c : kValidCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(isValidUrl(c.url), c.valid);
  }
}

TEST(UrlTest, ToleratesZeroBytes) {
  const std::string url("http://a\0b/c\0d", 14);
  FeedAddress a;
  ASSERT_TRUE(parseAddress(url, a));
  EXPECT_EQ(a.host, std::string("a\0b", 3));
  EXPECT_EQ(a.path, std::string("/c\0d", 4));
  EXPECT_FALSE(isLookupName(a.host));
  EXPECT_TRUE(isValidUrl(url));
}

struct LocationCase {
  const char* base;
  const char* location;
  const char* resolved;
};

const LocationCase kLocationCases[] = {
    {"http://a.test/feed.xml", "https://b.test/rss", "https://b.test/rss"},
    {"http://a.test/feed.xml", "HTTPS://b.test/rss", "https://b.test/rss"},
    {"http://a.test/feed.xml", "  http://b.test/rss\t", "http://b.test/rss"},
    {"https://a.test/feed.xml", "//b.test/rss", "https://b.test/rss"},
    {"http://a.test:8080/x/feed.xml", "/new.xml", "http://a.test:8080/new.xml"},
    {"http://a.test/x/feed.xml?q=1", "new.xml", "http://a.test/x/new.xml"},
    {"http://a.test/x/", "new.xml", "http://a.test/x/new.xml"},
    {"http://a.test", "new.xml", "http://a.test/new.xml"},
    {"http://a.test/x/feed.xml?q=1", "?q=2", "http://a.test/x/feed.xml?q=2"},
    {"https://[::1]:8443/feed", "/b", "https://[::1]:8443/b"},
    {"http://a.test/feed.xml", "ftp://b.test/rss", ""},
    {"http://a.test/feed.xml", "javascript:alert(1)", ""},
    {"http://a.test/feed.xml", "", ""},
    {"http://a.test/feed.xml", "   ", ""},
};

TEST(UrlTest, ResolvesARedirectTarget) {
  for (const auto& c : kLocationCases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.location);
    EXPECT_EQ(resolveLocation(c.base, c.location), c.resolved);
  }
}

struct NameCase {
  const char* host;
  bool lookUp;
};

const NameCase kNameCases[] = {
    {"example.com", true},  {"a-b_c.d", true},     {"127.0.0.1", true},
    {"::1", true},          {"2001:db8::7", true}, {"::ffff:127.0.0.1", true},
    {"", false},            {".a", false},         {"a..b", false},
    {"a b", false},         {"a:80", false},       {"[::1]", false},
    {"user@a", false},      {"a/b", false},
};

TEST(UrlTest, OnlyNamesThatCanResolveAreLookedUp) {
  for (const auto& c : kNameCases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(isLookupName(c.host), c.lookUp);
  }
}

}  // namespace
}  // namespace korvo
