#include "retrieval/url.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

struct SplitCase {
  const char* url;
  const char* host;
  const char* path;
};

const SplitCase kSplitCases[] = {
    {"http://example.com/feed.xml", "example.com", "/feed.xml"},
    {"http://example.com/", "example.com", "/"},
    {"http://example.com", "example.com", ""},
    {"http://example.com/a/b.xml?x=1&y=%20#top", "example.com", "/a/b.xml?x=1&y=%20#top"},
    {"http://example.com:8080/rss", "example.com:8080", "/rss"},
    {"http://user:pw@Example.COM/rss", "user:pw@Example.COM", "/rss"},
    {"example.com/feed.xml", "example.com", "/feed.xml"},
    {"example.com", "example.com", ""},
    {"HTTP://example.com/x", "HTTP:", "//example.com/x"},
    {"https://example.com/x", "https:", "//example.com/x"},
    {"/x", "", "/x"},
    {"", "", ""},
    // A host whose text also occurs inside the scheme: the path still
    // starts where the host ends.
    {"http://http/feed.xml", "http", "/feed.xml"},
    {"http://h/rss", "h", "/rss"},
    {"http://t/", "t", "/"},
};

TEST(UrlTest, SplitsHostAndPath) {
  for (const auto& c : kSplitCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(hostOf(c.url), c.host);
    EXPECT_EQ(pathOf(c.url), c.path);
  }
}

TEST(UrlTest, HostAndPathRebuildAnAbsoluteUrl) {
  for (const auto& c : kSplitCases) {
    const std::string url = c.url;
    if (url.rfind("http://", 0) != 0) continue;
    EXPECT_EQ("http://" + hostOf(url) + pathOf(url), url);
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
    {"HTTP://example.com/", false},
    {"Http://example.com/", false},
    {"https://example.com/", false},
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
  EXPECT_EQ(hostOf(url), std::string("a\0b", 3));
  EXPECT_EQ(pathOf(url), std::string("/c\0d", 4));
  EXPECT_TRUE(isValidUrl(url));
}

}  // namespace
}  // namespace korvo
