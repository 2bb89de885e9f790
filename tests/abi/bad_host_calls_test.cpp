// Calls a careless host may make, through the built plug-in: null texts,
// ids it never got, calls after a meter's shutdown, a meter pasted onto
// itself, item numbers out of every range. Nothing crashes, every call
// returns, and the meters that were set up right go on working.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

std::string feedAnswer() {
  std::string doc = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Channel"
                    "</title><link>http://news.test/</link>";
  for (int i = 0; i < 4; ++i)
    doc += "<item><title>item " + std::to_string(i) + "</title></item>";
  return httpAnswer("HTTP/1.0 200 OK", {}, doc + "</channel></rss>\n");
}

class BadHostCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KORVO_SKIP_WITHOUT_PORT_80();
    server_ = std::make_unique<LoopbackServer>(caseAddress(), Script().send(feedAnswer()));
    ASSERT_TRUE(server_->ok()) << server_->error();
    writeWholeFile(dir_.file("Korvo.ini"),
                   "[Settings]\nWaitForDownload=-1\nShowError=no\n[NewsSites]\nNews=" + server_->url("/feed.xml") + "\n");
    writeWholeFile(hostIni(), "[A]\nNewsSite=News\nUpdateIntervall=600\nToolTip=1\n");
    lib_ = std::make_unique<PluginLibrary>(dir_.path());
    ASSERT_TRUE(lib_->loaded()) << lib_->error();
    a_ = api().dllstartup(0, 0);
    api().src_load_settings(a_, hostIni().c_str(), "A");
    ASSERT_STREQ(api().GetTitle(a_), "Channel%ttChannel");
  }

  const PluginExports& api() const { return **lib_; }
  std::string hostIni() const { return dir_.file("host.ini"); }
  // The settings of meter id as src_save_settings writes them.
  std::string savedSettings(int id) {
    const std::string file = dir_.file("saved.ini");
    writeWholeFile(file, "");
    api().src_save_settings(id, file.c_str(), "M");
    return readWholeFile(file);
  }
  // Meter a_ still shows its feed, without a new download.
  void expectMeterWorks() {
    EXPECT_STREQ(api().GetTitle(a_), "Channel%ttChannel");
    EXPECT_STREQ(api().GetItemTitle(a_, "3"), "item 3%ttChannel");
    EXPECT_EQ(server_->connections(), 1u);
  }

  TempDir dir_;
  std::unique_ptr<LoopbackServer> server_;
  std::unique_ptr<PluginLibrary> lib_;
  int a_ = -1;
};

TEST_F(BadHostCallsTest, NullTextsCountAsEmptyTexts) {
  const std::string before = savedSettings(a_);
  EXPECT_EQ(api().src_load_settings(a_, nullptr, nullptr), 0);
  EXPECT_EQ(api().src_load_settings(a_, nullptr, "A"), 0);
  EXPECT_EQ(api().src_load_settings(a_, hostIni().c_str(), nullptr), 0);
  EXPECT_EQ(savedSettings(a_), before) << "nothing was read, nothing changed";
  EXPECT_EQ(api().src_save_settings(a_, nullptr, nullptr), 0);
  EXPECT_EQ(api().src_save_settings(a_, nullptr, "A"), 0);
  const std::string hostBefore = readWholeFile(hostIni());
  EXPECT_EQ(api().src_save_settings(a_, hostIni().c_str(), nullptr), 0);
  EXPECT_EQ(readWholeFile(hostIni()).substr(0, hostBefore.size()), hostBefore)
      << "the empty section is added after the others";
  EXPECT_STREQ(api().getparam(nullptr), "");

  // A null item number reads as the empty text: item 0, or no items.
  EXPECT_STREQ(api().GetItemTitle(a_, nullptr), "item 0%ttChannel");
  EXPECT_STREQ(api().GetItemLink(a_, nullptr), "%ttChannel");
  EXPECT_STREQ(api().GetItemDescription(a_, nullptr), "%ttChannel");
  EXPECT_STREQ(api().GetItemPubDate(a_, nullptr), "%ttChannel");
  EXPECT_STREQ(api().GetTitleOfItems(a_, nullptr), "Channel%ttChannel");
  EXPECT_STREQ(api().GetTitleOfItemsNT(a_, nullptr), "Channel%ttChannel") << "no line to drop";
  expectMeterWorks();
}

