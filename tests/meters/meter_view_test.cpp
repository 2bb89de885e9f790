// What a meter shows of its feed's items, read from a loopback server with
// the clock moved by hand: Include and Exclude, item numbers of the items
// left, title lists, tooltips and clicks, and the marks of new items.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "meters/meter.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::httpAnswer;
using test::LoopbackServer;
using test::Script;

struct Item {
  std::string title;
  std::string description;
  std::string guid;  // empty: none; the link is the title's
  std::string pubDate;
};

std::string rss(const std::vector<Item>& items) {
  std::string doc =
      "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>News</title>"
      "<link>http://news.test/</link>";
  for (const Item& item : items) {
    doc += "<item><title>" + item.title + "</title><link>http://news.test/" + item.title +
           "</link><description>" + item.description + "</description>";
    if (!item.guid.empty()) doc += "<guid>" + item.guid + "</guid>";
    if (!item.pubDate.empty()) doc += "<pubDate>" + item.pubDate + "</pubDate>";
    doc += "</item>";
  }
  return doc + "</channel></rss>\n";
}

std::vector<Item> titled(const std::vector<std::string>& titles) {
  std::vector<Item> items;
  for (const std::string& t : titles) items.push_back({t, "", "", ""});
  return items;
}

Script ok(const std::string& body, std::vector<std::string> headers = {}) {
  return Script().send(httpAnswer("HTTP/1.0 200 OK", headers, body));
}

std::vector<std::string> gOpened;
std::string recordLink(const std::string& link) {
  gOpened.push_back(link);
  return "";
}

class MeterViewTest : public ::testing::Test {
 protected:
  MeterViewTest() : cache(environment) {
    environment.clock = &clock;
    globals.iniPath = dir.file("Korvo.ini");
    test::writeWholeFile(globals.iniPath, "[NewsSites]\nNews=http://" + kAddress + "/news.xml\n");
    env = MeterEnv{&cache, &globals, &recordLink};
    gOpened.clear();
  }
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  Meter meterFor(const char* site = "News") {
    Meter meter(0);
    meter.settings.NewsSite = site;
    meter.settings.UpdateIntervall = 60;
    meter.resolveSite(env);
    return meter;
  }
  // Every item line of the title list.
  std::vector<std::string> shown(Meter& meter, int count = 100) {
    std::string list = meter.titleList(env, count, 32767, false);
    std::vector<std::string> lines;
    std::size_t start = list.find('\n');
    while (start != std::string::npos) {
      const std::size_t end = list.find('\n', start + 1);
      lines.push_back(list.substr(start + 1, end - start - 1));
      start = end;
    }
    return lines;
  }

  const std::string kAddress = test::caseAddress();
  test::TempDir dir;
  ManualClock clock;
  Environment environment;
  FeedCache cache;
  PluginSettings globals;
  MeterEnv env;
};

using Titles = std::vector<std::string>;

TEST_F(MeterViewTest, IncludeAndExcludeChooseTheItemsShown) {
  const std::vector<Item> items = {
      {"Rain in Spain", "Mostly on the plain", "", ""},
      {"Sports results", "Football and RAIN delays", "", ""},
      {"Transport strike", "Trains stop", "", ""},
      {"The World Cup", "Final tonight", "", ""},
      {"Weather", "Sunny, later rain", "", ""},
  };
  LoopbackServer server(kAddress, ok(rss(items)));
  ASSERT_TRUE(server.ok()) << server.error();
  struct Case {
    const char* include;
    const char* exclude;
    Titles expected;
  } cases[] = {
      {"", "", {"Rain in Spain", "Sports results", "Transport strike", "The World Cup", "Weather"}},
      // Title or description, any letter case, whole words only.
      {"rain", "", {"Rain in Spain", "Sports results", "Weather"}},
      {"sport", "", {}},
      {"train", "", {}},
      {"world cup|final", "", {"The World Cup"}},
      {" weather | | spain ", "", {"Rain in Spain", "Weather"}},
      {"", "rain", {"Transport strike", "The World Cup"}},
      {"", " | ", {"Rain in Spain", "Sports results", "Transport strike", "The World Cup", "Weather"}},
      {"|", "", {"Rain in Spain", "Sports results", "Transport strike", "The World Cup", "Weather"}},
      {"rain", "football|SUNNY", {"Rain in Spain"}},
      {"rain", "rain", {}},
  };
  Meter meter = meterFor();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.include) + " / " + c.exclude);
    meter.settings.Include = c.include;
    meter.settings.Exclude = c.exclude;
    EXPECT_EQ(shown(meter), c.expected);
    for (std::size_t i = 0; i <= c.expected.size(); ++i) {
      const std::string expected = i < c.expected.size() ? c.expected[i] : "";
      EXPECT_EQ(meter.itemText(env, "itemtitle", static_cast<int>(i)), expected) << i;
    }
  }
  EXPECT_EQ(server.connections(), 1u);
}

