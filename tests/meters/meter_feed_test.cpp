// Meters reading feeds from a loopback server, with the clock moved by hand:
// sharing, interval and retry, ShowError, title lists, tooltips and clicks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
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
using Ms = std::chrono::milliseconds;

std::string rss(const std::vector<std::string>& itemTitles, const std::string& title = "News") {
  std::string doc = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>" + title +
                    "</title><link>http://news.test/</link>";
  int n = 0;
  for (const auto& t : itemTitles) {
    doc += "<item><title>" + t + "</title><link>http://news.test/" + std::to_string(n++) +
           "</link><description>About " + t + "</description></item>";
  }
  return doc + "</channel></rss>\n";
}

Script ok(const std::string& body, std::vector<std::string> headers = {}) {
  return Script().send(httpAnswer("HTTP/1.0 200 OK", headers, body));
}
Script status(const std::string& line) { return Script().send(httpAnswer(line, {}, "")); }

std::vector<std::string> gOpened;
std::string gOpenFailure;  // what the opener answers
std::string recordLink(const std::string& link) {
  gOpened.push_back(link);
  return gOpenFailure;
}

class MeterFeedTest : public ::testing::Test {
 protected:
  MeterFeedTest() : cache(environment) {
    environment.clock = &clock;
    globals.iniPath = dir.file("Korvo.ini");
    test::writeWholeFile(globals.iniPath, "[NewsSites]\nNews=" + kNewsUrl + "\nOther=http://" +
                                              kAddress + "/other.xml\n");
    env = MeterEnv{&cache, &globals, &recordLink};
    gOpened.clear();
  }
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  Meter meterFor(const char* site) {
    Meter meter(0);
    meter.settings.NewsSite = site;
    meter.resolveSite(env);
    return meter;
  }
  std::string title(Meter& meter) { return meter.channelText(env, "title"); }

  // The server of this case listens on an address of its own.
  const std::string kAddress = test::caseAddress();
  const std::string kNewsUrl = "http://" + kAddress + "/news.xml";
  test::TempDir dir;
  ManualClock clock;
  Environment environment;
  FeedCache cache;
  PluginSettings globals;
  MeterEnv env;
};

TEST_F(MeterFeedTest, MetersOfOneUrlShareOneDownload) {
  LoopbackServer server(kAddress, ok(rss({"a"})));
  ASSERT_TRUE(server.ok()) << server.error();
  Meter first = meterFor("News"), second = meterFor("News");
  EXPECT_EQ(title(first), "News");
  EXPECT_EQ(second.itemText(env, "itemtitle", 0), "a");
  EXPECT_EQ(server.connections(), 1u);
}

TEST_F(MeterFeedTest, IntervalAndRetryFollowTheClock) {
  LoopbackServer server(
      kAddress, {ok(rss({"a"}), {"ETag: \"v1\""}), status("HTTP/1.0 500 Oops"), ok(rss({"b"}))});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  meter.settings.UpdateIntervall = 180;
  EXPECT_EQ(title(meter), "News");
  for (int s = 0; s < 179; ++s) {
    clock.advance(1);
    title(meter);
  }
  EXPECT_EQ(server.connections(), 1u);
  clock.advance(1);
  title(meter);
  EXPECT_EQ(server.connections(), 2u);
  // The failed download keeps the old content.
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "a");
  EXPECT_EQ(cache.find(kNewsUrl)->errorText, "Error transfering data.");
  clock.advance(9);
  title(meter);
  EXPECT_EQ(server.connections(), 2u);
  clock.advance(1);
  title(meter);
  EXPECT_EQ(server.connections(), 3u);
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "b");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_THAT(requests[0], ::testing::Not(::testing::HasSubstr("If-None-Match")));
  EXPECT_THAT(requests[1], ::testing::HasSubstr("If-None-Match: \"v1\"\r\n"));
}

