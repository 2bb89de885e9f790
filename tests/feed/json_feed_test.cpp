#include "feed/json_feed.h"

#include <gtest/gtest.h>

#include <string>

#include "base/limits.h"
#include "feed/feed_parser.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

constexpr const char* kVersion11 = "\"version\": \"https://jsonfeed.org/version/1.1\"";

std::string fixture(const std::string& name) { return test::dataFile("feeds/" + name); }

CleanupOptions utf8Target() {
  CleanupOptions settings;
  settings.target = TargetCodePage{charset::kUtf8, false};
  return settings;
}

// A JSON Feed 1.1 object with members (JSON text, without braces) after
// its version.
std::string feedWith(const std::string& members) {
  return std::string("{") + kVersion11 + (members.empty() ? "" : ", " + members) + "}";
}

struct Read {
  bool ok;
  Feed feed;
};

Read read(std::string body, const CleanupOptions& settings = CleanupOptions()) {
  Read r{false, Feed("https://feeds.example.com/news/feed.json")};
  // The download's dialect flags are whatever an earlier document left.
  r.feed.isAtom = true;
  r.feed.channel.title = "earlier";
  r.ok = convertAndParse(r.feed, body, settings);
  return r;
}

TEST(JsonFeedTest, Version10FillsEveryMappedField) {
  const Read r = read(fixture("jsonfeed_1_0.json"));
  ASSERT_TRUE(r.ok) << r.feed.errorText;
  const Channel& c = r.feed.channel;
  EXPECT_EQ(c.title, "JSON One");
  EXPECT_EQ(c.link, "https://one.example.com/");
  EXPECT_EQ(c.description, "Version 1.0 & more");
  EXPECT_EQ(c.managingEditor, "Ann Author");
  EXPECT_EQ(c.language, "");
  EXPECT_EQ(c.copyright, "");
  EXPECT_EQ(c.lastBuildDate, "");
  EXPECT_EQ(c.pubDate, "");
  ASSERT_EQ(c.items.size(), 5u);
  EXPECT_EQ(c.items[0].guid, "1");
  EXPECT_EQ(c.items[0].title, "First");
  EXPECT_EQ(c.items[0].link, "https://one.example.com/1");
  EXPECT_EQ(c.items[0].description, "Hello world & all");  // content_html first, cleaned
  EXPECT_EQ(c.items[0].pubDate, "2024-05-06T10:00:00Z");  // date_published first
  EXPECT_EQ(c.items[1].guid, "2");                         // a number, as text
  EXPECT_EQ(c.items[1].title, "");
  EXPECT_EQ(c.items[1].link, "https://elsewhere.example.org/2");  // external_url
  EXPECT_EQ(c.items[1].description, "Text only");
  EXPECT_EQ(c.items[1].pubDate, "2024-05-05T10:00:00+02:00");  // date_modified
  EXPECT_EQ(c.items[2].link, "https://one.example.com/3");     // an id that is an address
  EXPECT_EQ(c.items[2].description, "Only a summary");
  EXPECT_EQ(c.items[3].link, "");  // an id that is none
  EXPECT_EQ(c.items[3].guid, "tag:one.example.com,2024:4");
  EXPECT_EQ(c.items[4].link, "https://feeds.example.com/posts/5");
  EXPECT_EQ(r.feed.errorText, "");
}