// The clock stands at Sun, 09 Sep 2001 01:46:40 UTC. Undated items, and
// those whose date cannot be read, stay whatever MaxAge says and come last
// when the newest come first; equal dates keep the feed's order.
TEST_F(MeterViewTest, MaxAgeAndNewestFirst) {
  const std::vector<Item> items = {
      {"undated", "", "", ""},
      {"d1", "", "", "Sun, 09 Sep 2001 00:00:00 GMT"},
      {"d2", "", "", "Sat, 08 Sep 2001 12:00:00 +0000"},
      {"same1", "", "", "2001-09-09T01:00:00Z"},
      {"unreadable", "", "", "yesterday"},
      {"same2", "", "", "Sun, 09 Sep 2001 03:00:00 +0200"},
      {"future", "", "", "Mon, 10 Sep 2001 00:00:00 GMT"},
  };
  LoopbackServer server(kAddress, ok(rss(items)));
  ASSERT_TRUE(server.ok()) << server.error();
  struct Case {
    int maxAge;
    const char* order;
    Titles expected;
  } cases[] = {
      {0, "feed", {"undated", "d1", "d2", "same1", "unreadable", "same2", "future"}},
      {0, "newest", {"future", "same1", "same2", "d1", "d2", "undated", "unreadable"}},
      {0, "Newest", {"future", "same1", "same2", "d1", "d2", "undated", "unreadable"}},
      {0, "oldest", {"undated", "d1", "d2", "same1", "unreadable", "same2", "future"}},
      {1, "feed", {"undated", "same1", "unreadable", "same2", "future"}},
      {2, "newest", {"future", "same1", "same2", "d1", "undated", "unreadable"}},
      {14, "feed", {"undated", "d1", "d2", "same1", "unreadable", "same2", "future"}},
  };
  Meter meter = meterFor();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.maxAge) + " " + c.order);
    meter.settings.MaxAge = c.maxAge;
    meter.settings.Order = c.order;
    EXPECT_EQ(shown(meter), c.expected);
    EXPECT_EQ(meter.itemText(env, "itemtitle", 0), c.expected[0]);
  }
  // Items leave as the clock passes their age, without a download, and
  // come back when it is set back.
  meter.settings.UpdateIntervall = 100000;
  meter.settings.MaxAge = 1;
  meter.settings.Order = "newest";
  clock.set(1000000000u + 800);  // 02:00:00: same1 and same2 are an hour old
  EXPECT_EQ(shown(meter), (Titles{"future", "same1", "same2", "undated", "unreadable"}));
  clock.advance(1);
  EXPECT_EQ(shown(meter), (Titles{"future", "undated", "unreadable"}));
  EXPECT_EQ(meter.itemText(env, "itemtitle", 1), "undated");
  EXPECT_EQ(server.connections(), 1u);
  // A clock set back makes the feed due: that download fails (the server
  // has no more answers) and leaves the items as they were.
  clock.set(1000000000u - 3600);
  EXPECT_EQ(shown(meter), (Titles{"future", "same1", "same2", "d1", "undated", "unreadable"}));
}