TEST_F(MeterFeedTest, ClockSetBackMakesTheFeedDue) {
  LoopbackServer server(kAddress, ok(rss({"a"})));
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  title(meter);
  clock.set(clock.now() - 1);
  title(meter);
  EXPECT_EQ(server.connections(), 2u);
}

TEST_F(MeterFeedTest, NotModifiedKeepsContentAndRestartsTheInterval) {
  LoopbackServer server(kAddress,
                        {ok(rss({"a"}), {"ETag: \"v1\""}), status("HTTP/1.1 304 Not Modified")});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  meter.settings.UpdateIntervall = 60;
  title(meter);
  clock.advance(60);
  EXPECT_EQ(title(meter), "News");
  EXPECT_EQ(server.connections(), 2u);
  clock.advance(59);
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "a");
  EXPECT_EQ(server.connections(), 2u);
  clock.advance(1);
  title(meter);
  EXPECT_EQ(server.connections(), 3u);
}

TEST_F(MeterFeedTest, ANotModifiedFirstAnswerIsAFailureRetriedAfterTenSeconds) {
  LoopbackServer server(kAddress, {status("HTTP/1.1 304 Not Modified"), ok(rss({"a"}))});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  globals.ShowError = true;
  const std::string message = "Server answered 'not modified' to a request without validators.";
  EXPECT_EQ(title(meter), message);
  clock.advance(9);
  EXPECT_EQ(title(meter), message);
  EXPECT_EQ(server.connections(), 1u);
  clock.advance(1);
  EXPECT_EQ(title(meter), "News");
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "a");
  EXPECT_EQ(server.connections(), 2u);
  for (const auto& request : server.requests())
    EXPECT_THAT(request, ::testing::Not(::testing::HasSubstr("If-")));
}

// good (v1), bad (v2), then a 304: the feed never shows nothing without
// saying why, and never asks with the validators of the bad document.
TEST_F(MeterFeedTest, ValidatorsOfADocumentThatFailedToParseAreNeverSent) {
  LoopbackServer server(kAddress, {ok(rss({"a"}), {"ETag: \"v1\"", "Last-Modified: day 1"}),
                                   ok("<rss version=\"2.0\"><nochannel/></rss>",
                                      {"ETag: \"v2\"", "Last-Modified: day 2"}),
                                   status("HTTP/1.1 304 Not Modified"), ok(rss({"b"}))});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  meter.settings.UpdateIntervall = 60;
  globals.ShowError = true;
  EXPECT_EQ(title(meter), "News");
  clock.advance(60);
  EXPECT_EQ(title(meter), "Invalid rss document.");
  clock.advance(10);
  EXPECT_EQ(title(meter), "Server answered 'not modified' to a request without validators.");
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0),
            "Server answered 'not modified' to a request without validators.");
  clock.advance(10);
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "b");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_THAT(requests[1], ::testing::HasSubstr("If-None-Match: \"v1\"\r\n"));
  for (std::size_t i = 2; i < requests.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_THAT(requests[i], ::testing::Not(::testing::HasSubstr("If-")));
  }
}

