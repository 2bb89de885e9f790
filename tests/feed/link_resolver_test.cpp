#include "feed/link_resolver.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

TEST(ResolveLink, RelativeReferencesAgainstABase) {
  const char* base = "http://a.example/b/c/d;p?q#f";
  const struct {
    const char* link;
    const char* expected;
  } cases[] = {
      // The normal examples of RFC 3986, 5.4.1.
      {"g", "http://a.example/b/c/g"},
      {"./g", "http://a.example/b/c/g"},
      {"g/", "http://a.example/b/c/g/"},
      {"/g", "http://a.example/g"},
      {"//g", "http://g"},
      {"?y", "http://a.example/b/c/d;p?y"},
      {"g?y", "http://a.example/b/c/g?y"},
      {"#s", "http://a.example/b/c/d;p?q#s"},
      {"g#s", "http://a.example/b/c/g#s"},
      {".", "http://a.example/b/c/"},
      {"..", "http://a.example/b/"},
      {"../g", "http://a.example/b/g"},
      {"../../g", "http://a.example/g"},
      {"../../../g", "http://a.example/g"},
      {"/./g", "http://a.example/g"},
      {"g/../h", "http://a.example/b/c/h"},
      // Whole addresses and nothing stay as they are.
      {"https://other.example/x", "https://other.example/x"},
      {"mailto:someone@example.com", "mailto:someone@example.com"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(resolveLink(base, c.link), c.expected) << c.link;
}

TEST(ResolveLink, BasesOfOtherShapes) {
  EXPECT_EQ(resolveLink("http://news.example", "2024/post.html"),
            "http://news.example/2024/post.html");
  EXPECT_EQ(resolveLink("http://news.example?x=1", "/p"), "http://news.example/p");
  EXPECT_EQ(resolveLink("http://news.example/feed/", "../p"), "http://news.example/p");
  // A base without a scheme cannot resolve anything.
  EXPECT_EQ(resolveLink("news.example/feed", "/p"), "/p");
  EXPECT_EQ(resolveLink("", "/p"), "/p");
}

}  // namespace
}  // namespace korvo