// Dates as DateFormat shows them, on the clock's time (local time is UTC
// on the test clock); what cannot be read is shown as written.
TEST_F(MeterViewTest, DatesShowAsDateFormatSays) {
  const std::vector<Item> items = {{"a", "", "", "Sun, 09 Sep 2001 01:00:00 GMT"},
                                   {"b", "", "", "2001-09-06T12:00:00Z"},
                                   {"c", "", "", "soon"},
                                   {"d", "", "", ""}};
  const std::string doc = rss(items);
  const std::string withChannelDates =
      doc.substr(0, doc.find("<item>")) +
      "<pubDate>Tue, 01 May 2001 08:00:00 GMT</pubDate><lastBuildDate>2000-12-31T23:00:00Z"
      "</lastBuildDate>" + doc.substr(doc.find("<item>"));
  LoopbackServer server(kAddress, ok(withChannelDates));
  ASSERT_TRUE(server.ok()) << server.error();
  struct Case {
    const char* format;
    std::vector<std::string> shown;  // items a..d, then pubDate and lastBuildDate
  } cases[] = {
      {"", {"Sun, 09 Sep 2001 01:00:00 GMT", "2001-09-06T12:00:00Z", "soon", "",
            "Tue, 01 May 2001 08:00:00 GMT", "2000-12-31T23:00:00Z"}},
      {"relative", {"46 min ago", "2 days ago", "soon", "", "130 days ago", "251 days ago"}},
      {"local", {"01:00", "Thu 12:00", "soon", "", "1 May", "31 Dec 2000"}},
      {"%Y-%m-%d %H:%M", {"2001-09-09 01:00", "2001-09-06 12:00", "soon", "", "2001-05-01 08:00",
                          "2000-12-31 23:00"}},
  };
  Meter meter = meterFor();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    meter.settings.DateFormat = c.format;
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(meter.itemText(env, "itempubDate", i), c.shown[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(meter.channelText(env, "pubDate"), c.shown[4]);
    EXPECT_EQ(meter.channelText(env, "lastBuildDate"), c.shown[5]);
    EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "a") << "titles stay as they are";
  }
  // With ShowError an empty date still shows the feed's error.
  cache.find("http://" + kAddress + "/news.xml")->errorText = "Error transfering data.";
  globals.ShowError = true;
  meter.settings.DateFormat = "relative";
  EXPECT_EQ(meter.itemText(env, "itempubDate", 3), "Error transfering data.");
}

// Item numbers count the items shown: every item field, the title list,
// the tooltip item and the click item; past the last one is empty (or the
// error text with ShowError).
TEST_F(MeterViewTest, ItemNumbersTooltipsAndClicksReferToTheItemsShown) {
  const std::vector<Item> items = {
      {"a", "skip", "", ""}, {"b", "keep", "", ""}, {"c", "skip", "", ""}, {"d", "keep", "", ""}};
  LoopbackServer server(kAddress, ok(rss(items)));
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor();
  meter.settings.Exclude = "skip";
  EXPECT_EQ(meter.titleList(env, 1, 32767, false), "News\nb");
  EXPECT_EQ(meter.itemText(env, "itemlink", 1), "http://news.test/d");
  EXPECT_EQ(meter.itemText(env, "itemdescription", 0), "keep");
  EXPECT_EQ(meter.itemText(env, "itemlink", 2), "");
  EXPECT_EQ(meter.itemText(env, "itemlink", -1), "");
  cache.find("http://" + kAddress + "/news.xml")->errorText = "Error transfering data.";
  globals.ShowError = true;
  EXPECT_EQ(meter.itemText(env, "itemtitle", 2), "Error transfering data.");
  EXPECT_EQ(meter.titleList(env, 9, 32767, false), "News\nb\nd");
  globals.ShowError = false;

  meter.settings.ToolTip = 6;  // an item's link
  meter.settings.ToolTipItem = 1;
  EXPECT_EQ(meter.withTooltip(env, "x"), "x%tthttp://news.test/d");
  meter.settings.ToolTipItem = 2;
  EXPECT_EQ(meter.withTooltip(env, "x"), "x%tt");

  meter.settings.InputClick = 2;
  meter.settings.InputClickItem = 0;
  meter.click(env);
  meter.settings.InputClickItem = 2;
  meter.click(env);
  EXPECT_THAT(gOpened, ::testing::ElementsAre("http://news.test/b"));
}