// Each meter reads the feed cleaned with its own options; the server
// still sees one request per interval, whichever meter asks first.
TEST_F(MeterFeedTest, MetersWithOtherCleanupShareOneDownload) {
  auto doc = [](const std::string& word) {
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>&lt;b&gt;" + word +
           "&lt;/b&gt; news</title><item><title>one&lt;br&gt;two</title></item>"
           "</channel></rss>\n";
  };
  LoopbackServer server(kAddress, {ok(doc("Old"), {"ETag: \"v1\""}), ok(doc("New"))});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter html = meterFor("News"), plain = meterFor("News");
  html.settings.UpdateIntervall = plain.settings.UpdateIntervall = 60;
  html.settings.FilterHtml = false;
  html.settings.ReplaceBr = false;
  EXPECT_EQ(title(html), "<b>Old</b> news");
  EXPECT_EQ(title(plain), "Old news");
  EXPECT_EQ(plain.itemText(env, "itemtitle", 0), "one\ntwo");
  EXPECT_EQ(html.itemText(env, "itemtitle", 0), "one<br>two");
  EXPECT_EQ(server.connections(), 1u);

  // Settings that change, or a new meter, need no download either.
  Meter brOnly = meterFor("News");
  brOnly.settings.FilterHtml = false;
  EXPECT_EQ(brOnly.itemText(env, "itemtitle", 0), "one\ntwo");
  EXPECT_EQ(title(brOnly), "<b>Old</b> news");
  plain.settings.ReplaceBr = false;
  EXPECT_EQ(plain.itemText(env, "itemtitle", 0), "one two");
  plain.settings.ReplaceBr = true;
  EXPECT_EQ(server.connections(), 1u);

  clock.advance(60);
  EXPECT_EQ(title(plain), "New news");
  EXPECT_EQ(title(html), "<b>New</b> news");
  EXPECT_EQ(title(brOnly), "<b>New</b> news");
  EXPECT_EQ(html.titleList(env, 1, 32767, false), "<b>New</b> news\none<br>two");
  EXPECT_EQ(plain.titleList(env, 1, 32767, false), "New news\none\ntwo");
  EXPECT_EQ(server.connections(), 2u);
  EXPECT_THAT(server.requests()[1], ::testing::HasSubstr("If-None-Match: \"v1\"\r\n"));
}

TEST_F(MeterFeedTest, ShowErrorFillsOnlyEmptyFieldsAfterAFailedDownload) {
  LoopbackServer server(kAddress, {ok(rss({"a", ""})), status("HTTP/1.0 404 Not Found")});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  title(meter);
  clock.advance(180);
  globals.ShowError = true;
  EXPECT_EQ(title(meter), "News");
  EXPECT_EQ(meter.itemText(env, "itemtitle", 1), "Error transfering data.");
  EXPECT_EQ(meter.channelText(env, "language"), "Error transfering data.");
  globals.ShowError = false;
  EXPECT_EQ(meter.channelText(env, "language"), "");
}

TEST_F(MeterFeedTest, FailedParseEmptiesEveryField) {
  LoopbackServer server(kAddress, {ok(rss({"a"})), ok("<rss version=\"9\"><title/></rss>")});
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  EXPECT_EQ(title(meter), "News");
  clock.advance(180);
  EXPECT_EQ(title(meter), "");
  globals.ShowError = true;
  EXPECT_EQ(title(meter), "Invalid rss document.");
  EXPECT_EQ(meter.itemText(env, "itemtitle", 0), "Invalid rss document.");
}

// Without a feed, ShowError shows why in every text, the tooltip and the
// title list's first line; without ShowError they stay empty.
TEST_F(MeterFeedTest, MeterWithoutUsableUrlTouchesNoFeedAndShowsWhy) {
  test::writeWholeFile(globals.iniPath, "[NewsSites]\nBad=http://127.0.0.6\n");
  const std::pair<const char*, const char*> cases[] = {
      {"Missing", "No news site named 'Missing' in Korvo.ini."},
      {"Bad", "Address refused: http://127.0.0.6"},
  };
  for (const auto& [site, why] : cases) {
    SCOPED_TRACE(site);
    Meter meter = meterFor(site);
    meter.settings.ToolTip = 1;
    globals.ShowError = true;
    EXPECT_EQ(title(meter), why);
    EXPECT_EQ(meter.itemText(env, "itemlink", 3), why);
    EXPECT_EQ(meter.withTooltip(env, "x"), std::string("x%tt") + why);
    EXPECT_EQ(meter.titleList(env, 2, 32767, false), std::string(why) + "%tt" + why);
    globals.ShowError = false;
    EXPECT_EQ(title(meter), "");
    EXPECT_EQ(meter.titleList(env, 5, 32767, false), "%tt");
  }
  EXPECT_EQ(cache.size(), 0u);
}

