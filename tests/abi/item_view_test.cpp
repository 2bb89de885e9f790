// What a meter shows of its items, through the plug-in's exports, with the
// keys in the host's INI file: Include and Exclude, MaxAge, Order, item
// numbers, title lists and tooltips of the items left, DateFormat, and the
// marks of new items across a restart with the copy on disk.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::httpAnswer;
using test::LoopbackServer;
using test::PluginLibrary;
using test::Script;
using SteadyClock = std::chrono::steady_clock;

// Only a hang guard: every wait below ends on an event long before.
constexpr std::chrono::milliseconds kHangGuard{20000};

struct Item {
  std::string title;
  std::string description;
  std::string pubDate;  // empty: none
};

std::string rss(const std::string& channelTitle, const std::vector<Item>& items,
                const std::string& channelDates = "") {
  std::string doc = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>" +
                    channelTitle + "</title><link>http://news.test/</link>" + channelDates;
  for (const Item& item : items) {
    doc += "<item><title>" + item.title + "</title><link>http://news.test/" + item.title +
           "</link><guid>id:" + item.title + "</guid><description>" + item.description +
           "</description>";
    if (!item.pubDate.empty()) doc += "<pubDate>" + item.pubDate + "</pubDate>";
    doc += "</item>";
  }
  return doc + "</channel></rss>\n";
}

Script ok(const std::string& body, std::vector<std::string> headers = {}) {
  return Script().send(httpAnswer("HTTP/1.0 200 OK", std::move(headers), body));
}

// An RFC 822 date, in English whatever the locale.
std::string rfc822(std::int64_t seconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return text;
}

class ItemViewAbiTest : public ::testing::Test {
 protected:
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  // Korvo.ini with the site News; wait: the WaitForDownload value.
  void writeKorvoIni(const std::string& wait = "-1") {
    test::writeWholeFile(dir.file("Korvo.ini"), "[Settings]\nWaitForDownload=" + wait +
                                                    "\nShowError=no\n[NewsSites]\nNews=http://" +
                                                    kAddress + "/news.xml\n");
  }
  // Loads the plug-in with the host INI text hostIni.
  void start(const std::string& hostIni) {
    test::writeWholeFile(dir.file("host.ini"), hostIni);
    plugin = std::make_unique<PluginLibrary>(dir.path());
    ASSERT_TRUE(plugin->loaded()) << plugin->error();
  }
  int meter(const char* section) {
    const int id = api().dllstartup(0, 0);
    api().src_load_settings(id, dir.file("host.ini").c_str(), section);
    return id;
  }
  const test::PluginExports& api() const { return **plugin; }
  std::string list(int id, const char* count = "99") { return api().GetTitleOfItemsNT(id, count); }

  const std::string kAddress = test::caseAddress();
  test::TempDir dir;
  std::unique_ptr<PluginLibrary> plugin;
};

