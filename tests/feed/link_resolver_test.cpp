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

// A link that needs no base comes back as it is from any base; one that
// needs one changes against a base with a scheme.
TEST(ResolveLink, WhichLinksNeedABase) {
  const struct {
    const char* link;
    bool needsBase;
  } cases[] = {
      {"http://news.example/a", false},
      {"HTTPS://news.example/a", false},
      {"mailto:someone@example.com", false},
      {"urn:isbn:0451450523", false},
      {"a+b-c.d:rest", false},
      {"", false},
      {"a", true},
      {"/a", true},
      {"//news.example/a", true},
      {"?q", true},
      {"#f", true},
      {"../a:b", true},
      {":a", true},
      {"1a:b", true},
      {"a b:c", true},
      {"./a:b", true},
  };
  const char* bases[] = {"http://a.example/b/c?q#f", "news.example/feed", ""};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    EXPECT_EQ(linkNeedsBase(c.link), c.needsBase);
    if (!c.needsBase) {
      for (const char* base : bases) EXPECT_EQ(resolveLink(base, c.link), c.link) << base;
    } else {
      EXPECT_NE(resolveLink(bases[0], c.link), c.link);
    }
  }
}

}  // namespace
}  // namespace korvo