TEST_F(MeterFeedTest, TitleLists) {
  LoopbackServer server(kAddress, ok(rss({"one", "", "three"})));
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  constexpr std::size_t kAll = 32767;
  struct Case {
    int count;
    bool afterFirstLine;
    bool showError;
    const char* expected;
  } cases[] = {
      {0, false, false, "News"},
      {3, false, false, "News\none\nthree"},
      {5, false, false, "News\none\nthree"},
      {2000000000, false, false, "News\none\nthree"},
      // The error text stands only for an empty title line: items without
      // a title add nothing, with ShowError or without.
      {2, false, true, "News\none"},
      {5, false, true, "News\none\nthree"},
      {2000000000, false, true, "News\none\nthree"},
  };
  title(meter);
  // A failed download after the success leaves an error text beside the data.
  cache.find(kNewsUrl)->errorText = "Error transfering data.";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    globals.ShowError = c.showError;
    EXPECT_EQ(meter.titleList(env, c.count, kAll, c.afterFirstLine), c.expected);
  }
}

// A feed that never downloaded: its message once, in the title's line,
// however many items are asked for; the tooltip keeps its own.
TEST_F(MeterFeedTest, TitleListOfAFailedFeedShowsItsErrorOnce) {
  LoopbackServer server(kAddress, status("HTTP/1.0 404 Not Found"));
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  meter.settings.ToolTip = 4;  // an item's title
  globals.ShowError = true;
  const std::string why = "Error transfering data.";
  for (int count : {1, 3, 2000000000})
    EXPECT_EQ(meter.titleList(env, count, 32767, false), why + "%tt" + why) << count;
  globals.ShowError = false;
  EXPECT_EQ(meter.titleList(env, 3, 32767, false), "%tt");
  EXPECT_EQ(server.connections(), 1u);
}

TEST_F(MeterFeedTest, TooltipChoices) {
  LoopbackServer server(kAddress, ok(rss({"one", "two"})));
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  meter.settings.ToolTipItem = 1;
  const char* expected[] = {
      "x",                       // 0: none
      "x%ttNews",                // 1: title
      "x%tt",                    // 2: description (empty)
      "x%tthttp://news.test/",   // 3: link
      "x%tttwo",                 // 4: item title
      "x%ttAbout two",           // 5: item description
      "x%tthttp://news.test/1",  // 6: item link
      "x",                       // 7: none
  };
  for (int choice = 0; choice <= 7; ++choice) {
    SCOPED_TRACE(choice);
    meter.settings.ToolTip = choice;
    EXPECT_EQ(meter.withTooltip(env, "x"), expected[choice]);
  }
  meter.settings.ToolTip = 4;
  meter.settings.ToolTipItem = 9;
  EXPECT_EQ(meter.withTooltip(env, ""), "%tt");
}