TEST_F(BadHostCallsTest, IdsTheHostNeverGotAnswerEmptyTexts) {
  for (int id : {-1, -2, INT_MIN, INT_MAX, 424242}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(api().src_load_settings(id, hostIni().c_str(), "Missing"), 0);
    EXPECT_EQ(api().src_save_settings(id, dir_.file("other.ini").c_str(), "M"), 0);
    EXPECT_EQ(api().action(0, 5001, id, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(api().pastemeter(id, id), 0);
    for (const auto& q : kChannelQueries) EXPECT_STREQ((api().*q.query)(id), "") << q.name;
    for (const auto& q : kItemQueries) EXPECT_STREQ((api().*q.query)(id, "1"), "") << q.name;
    EXPECT_EQ(api().dllshutdown(id), 0);
    EXPECT_EQ(api().dllshutdown(id), 0);
  }
  expectMeterWorks();
  EXPECT_EQ(api().dllstartup(0, 0), 6) << "one serial number for each meter made so far";
}

TEST_F(BadHostCallsTest, CallsAfterShutdownFindADefaultMeter) {
  const int b = api().dllstartup(0, 0);
  api().src_load_settings(b, hostIni().c_str(), "A");
  EXPECT_EQ(api().dllshutdown(a_), 0);
  EXPECT_EQ(api().dllshutdown(a_), 0) << "twice";
  for (const auto& q : kChannelQueries) EXPECT_STREQ((api().*q.query)(a_), "") << q.name;
  for (const auto& q : kItemQueries) EXPECT_STREQ((api().*q.query)(a_, "0"), "") << q.name;
  EXPECT_EQ(api().action(0, 5001, a_, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(api().dllshutdown(a_), 0);
  EXPECT_STREQ(api().GetTitle(b), "Channel%ttChannel") << "the other meter keeps the feed";
  // Loading the settings again binds the id to the cached feed.
  api().src_load_settings(a_, hostIni().c_str(), "A");
  expectMeterWorks();
  EXPECT_EQ(api().dllshutdown(b), 0);
  EXPECT_EQ(api().dllshutdown(a_), 0);
  EXPECT_STREQ(api().GetItemTitle(b, "0"), "");
}

TEST_F(BadHostCallsTest, PasteOntoItselfChangesNothing) {
  const std::string before = savedSettings(a_);
  EXPECT_EQ(api().pastemeter(a_, a_), 0);
  EXPECT_EQ(savedSettings(a_), before);
  expectMeterWorks();
}

TEST_F(BadHostCallsTest, ItemNumbersOutOfEveryRange) {
  struct Case {
    const char* number;
    const char* title;
    const char* list;
  } cases[] = {
      {"99999999999999999999", "%ttChannel", "Channel\nitem 0\nitem 1\nitem 2\nitem 3%ttChannel"},
      {"-99999999999999999999", "", "Channel%ttChannel"},
      {"2147483647", "%ttChannel", "Channel\nitem 0\nitem 1\nitem 2\nitem 3%ttChannel"},
      {"2147483648", "%ttChannel", "Channel\nitem 0\nitem 1\nitem 2\nitem 3%ttChannel"},
      {"-2147483648", "", "Channel%ttChannel"},
      {"-2147483649", "", "Channel%ttChannel"},
      {"\t 2", "item 2%ttChannel", "Channel\nitem 0\nitem 1%ttChannel"},
      {"1.9", "item 1%ttChannel", "Channel\nitem 0%ttChannel"},
      {"0x3", "item 0%ttChannel", "Channel%ttChannel"},
      {"+", "item 0%ttChannel", "Channel%ttChannel"},
      {"-", "item 0%ttChannel", "Channel%ttChannel"},
      {"-0", "item 0%ttChannel", "Channel%ttChannel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_STREQ(api().GetItemTitle(a_, c.number), c.title);
    EXPECT_STREQ(api().GetTitleOfItems(a_, c.number), c.list);
  }
  const std::string digits(100000, '9');
  EXPECT_STREQ(api().GetItemTitle(a_, digits.c_str()), "%ttChannel");
  expectMeterWorks();
}

}  // namespace
}  // namespace korvo::test