TEST(JsonFeedTest, Version11FillsEveryMappedField) {
  const Read r = read(fixture("jsonfeed_1_1.json"), utf8Target());
  ASSERT_TRUE(r.ok) << r.feed.errorText;
  const Channel& c = r.feed.channel;
  EXPECT_EQ(c.title, "JSON Eleven");
  EXPECT_EQ(c.link, "https://eleven.example.com/");
  EXPECT_EQ(c.description, "Version 1.1");
  EXPECT_EQ(c.language, "de-AT");
  // authors before the older author; a name, else the address.
  EXPECT_EQ(c.managingEditor, "Bea, https://eleven.example.com/cy");
  ASSERT_EQ(c.items.size(), 1u);
  EXPECT_EQ(c.items[0].title, "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(c.items[0].link, "https://eleven.example.com/a");
  EXPECT_EQ(c.items[0].description, "Line one\nLine two");
  EXPECT_EQ(c.items[0].pubDate, "2024-05-06T10:00:00Z");
  EXPECT_EQ(c.items[0].guid, "a");
}

// Members that are missing, null or of another type read as missing; a
// list that is no array holds nothing.
TEST(JsonFeedTest, MissingFieldsAndWrongTypesReadAsMissing) {
  const struct {
    const char* members;
    const char* title;
    std::size_t items;
    const char* itemTitle;  // of the first item
    const char* guid;
  } cases[] = {
      {"", "", 0, "", ""},
      {"\"items\": [{}]", "", 1, "", ""},
      {"\"title\": 5, \"items\": [{\"title\": 5}]", "", 1, "", ""},
      {"\"title\": null, \"items\": [{\"title\": [\"x\"]}]", "", 1, "", ""},
      {"\"title\": {\"text\": \"T\"}, \"items\": [{\"title\": {}}]", "", 1, "", ""},
      {"\"title\": \"T\", \"title\": 5", "", 0, "", ""},
      {"\"title\": 5, \"title\": \"T\"", "T", 0, "", ""},
      {"\"items\": {\"title\": \"I\"}", "", 0, "", ""},
      {"\"items\": \"I\"", "", 0, "", ""},
      {"\"items\": null", "", 0, "", ""},
      {"\"items\": [{\"title\": \"I\"}], \"items\": 5", "", 0, "", ""},
      {"\"items\": [5, \"x\", null, [{\"title\": \"nested\"}], {\"title\": \"I\"}]", "", 1, "I", ""},
      {"\"items\": [{\"id\": 1.5e3}]", "", 1, "", "1.5e3"},
      {"\"items\": [{\"id\": -7}]", "", 1, "", "-7"},
      {"\"items\": [{\"id\": true}]", "", 1, "", ""},
      {"\"items\": [{\"title\": \"I\", \"x\": {\"title\": \"inner\"}}]", "", 1, "I", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.members);
    const Read r = read(feedWith(c.members));
    ASSERT_TRUE(r.ok) << r.feed.errorText;
    EXPECT_EQ(r.feed.channel.title, c.title);
    ASSERT_EQ(r.feed.channel.items.size(), c.items);
    if (c.items == 0) continue;
    EXPECT_EQ(r.feed.channel.items[0].title, c.itemTitle);
    EXPECT_EQ(r.feed.channel.items[0].guid, c.guid);
  }
}

TEST(JsonFeedTest, DescriptionAndDateFallBackInOrder) {
  const struct {
    const char* item;
    const char* description;
    const char* pubDate;
  } cases[] = {
      {"\"content_html\": \"<img src=x>\", \"content_text\": \"T\"", "T", ""},
      {"\"content_html\": 5, \"content_text\": \"\", \"summary\": \"S\"", "S", ""},
      {"\"summary\": \"S\", \"content_text\": \"T\"", "T", ""},
      {"\"date_published\": \"\", \"date_modified\": \"M\"", "", "M"},
      {"\"date_published\": 1714989600, \"date_modified\": \"M\"", "", "M"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    const Read r = read(feedWith(std::string("\"items\": [{") + c.item + "}]"));
    ASSERT_TRUE(r.ok) << r.feed.errorText;
    ASSERT_EQ(r.feed.channel.items.size(), 1u);
    EXPECT_EQ(r.feed.channel.items[0].description, c.description);
    EXPECT_EQ(r.feed.channel.items[0].pubDate, c.pubDate);
  }
}

// content_html is HTML, cleaned as an RSS description is; the other texts
// are plain text and stay as written.
TEST(JsonFeedTest, HtmlIsCleanedAsTheSettingsSayPlainTextIsNot) {
  const std::string body = feedWith(
      "\"title\": \"a <b> & c &amp; d\", \"items\": [{\"title\": \"x<br>y\", "
      "\"content_html\": \"<p>One<br/>two &amp; <i>three</i></p>\"}]");
  const struct {
    bool filterHtml;
    bool replaceBr;
    const char* description;
  } cases[] = {
      {true, true, "One\ntwo & three"},
      {true, false, "One two & three"},
      {false, true, "<p>One\ntwo &amp; <i>three</i></p>"},
      {false, false, "<p>One<br/>two &amp; <i>three</i></p>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "FilterHtml " << c.filterHtml << " ReplaceBr "
                                    << c.replaceBr);
    CleanupOptions settings;
    settings.FilterHtml = c.filterHtml;
    settings.ReplaceBr = c.replaceBr;
    const Read r = read(body, settings);
    ASSERT_TRUE(r.ok) << r.feed.errorText;
    EXPECT_EQ(r.feed.channel.title, "a <b> & c &amp; d");
    ASSERT_EQ(r.feed.channel.items.size(), 1u);
    EXPECT_EQ(r.feed.channel.items[0].title, "x<br>y");
    EXPECT_EQ(r.feed.channel.items[0].description, c.description);
  }
}

// The texts reach the meter's code page the way an XML document's do.
TEST(JsonFeedTest, TextsAreWrittenInTheTarget) {
  const std::string body = feedWith(
      "\"title\": \"\\u041d\\u043e\\u0432\\u043e\\u0441\\u0442\\u0438 \\u20ac\", "
      "\"items\": [{\"title\": \"Gr\\u00fc\\u00dfe \\u2013 caf\\u00e9\", "
      "\"content_html\": \"&#8364; &eacute;\"}]");
  CleanupOptions cyrillic;
  cyrillic.target = TargetCodePage{1251, false};
  CleanupOptions asReceived;
  asReceived.FilterUnicode = false;
  const struct {
    const char* name;
    CleanupOptions settings;
    std::string title;
    std::string itemTitle;
    std::string description;
  } cases[] = {
      {"latin1", CleanupOptions(), " E", "Gr\xFC\xDF" "e - caf\xE9", "E \xE9"},
      {"1251", cyrillic, "\xCD\xEE\xE2\xEE\xF1\xF2\xE8 \x88", "Grusse \x96 cafe", "\x88 e"},
      {"utf-8", utf8Target(), "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8 \xE2\x82\xAC",
       "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 caf\xC3\xA9", "\xE2\x82\xAC \xC3\xA9"},
      {"as received", asReceived,
       "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8 \xE2\x82\xAC",
       "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 caf\xC3\xA9", "\xE2\x82\xAC \xC3\xA9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = read(body, c.settings);
    ASSERT_TRUE(r.ok) << r.feed.errorText;
    EXPECT_EQ(r.feed.channel.title, c.title);
    ASSERT_EQ(r.feed.channel.items.size(), 1u);
    EXPECT_EQ(r.feed.channel.items[0].title, c.itemTitle);
    EXPECT_EQ(r.feed.channel.items[0].description, c.description);
  }
}

// Strings as JSON writes them and as servers get them wrong.
TEST(JsonFeedTest, StringsTheLibraryWouldRefuseAreRepaired) {
  const struct {
    const char* name;
    std::string title;     // as the document writes it, between the quotes
    std::string expected;  // in UTF-8
  } cases[] = {
      {"surrogate pair", "\\ud83d\\ude00!", "\xF0\x9F\x98\x80!"},
      {"lone high surrogate", "a\\uD800b", "a\xEF\xBF\xBD" "b"},
      {"lone low surrogate", "a\\uDC00b", "a\xEF\xBF\xBD" "b"},
      {"high surrogate at the end", "a\\uD800", "a\xEF\xBF\xBD"},
      {"two high surrogates, then a low", "\\uD800\\uD83D\\uDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"an escaped backslash before u", "\\\\uD800", "\\uD800"},
      {"a zero character", "a\\u0000b", "ab"},
      {"control characters", "a\\u0007\\u001bb\\tc\\nd", "ab\tc\nd"},
      {"windows-1252 byte", "Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"},
      {"cut UTF-8 sequence", "a\xC3", "a\xC3\x83"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = read(feedWith("\"title\": \"" + c.title + "\""), utf8Target());
    ASSERT_TRUE(r.ok) << r.feed.errorText;
    EXPECT_EQ(r.feed.channel.title, c.expected);
  }
}

std::string nested(int depth) {
  return std::string(static_cast<std::size_t>(depth), '[') +
         std::string(static_cast<std::size_t>(depth), ']');
}

TEST(JsonFeedTest, BadJsonAndBoundsGiveAClearErrorAndAnEmptyChannel) {
  // The feed object is one level: a member may nest kMaxJsonDepth - 1.
  const std::string deepest = feedWith("\"x\": " + nested(limits::kMaxJsonDepth - 1));
  ASSERT_TRUE(read(deepest).ok);
  const struct {
    const char* name;
    std::string body;
    std::string message;
  } cases[] = {
      {"cut", "{\"version\": \"https://jsonfeed.org/version/1\", \"items\": [",
       "Unable to parse document. Invalid JSON at byte 57."},
      {"trailing text", feedWith("") + " x", "Unable to parse document. Invalid JSON at byte 49."},
      {"a comment", "{/* c */}", "Unable to parse document. Invalid JSON at byte 2."},
      {"a raw zero byte", std::string("{\"title\": \"a\0b\"}", 16),
       "Unable to parse document. Invalid JSON at byte 13."},
      {"one level too deep", feedWith("\"x\": " + nested(limits::kMaxJsonDepth)),
       "Unable to parse document. Document nested too deeply."},
      {"10,000 nested arrays", nested(10000),
       "Unable to parse document. Document nested too deeply."},
      {"10,000 nested objects", std::string(10000, '{'),
       "Unable to parse document. Invalid JSON at byte 2."},
      {"17 MiB", feedWith("\"title\": \"" + std::string(17u << 20, 'x') + "\""),
       "Unable to parse document. Document too large."},
      {"not an object", "[1, 2]", "Invalid rss document."},
      {"no version, no items", "{\"title\": \"T\"}", "Invalid rss document."},
      {"another version", "{\"version\": \"https://example.com/version/1\", \"title\": \"T\"}",
       "Invalid rss document."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Read r = read(c.body);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.feed.errorText, c.message);
    EXPECT_EQ(r.feed.channel.title, "");
    EXPECT_TRUE(r.feed.channel.items.empty());
  }
}

TEST(JsonFeedTest, ItemsWithoutAVersionStillMakeAFeed) {
  const Read r = read("{\"title\": \"T\", \"items\": [{\"title\": \"I\"}]}");
  ASSERT_TRUE(r.ok) << r.feed.errorText;
  EXPECT_EQ(r.feed.channel.title, "T");
  ASSERT_EQ(r.feed.channel.items.size(), 1u);
}

TEST(JsonFeedTest, TheTooltipMarkerIsBroken) {
  const Read r = read(feedWith("\"title\": \"a%ttb\""));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.feed.channel.title.find("%tt"), std::string::npos);
}

TEST(JsonFeedTest, JsonIsToldFromXmlByItsFirstCharacter) {
  const struct {
    std::string body;
    bool json;
  } cases[] = {
      {"{}", true},
      {" \r\n\t[1]", true},
      {"\xEF\xBB\xBF {\"a\": 1}", true},
      {"", false},
      {"   ", false},
      {"<rss version=\"2.0\"/>", false},
      {"\xEF\xBB\xBF<feed/>", false},
      {"x{}", false},
      {"\xFF\xFE{\0}\0", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(looksLikeJson(c.body), c.json);
  }
}

TEST(JsonFeedTest, AJsonFeedIsKnownByItsVersion) {
  const struct {
    std::string body;
    bool feed;
  } cases[] = {
      {"{\"version\": \"https://jsonfeed.org/version/1\"}", true},
      {"{\"version\": \"https://jsonfeed.org/version/1.1\", \"items\": []}", true},
      {"{\"version\": \"http://jsonfeed.org/version/1\"}", true},
      {"{\"title\": \"T\", \"items\": [], \"version\": \"https://jsonfeed.org/version/1.1\"}", true},
      // The parse stops at the version: what follows is the parser's business.
      {"{\"version\": \"https://jsonfeed.org/version/1\", \"items\": [", true},
      {"{\"version\": \"https://example.com/version/1\"}", false},
      {"{\"version\": 1}", false},
      {"{\"x\": {\"version\": \"https://jsonfeed.org/version/1\"}}", false},
      {"[{\"version\": \"https://jsonfeed.org/version/1\"}]", false},
      {"{\"items\": [], \"x\": ] \"version\": \"https://jsonfeed.org/version/1\"}", false},
      {nested(10000), false},
      {"<rss/>", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 80));
    EXPECT_EQ(hasJsonFeedVersion(c.body), c.feed);
  }
}

// The character-set step leaves JSON alone and says it is UTF-8, so that
// the step and the parse apart read it as convertAndParse does; and a text
// that looks like JSON only once the step has dropped what was before it
// (a byte no charset has, after a byte-order mark) is JSON to both.
TEST(JsonFeedTest, TheCharsetStepAndTheParseApartReadItAlike) {
  const std::string json = feedWith("\"title\": \"Caf\\u00e9\"");
  for (const std::string& body : {"\xEF\xBB\xBF" + json, "\xEF\xBB\xBF\x8F\x8F " + json}) {
    SCOPED_TRACE(body.substr(0, 6));
    Feed together("https://feeds.example.com/feed.json");
    std::string once = body;
    ASSERT_TRUE(convertAndParse(together, once, CleanupOptions())) << together.errorText;
    Feed apart("https://feeds.example.com/feed.json");
    std::string twice = body;
    const bool utf8 = convertCharset(apart, twice, true);
    EXPECT_EQ(once, twice);
    ASSERT_TRUE(parse(apart, twice, CleanupOptions(), utf8)) << apart.errorText;
    EXPECT_EQ(together.channel.title, "Caf\xE9");
    EXPECT_EQ(apart.channel.title, "Caf\xE9");
  }
}

}  // namespace
}  // namespace korvo