TEST_F(MeterFeedTest, ClickOpensOnlyWebLinks) {
  std::string doc =
      "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>T</title>"
      "<link>file:///etc/passwd</link>"
      "<item><link>http://news.test/ok?a=1</link></item>"
      "<item><link>HTTPS://NEWS.TEST/Up</link></item>"
      "<item><link>http://news.test/a b</link></item>"
      "<item><link>http://news.test/\"quoted</link></item>"
      "<item><link>/usr/bin/xterm</link></item>"
      "<item></item>"
      "</channel></rss>\n";
  LoopbackServer server(kAddress, ok(doc));
  ASSERT_TRUE(server.ok()) << server.error();
  Meter meter = meterFor("News");
  Logger log(clock);
  log.openLog(dir.path());
  log.setEnabled(true);
  environment.log = &log;
  // Each click's outcome is one log line.
  auto lastLine = [&] {
    std::string text = test::readWholeFile(dir.file("Korvolog.txt"));
    if (!text.empty()) text.pop_back();
    const std::size_t arrow = text.rfind(" --> ");
    return arrow == std::string::npos ? text : text.substr(arrow + 5);
  };
  const std::string xterm = "http://" + kAddress + "/usr/bin/xterm";
  const std::string xtermLogged = "Click: opened " + xterm;
  struct Case {
    int choice, item;
    bool showError;
    const char* openerSays;
    const char* opened;  // null: nothing opened
    const char* logged;
  } cases[] = {
      {0, 0, false, "", nullptr, "Click: nothing opened: no click action (InputClick=0)"},
      {1, 0, false, "", nullptr, "Click: nothing opened: link refused: file:///etc/passwd"},
      {2, 0, false, "", "http://news.test/ok?a=1", "Click: opened http://news.test/ok?a=1"},
      {2, 1, false, "", "HTTPS://NEWS.TEST/Up", "Click: opened HTTPS://NEWS.TEST/Up"},
      {2, 1, false, "no xdg-open on PATH", "HTTPS://NEWS.TEST/Up",
       "Click: nothing opened: no xdg-open on PATH"},
      {2, 2, false, "", nullptr, "Click: nothing opened: link refused: http://news.test/a b"},
      {2, 3, false, "", nullptr, "Click: nothing opened: link refused: http://news.test/\"quoted"},
      // A path, on the feed's own site.
      {2, 4, false, "", xterm.c_str(), xtermLogged.c_str()},
      // The error text stands in for the empty link, or the empty text does.
      {2, 5, true, "", nullptr,
       "Click: nothing opened: no link (http://evil.test/ Unable to connect)"},
      {2, 5, false, "", nullptr,
       "Click: nothing opened: no link (http://evil.test/ Unable to connect)"},
      {3, 0, false, "", nullptr, "Click: nothing opened: no click action (InputClick=3)"},
  };
  title(meter);
  cache.find(kNewsUrl)->errorText = "http://evil.test/ Unable to connect";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.choice) + "/" + std::to_string(c.item));
    gOpened.clear();
    gOpenFailure = c.openerSays;
    globals.ShowError = c.showError;
    meter.settings.InputClick = c.choice;
    meter.settings.InputClickItem = c.item;
    meter.click(env);
    if (c.opened) {
      EXPECT_THAT(gOpened, ::testing::ElementsAre(c.opened));
    } else {
      EXPECT_TRUE(gOpened.empty());
    }
    EXPECT_EQ(lastLine(), c.logged);
  }
  gOpenFailure.clear();
  // No news site: nothing, even with a URL left over from an earlier site.
  meter.settings.NewsSite.clear();
  meter.settings.InputClick = 2;
  meter.settings.InputClickItem = 0;
  gOpened.clear();
  meter.click(env);
  EXPECT_TRUE(gOpened.empty());
  EXPECT_EQ(lastLine(), "Click: nothing opened: the meter has no news site");
  // A site whose name is missing says so.
  Meter missing = meterFor("Missing");
  missing.settings.InputClick = 1;
  missing.click(env);
  EXPECT_EQ(lastLine(), "Click: nothing opened: No news site named 'Missing' in Korvo.ini.");
  log.closeLog();
  environment.log = nullptr;
}

TEST(WebLinkTest, Rules) {
  EXPECT_TRUE(isWebLink("http://a/"));
  EXPECT_TRUE(isWebLink("hTTpS://a/b?c=d&e=f#g"));
  EXPECT_TRUE(isWebLink("http://a/" + std::string(2048 - 9, 'x')));
  EXPECT_FALSE(isWebLink("http://a/" + std::string(2048 - 8, 'x')));
  for (const char* bad :
       {"", "http:/a", "ftp://a/", "file:///etc", "javascript:alert(1)", "http://a/\tb",
        "http://a/\x7f", "http://a/\"", " http://a/", "C:\\Windows\\calc.exe"})
    EXPECT_FALSE(isWebLink(bad)) << bad;
  EXPECT_FALSE(isWebLink(std::string("http://a/\0b", 11)));
}

}  // namespace
}  // namespace korvo
