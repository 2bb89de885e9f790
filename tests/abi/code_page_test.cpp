// Texts through the plug-in's exports in the code page Korvo.ini names:
// every script shown, and every cut of a result on a character boundary.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <map>
#include <string>

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

std::string repeated(const std::string& text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

class CodePageAbiTest : public ::testing::Test {
 protected:
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  // Loads the plug-in with CodePage=codePage and one meter with hostKeys.
  int start(const std::string& codePage, const std::string& hostKeys) {
    test::writeWholeFile(dir.file("Korvo.ini"), "[Settings]\nWaitForDownload=-1\nCodePage=" +
                                                    codePage + "\n[NewsSites]\nNews=http://" +
                                                    kAddress + "/news.xml\n");
    test::writeWholeFile(dir.file("host.ini"), "[A]\nNewsSite=News\n" + hostKeys);
    plugin = std::make_unique<PluginLibrary>(dir.path());
    if (!plugin->loaded()) return -1;
    const int id = (*plugin)->dllstartup(0, 0);
    (*plugin)->src_load_settings(id, dir.file("host.ini").c_str(), "A");
    return id;
  }
  const test::PluginExports& api() const { return **plugin; }

  const std::string kAddress = test::caseAddress();
  test::TempDir dir;
  std::unique_ptr<PluginLibrary> plugin;
};

Script feed(const std::string& contentType, const std::string& document) {
  std::vector<std::string> headers;
  if (!contentType.empty()) headers.push_back("Content-Type: " + contentType);
  return Script().send(httpAnswer("HTTP/1.0 200 OK", headers, document));
}

std::string rss(const std::string& declaration, const std::string& title,
                const std::string& description = "d") {
  return declaration + "<rss><channel><title>" + title + "</title><description>" + description +
         "</description><item><title>" + title + "</title></item></channel></rss>";
}

TEST_F(CodePageAbiTest, EachTargetShowsTheScript) {
  const char cp1251[] = "\xCD\xEE\xE2\xEE\xF1\xF2\xE8";  // Новости
  const char koi8[] = "\xEE\xCF\xD7\xCF\xD3\xD4\xC9";
  const char utf8[] = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8";
  const struct {
    const char* codePage;
    std::string contentType;
    std::string document;
    std::string shown;
  } cases[] = {
      {"utf-8", "text/xml; charset=KOI8-R", rss("", koi8), utf8},
      {"1251", "application/rss+xml", rss("<?xml version=\"1.0\" encoding=\"koi8-r\"?>", koi8),
       cp1251},
      {"UTF-8", "", rss("", std::string(utf8) + " &#8217;"), std::string(utf8) + " \xE2\x80\x99"},
      {"latin1", "", rss("", std::string(utf8) + " &#8217;"), "'"},
      {"1252", "", rss("", "\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC"), "\x93q\x94 \x80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    LoopbackServer server(kAddress, feed(c.contentType, c.document));
    ASSERT_TRUE(server.ok()) << server.error();
    const int id = start(c.codePage, "");
    ASSERT_GE(id, 0) << plugin->error();
    EXPECT_EQ(std::string(api().GetTitle(id)), c.shown);
    EXPECT_EQ(std::string(api().GetItemTitle(id, "0")), c.shown);
    plugin.reset();
  }
}

// ASCII text in UTF-16 with the units of part spliced in where "@" stands.
std::string utf16(const std::string& ascii, const std::u16string& part, bool big) {
  std::string out;
  const auto unit = [&](char16_t u) {
    const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
    out += big ? high : low;
    out += big ? low : high;
  };
  for (char c : ascii) {
    if (c == '@') {
      for (char16_t u : part) unit(u);
    } else {
      unit(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

TEST_F(CodePageAbiTest, Utf16FeedsAreShown) {
  const std::string document =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + rss("", "@") + "\n";
  // Новости café
  const std::u16string news = u"\u041D\u043E\u0432\u043E\u0441\u0442\u0438 caf\u00E9";
  const std::string newsUtf8 = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8";
  const struct {
    const char* what;
    std::string contentType;
    std::string body;
  } cases[] = {
      {"LE with its mark", "text/xml", "\xFF\xFE" + utf16(document, news, false)},
      {"BE with its mark", "", "\xFE\xFF" + utf16(document, news, true)},
      {"LE named by Content-Type alone", "application/rss+xml; charset=utf-16le",
       utf16(document, news, false)},
      {"BE named by Content-Type alone", "text/xml; charset=\"UTF-16BE\"",
       utf16(document, news, true)},
  };
  for (const auto& c : cases) {
    for (const char* codePage : {"utf-8", "latin1"}) {
      SCOPED_TRACE(testing::Message() << c.what << ", " << codePage);
      LoopbackServer server(kAddress, feed(c.contentType, c.body));
      ASSERT_TRUE(server.ok()) << server.error();
      const int id = start(codePage, "");
      ASSERT_GE(id, 0) << plugin->error();
      const std::string shown =
          std::string(codePage) == "latin1" ? "caf\xE9" : newsUtf8 + " caf\xC3\xA9";
      EXPECT_EQ(std::string(api().GetTitle(id)), shown);
      EXPECT_EQ(std::string(api().GetItemTitle(id, "0")), shown);
      EXPECT_EQ(std::string(api().GetDescription(id)), "d");
      plugin.reset();
    }
  }
}

// 2-byte characters from the first byte: the 32767th byte would be the
// first half of one.
TEST_F(CodePageAbiTest, CutsEndOnACharacterBoundary) {
  const std::string cyrillic = repeated("\xD0\x96", 20000);  // Ж
  const std::string sjis = repeated("\x83\x6A", 20000);      // ニ
  const struct {
    const char* codePage;
    std::string document;
    std::string character;  // as the target writes it
  } cases[] = {
      {"utf-8", rss("", cyrillic, cyrillic), "\xD0\x96"},
      {"932", rss("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", sjis, sjis), "\x83\x6A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    LoopbackServer server(kAddress, feed("", c.document));
    ASSERT_TRUE(server.ok()) << server.error();
    const int id = start(c.codePage, "ToolTip=2\n");
    ASSERT_GE(id, 0) << plugin->error();
    const std::string whole = repeated(c.character, 16383);  // 32766 bytes
    // One byte of room is left after the text: the start of the marker.
    const std::string item = api().GetItemTitle(id, "0");
    EXPECT_EQ(item.size(), whole.size() + 1);
    EXPECT_TRUE(item == whole + "%");
    const std::string list = api().GetTitleOfItems(id, "3");
    EXPECT_EQ(list.size(), whole.size()) << "the title, then the items";
    EXPECT_TRUE(list == whole);
    const std::string title = api().GetTitle(id);
    EXPECT_EQ(title.size(), whole.size() + 1);
    EXPECT_TRUE(title == whole + "%");
    plugin.reset();
  }
}

TEST_F(CodePageAbiTest, TheTooltipPartIsCutOnABoundaryToo) {
  const std::string text = repeated("\xE2\x82\xAC", 12000);  // € € €, 3 bytes each
  LoopbackServer server(kAddress, feed("", rss("", "x", text)));
  ASSERT_TRUE(server.ok()) << server.error();
  const int id = start("utf-8", "ToolTip=2\n");
  ASSERT_GE(id, 0) << plugin->error();
  // "x%tt" leaves 32763 bytes: 10921 whole characters.
  const std::string shown = api().GetTitle(id);
  EXPECT_EQ(shown.size(), 4 + 3 * 10921u);
  EXPECT_TRUE(shown == "x%tt" + repeated("\xE2\x82\xAC", 10921));
}

// KORVO_EXPECTED_CODE_PAGE is set by the runs that start this program in a
// given locale (20127: the C locale, which shows only ASCII, where auto
// means latin1). On Windows the system code page follows LANG under Wine.
TEST_F(CodePageAbiTest, AutoFollowsTheSystemCodePage) {
  const char* expected = std::getenv("KORVO_EXPECTED_CODE_PAGE");
  if (!expected) GTEST_SKIP() << "started without KORVO_EXPECTED_CODE_PAGE";
  // Łódź Новости
  const std::string title =
      "\xC5\x81\xC3\xB3\x64\xC5\xBA \xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8";
  const std::map<int, std::string> shown = {
      {20127, "L\xF3" "dz"},  // latin1 mode narrows before the parse, which drops the blank
      {65001, title},
      {28592, "\xA3\xF3\x64\xBC "},
      {1250, "\xA3\xF3\x64\x9F "},
      {1251, "Lodz \xCD\xEE\xE2\xEE\xF1\xF2\xE8"},
      {1252, "L\xF3" "dz "},
      {1253, "Lodz "},
      {932, "Lodz \x84\x4E\x84\x80\x84\x72\x84\x80\x84\x83\x84\x84\x84\x79"},
  };
  const auto row = shown.find(std::atoi(expected));
  ASSERT_NE(row, shown.end()) << expected;
  // A host sets its locale from the environment; so does this one.
  std::setlocale(LC_ALL, "");
  LoopbackServer server(kAddress, feed("", rss("", title)));
  ASSERT_TRUE(server.ok()) << server.error();
  const int id = start("auto", "");
  ASSERT_GE(id, 0) << plugin->error();
  EXPECT_EQ(std::string(api().GetTitle(id)), row->second)
      << "LANG=" << (std::getenv("LANG") ? std::getenv("LANG") : "")
      << " (are the locales installed? scripts/install-locales makes them)";
  plugin.reset();
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace korvo