TEST_F(ItemViewAbiTest, IncludeAndExcludeThroughTheHostsKeys) {
  const std::vector<Item> items = {
      {"Rain", "in Spain", ""},           {"Sports", "results, rain delays", ""},
      {"Transport", "strike", ""},        {"Cup", "The WORLD CUP final", ""},
      {"Weather", "sunny", ""},
  };
  LoopbackServer server(kAddress, ok(rss("News", items)));
  ASSERT_TRUE(server.ok()) << server.error();
  writeKorvoIni();
  start(
      "[All]\nNewsSite=News\n"
      "[Rain]\nNewsSite=News\nInclude=RAIN\n"
      "[Parts]\nNewsSite=News\nInclude=sport|port\n"
      "[Phrase]\nNewsSite=News\nInclude=world cup | weather |\n"
      "[Not]\nNewsSite=News\nExclude= rain|sunny \n"
      "[Both]\nNewsSite=News\nInclude=rain\nExclude=delays\n"
      "[Blank]\nNewsSite=News\nInclude= | \nExclude=|\n");
  struct Case {
    const char* section;
    const char* shown;
  } cases[] = {
      {"All", "Rain\nSports\nTransport\nCup\nWeather"},
      {"Rain", "Rain\nSports"},
      {"Parts", "News"},  // no item line: GetTitleOfItemsNT keeps the title
      {"Phrase", "Cup\nWeather"},
      {"Not", "Transport\nCup"},
      {"Both", "Rain"},
      {"Blank", "Rain\nSports\nTransport\nCup\nWeather"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    EXPECT_EQ(list(meter(c.section)), c.shown);
  }
  EXPECT_EQ(server.connections(), 1u);
}

// Item numbers, the title list, GetTitleOfItems' count and the tooltip
// item all count the items left.
TEST_F(ItemViewAbiTest, ItemNumbersAndTooltipsReferToTheItemsLeft) {
  const std::vector<Item> items = {
      {"a", "skip", ""}, {"b", "", ""}, {"c", "skip", ""}, {"d", "", ""}, {"e", "", ""}};
  LoopbackServer server(kAddress, ok(rss("News", items)));
  ASSERT_TRUE(server.ok()) << server.error();
  writeKorvoIni();
  start("[M]\nNewsSite=News\nExclude=skip\nToolTip=6\nToolTipItem=1\n");
  const int id = meter("M");
  EXPECT_EQ(std::string(api().GetItemTitle(id, "0")), "b%tthttp://news.test/d");
  EXPECT_EQ(std::string(api().GetItemLink(id, "2")), "http://news.test/e%tthttp://news.test/d");
  EXPECT_EQ(std::string(api().GetItemTitle(id, "3")), "%tthttp://news.test/d");
  EXPECT_EQ(std::string(api().GetTitleOfItems(id, "2")), "News\nb\nd%tthttp://news.test/d");
  EXPECT_EQ(std::string(api().GetTitleOfItemsNT(id, "9")), "b\nd\ne%tthttp://news.test/d");
}

// Dates relative to the machine's clock, hours apart from every bound, so
// that the time the test takes does not matter.
TEST_F(ItemViewAbiTest, MaxAgeOrderAndDateFormats) {
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  const std::int64_t hour = 3600;
  const std::string old = "Sun, 14 Jun 2020 12:00:00 +0000";
  const std::vector<Item> items = {
      {"undated", "", ""},
      {"five", "", rfc822(now - 5 * hour - 60)},
      {"two", "", rfc822(now - 2 * hour - 60)},
      {"unreadable", "", "someday"},
      {"twoToo", "", rfc822(now - 2 * hour - 60)},
      {"old", "", old},
      {"soon", "", rfc822(now + 3 * hour + 60)},
  };
  LoopbackServer server(
      kAddress, ok(rss("News", items,
                       "<pubDate>" + old + "</pubDate><lastBuildDate>2020-06-14T12:00:00Z</lastBuildDate>")));
  ASSERT_TRUE(server.ok()) << server.error();
  writeKorvoIni();
  start(
      "[Feed]\nNewsSite=News\n"
      "[Young]\nNewsSite=News\nMaxAge=3\n"
      "[Newest]\nNewsSite=News\nOrder=newest\n"
      "[Both]\nNewsSite=News\nMaxAge=3\nOrder=newest\nDateFormat=relative\n"
      "[Local]\nNewsSite=News\nDateFormat=local\n"
      "[Pattern]\nNewsSite=News\nDateFormat=%Y-%m-%d\n");
  const int feed = meter("Feed"), young = meter("Young"), newest = meter("Newest"),
            both = meter("Both"), local = meter("Local"), pattern = meter("Pattern");
  EXPECT_EQ(list(feed), "undated\nfive\ntwo\nunreadable\ntwoToo\nold\nsoon");
  EXPECT_EQ(list(young), "undated\ntwo\nunreadable\ntwoToo\nsoon");
  EXPECT_EQ(list(newest), "soon\ntwo\ntwoToo\nfive\nold\nundated\nunreadable");
  EXPECT_EQ(list(both), "soon\ntwo\ntwoToo\nundated\nunreadable");
  struct Case {
    const char* what;
    int id;
    const char* number;
    const char* shown;
  } cases[] = {
      {"relative, past", both, "1", "2 h ago"},
      {"relative, future", both, "0", "in 3 h"},
      {"relative, undated", both, "3", ""},
      {"relative, unreadable", both, "4", "someday"},
      {"as written", feed, "5", "Sun, 14 Jun 2020 12:00:00 +0000"},
      {"local, another year", local, "5", "14 Jun 2020"},
      {"pattern", pattern, "5", "2020-06-14"},
      {"pattern, unreadable", pattern, "3", "someday"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(std::string(api().GetItemPubDate(c.id, c.number)), c.shown);
  }
  EXPECT_EQ(std::string(api().GetPubDate(pattern)), "2020-06-14");
  EXPECT_EQ(std::string(api().GetLastBuildDate(pattern)), "2020-06-14");
  EXPECT_EQ(std::string(api().GetLastBuildDate(feed)), "2020-06-14T12:00:00Z");
  EXPECT_EQ(std::string(api().GetLastBuildDate(local)), "14 Jun 2020");
  EXPECT_EQ(server.connections(), 1u);
}

// The first start marks nothing; a start that finds the copy on disk marks
// what the download brings beyond it, once the download is shown.
TEST_F(ItemViewAbiTest, NewItemsAgainstTheCopyOnDisk) {
  writeKorvoIni("0");
  test::writeWholeFile(dir.file("host.ini"), "[M]\nNewsSite=News\nMarkNew=\"* \"\n");
  struct Run {
    std::string title;  // of the channel: tells which document shows
    std::vector<Item> items;
    std::string shown;
  } runs[] = {
      {"One", {{"a", "", ""}, {"b", "", ""}}, "a\nb"},
      {"Two", {{"c", "", ""}, {"a", "", ""}, {"b", "", ""}}, "* c\na\nb"},
      {"Three", {{"d", "", ""}, {"c", "", ""}, {"a", "", ""}}, "* d\nc\na"},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.title);
    LoopbackServer server(kAddress, ok(rss(run.title, run.items)));
    ASSERT_TRUE(server.ok()) << server.error();
    plugin = std::make_unique<PluginLibrary>(dir.path());
    ASSERT_TRUE(plugin->loaded()) << plugin->error();
    const int id = meter("M");
    std::string title = api().GetTitle(id);
    for (auto until = SteadyClock::now() + kHangGuard;
         title != run.title && SteadyClock::now() < until;)
      title = api().GetTitle(id);
    ASSERT_EQ(title, run.title);
    EXPECT_EQ(list(id), run.shown);
    EXPECT_EQ(std::string(api().GetItemTitle(id, "0")), run.shown.substr(0, run.shown.find('\n')));
    api().dllshutdown(id);
    plugin.reset();
  }
}

}  // namespace
}  // namespace korvo