// The view follows the settings at once and each new document, without a
// download of its own.
TEST_F(MeterViewTest, TheViewFollowsSettingsAndNewDocuments) {
  LoopbackServer server(kAddress, {ok(rss(titled({"red one", "blue two", "red three"}))),
                                   ok(rss(titled({"blue four", "red five"})))});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor();
  meter.settings.Include = "red";
  EXPECT_EQ(shown(meter), (Titles{"red one", "red three"}));
  meter.settings.Include = "blue";
  EXPECT_EQ(shown(meter), (Titles{"blue two"}));
  meter.settings.Exclude = "two";
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "");
  meter.settings.Exclude.clear();
  EXPECT_EQ(server.connections(), 1u);
  clock.advance(60);
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "blue four");
  meter.settings.Include = "red";
  EXPECT_EQ(shown(meter), (Titles{"red five"}));
  EXPECT_EQ(server.connections(), 2u);

  // Another meter of the feed, with other cleanup and settings, has its own.
  Meter other = meterFor();
  other.settings.FilterHtml = false;
  other.settings.Exclude = "red";
  EXPECT_EQ(shown(other), (Titles{"blue four"}));
  EXPECT_EQ(shown(meter), (Titles{"red five"}));
}

// MarkNew before the title of each item the last download brought that
// the feed did not hold: none at the first download, gone at the next
// download that brings the item again or answers "not modified".
TEST_F(MeterViewTest, MarksNewItemsUntilTheNextDownload) {
  const auto withGuids = [](const std::vector<std::string>& titles) {
    std::vector<Item> items;
    for (const std::string& t : titles) items.push_back({t, "", "id-" + t, ""});
    return items;
  };
  LoopbackServer server(kAddress, {ok(rss(withGuids({"a", "b"})), {"ETag: \"1\""}),
                                   ok(rss(withGuids({"c", "a", "b"})), {"ETag: \"2\""}),
                                   ok(rss(withGuids({"c", "a", "b"})), {"ETag: \"3\""}),
                                   ok(rss(withGuids({"d", "e", "c", "a"})), {"ETag: \"4\""}),
                                   Script().send(httpAnswer("HTTP/1.1 304 Not Modified", {}, ""))});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor();
  meter.settings.MarkNew = "* ";
  struct Step {
    Titles shown;
  } steps[] = {
      {{"a", "b"}},
      {{"* c", "a", "b"}},
      {{"c", "a", "b"}},
      {{"* d", "* e", "c", "a"}},
      {{"d", "e", "c", "a"}},  // not modified
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown(meter), steps[i].shown);
    EXPECT_EQ(meter.itemText(env, "itemtitle", 0), steps[i].shown[0]);
    meter.settings.ToolTip = 4;  // an item's title
    EXPECT_EQ(meter.withTooltip(env, ""), "%tt" + steps[i].shown[0]);
    meter.settings.ToolTip = 0;
    // Only the title has the mark.
    EXPECT_EQ(meter.itemText(env, "itemlink", 0), "http://news.test/" + steps[i].shown[0].substr(steps[i].shown[0].size() - 1));
    clock.advance(60);
  }
  EXPECT_EQ(server.connections(), 5u);
}

// The marks are the feed's: every meter of it sees them, with its own
// cleanup, mark and filters; a meter without MarkNew shows none. Items are
// compared as cleaned for the meter whose query brought the download (the
// links here differ with the cleanup).
TEST_F(MeterViewTest, MarksAreTheFeedsAndTheTextTheMeters) {
  const std::string x = "&lt;i&gt;x&lt;/i&gt; 1";
  LoopbackServer server(kAddress,
                        {ok(rss(titled({x, "y 2"}))), ok(rss(titled({"new 3", x, "y 2"})))});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter plain = meterFor(), html = meterFor(), none = meterFor();
  html.settings.FilterHtml = false;
  html.settings.MarkNew = "NEW: ";
  html.settings.Exclude = "y";
  plain.settings.MarkNew = "\xBB ";
  EXPECT_EQ(shown(plain), (Titles{"x 1", "y 2"}));
  EXPECT_EQ(shown(html), (Titles{"<i>x</i> 1"}));
  clock.advance(60);
  EXPECT_EQ(shown(html), (Titles{"NEW: new 3", "<i>x</i> 1"}));
  EXPECT_EQ(shown(plain), (Titles{"\xBB new 3", "x 1", "y 2"}));
  EXPECT_EQ(shown(none), (Titles{"new 3", "x 1", "y 2"}));
  EXPECT_EQ(server.connections(), 2u);
}

}  // namespace
}  // namespace korvo
