// The options dialog's behaviour against a window in memory: the lists it
// fills, the settings it shows and stores, the sites it adds and deletes
// in the plug-in's INI file.
#include "dialog/options_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/limits.h"
#include "dialog/dialog_template.h"
#include "support/fake_dialog_view.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using namespace dialog;
using test::FakeDialogView;
using test::readWholeFile;
using test::TempDir;
using test::writeWholeFile;

constexpr int kMeterId = 7;

bool operator==(const MeterSettings& a, const MeterSettings& b) {
  return a.NewsSite == b.NewsSite && a.UpdateIntervall == b.UpdateIntervall &&
         a.FilterUnicode == b.FilterUnicode && a.FilterHtml == b.FilterHtml &&
         a.ReplaceBr == b.ReplaceBr && a.ToolTip == b.ToolTip && a.ToolTipItem == b.ToolTipItem &&
         a.InputClick == b.InputClick && a.InputClickItem == b.InputClickItem &&
         a.DateFormat == b.DateFormat && a.Include == b.Include && a.Exclude == b.Exclude &&
         a.MaxAge == b.MaxAge && a.Order == b.Order && a.MarkNew == b.MarkNew;
}

class OptionsDialogTest : public ::testing::Test {
 protected:
  OptionsDialogTest() : cache(environment) {
    globals.iniPath = dir.file("Korvo.ini");
    env = MeterEnv{&cache, &globals, nullptr};
  }

  Meter& meter() { return registry.getMeter(kMeterId); }
  // Writes the NewsSites section (one "name=url" per line) and opens the
  // dialog on it.
  void open(const std::string& sites) {
    writeWholeFile(globals.iniPath, "[NewsSites]\n" + sites);
    EXPECT_FALSE(dialog.onInitDialog(view)) << "the focus is not moved";
  }
  std::string file() const { return readWholeFile(globals.iniPath); }
  std::vector<std::string> sites() const { return view.entries(kSiteList); }

  TempDir dir;
  Environment environment;
  FeedCache cache;
  PluginSettings globals;
  MeterEnv env;
  MeterRegistry registry;
  FakeDialogView view;
  OptionsDialog dialog{registry, env, kMeterId};
};

const char* const kThreeSites =
    "Alpha=http://alpha.test/rss\nBeta=http://beta.test/rss\nGamma=http://gamma.test/rss\n";

TEST_F(OptionsDialogTest, OpensWithTheSitesInFileOrderAndBothChoiceLists) {
  open(
      "Zeta=http://z.test/\n; a comment\nno equals sign\n=http://nameless.test/\n"
      "Alpha = http://a.test/\nEmpty=\n");
  EXPECT_EQ(sites(), (std::vector<std::string>{"Zeta", "Alpha", "Empty"}));
  EXPECT_EQ(view.entries(kTooltipList),
            (std::vector<std::string>{"none", "title", "description", "link", "itemtitle",
                                      "itemdescription", "itemlink"}));
  EXPECT_EQ(view.entries(kClickList), (std::vector<std::string>{"none", "link", "itemlink"}));
  EXPECT_EQ(view.entries(kDateFormatList),
            (std::vector<std::string>{"as written", "local", "relative", "pattern"}));
  EXPECT_EQ(view.entries(kOrderList), (std::vector<std::string>{"feed order", "newest first"}));
  EXPECT_FALSE(view.result().has_value());
}

TEST_F(OptionsDialogTest, ASectionThatDoesNotFitItsBufferListsNothing) {
  struct Case {
    const char* name;
    std::size_t sites;
    bool listed;
  };
  // Each entry "SiteNNNN=http://site.test/feed/NNNN" is 35 bytes and its
  // zero byte: 277 fit in the 10000 bytes, 300 do not.
  for (const Case& c : {Case{"fits", 277, true}, Case{"too large", 300, false}}) {
    SCOPED_TRACE(c.name);
    std::string lines;
    for (std::size_t i = 0; i < c.sites; ++i) {
      const std::string n = std::to_string(10000 + i).substr(1);
      lines += "Site" + n + "=http://site.test/feed/" + n + "\n";
    }
    FakeDialogView fresh;
    writeWholeFile(globals.iniPath, "[NewsSites]\n" + lines);
    dialog.onInitDialog(fresh);
    EXPECT_EQ(fresh.entryCount(kSiteList), c.listed ? static_cast<int>(c.sites) : 0);
    EXPECT_EQ(file(), "[NewsSites]\n" + lines) << "the sites stay in the file";
  }
}

TEST_F(OptionsDialogTest, ANameTooLongToBeSavedIsNotOffered) {
  const std::string longest(255, 'n'), tooLong(256, 'o');
  open(longest + "=http://a.test/\n" + tooLong + "=http://b.test/\nShort=http://c.test/\n");
  EXPECT_EQ(sites(), (std::vector<std::string>{longest, "Short"}));
}

TEST_F(OptionsDialogTest, SelectsTheFirstSiteBeginningWithTheMetersSite) {
  struct Case {
    const char* sites;
    const char* newsSite;
    int selected;
  };
  const Case cases[] = {
      {"Alphabet=http://a.test/\nAlpha=http://b.test/\n", "Alpha", 0},  // prefix of a longer name
      {kThreeSites, "beta", 1},                                         // letter case ignored
      {kThreeSites, "Gone", 0},                                         // deleted from the file
      {kThreeSites, "", 0},
      {"", "Alpha", -1},  // empty list: no selection
      {"", "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sites) + " / " + c.newsSite);
    FakeDialogView fresh;
    writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + c.sites);
    meter().settings.NewsSite = c.newsSite;
    dialog.onInitDialog(fresh);
    EXPECT_EQ(fresh.selection(kSiteList), c.selected);
  }
}

TEST_F(OptionsDialogTest, ShowsTheMetersSettings) {
  MeterSettings& s = meter().settings;
  s.UpdateIntervall = 3600;
  s.FilterUnicode = false;
  s.FilterHtml = true;
  s.ReplaceBr = false;
  s.ToolTip = 5;
  s.ToolTipItem = 12;
  s.InputClick = 2;
  s.InputClickItem = -3;
  open(kThreeSites);
  EXPECT_EQ(view.selection(kTooltipList), 5);
  EXPECT_EQ(view.boxText(kTooltipItem), "12");
  EXPECT_EQ(view.selection(kClickList), 2);
  EXPECT_EQ(view.boxText(kClickItem), "-3");
  EXPECT_EQ(view.boxText(kInterval), "3600");
  EXPECT_FALSE(view.isChecked(kFilterUnicode));
  EXPECT_TRUE(view.isChecked(kFilterHtml));
  EXPECT_FALSE(view.isChecked(kReplaceBr));
  EXPECT_EQ(view.boxText(kSiteName), "");
  EXPECT_EQ(view.boxText(kSiteUrl), "");
}

// An item box is enabled exactly when its list's choice needs an item:
// the item choices, and no selection at all.
TEST_F(OptionsDialogTest, ItemBoxesFollowTheirListsChoice) {
  struct Case {
    int list, box, choice;
    bool enabled;
  };
  const Case cases[] = {
      {kTooltipList, kTooltipItem, -1, true}, {kTooltipList, kTooltipItem, 0, false},
      {kTooltipList, kTooltipItem, 1, false}, {kTooltipList, kTooltipItem, 2, false},
      {kTooltipList, kTooltipItem, 3, false}, {kTooltipList, kTooltipItem, 4, true},
      {kTooltipList, kTooltipItem, 5, true},  {kTooltipList, kTooltipItem, 6, true},
      {kClickList, kClickItem, -1, true},     {kClickList, kClickItem, 0, false},
      {kClickList, kClickItem, 1, false},     {kClickList, kClickItem, 2, true},
  };
  open(kThreeSites);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.list) + " choice " + std::to_string(c.choice));
    // Opening with the choice as the setting, and choosing it in the list.
    MeterSettings& s = meter().settings;
    (c.list == kTooltipList ? s.ToolTip : s.InputClick) = c.choice;
    FakeDialogView fresh;
    dialog.onInitDialog(fresh);
    EXPECT_EQ(fresh.isEnabled(c.box), c.enabled);
    view.pick(dialog, c.list, c.choice);
    EXPECT_EQ(view.isEnabled(c.box), c.enabled);
  }
}

TEST_F(OptionsDialogTest, ChoosingATooltipTurnsItsItemBoxOffAndOn) {
  meter().settings.ToolTip = 5;
  open(kThreeSites);
  EXPECT_TRUE(view.isEnabled(kTooltipItem));
  view.pick(dialog, kTooltipList, 1);  // "title"
  EXPECT_FALSE(view.isEnabled(kTooltipItem));
  view.pick(dialog, kTooltipList, 6);  // "itemlink"
  EXPECT_TRUE(view.isEnabled(kTooltipItem));
  EXPECT_EQ(meter().settings.ToolTip, 5) << "only Save stores the choice";
  EXPECT_FALSE(view.result().has_value());
}

TEST_F(OptionsDialogTest, ListsActOnlyOnASelectionChange) {
  open(kThreeSites);
  ASSERT_FALSE(view.isEnabled(kTooltipItem));
  view.select(kTooltipList, 4);
  dialog.onCommand(view, kTooltipList, 3);  // a drop-down list opening, say
  EXPECT_FALSE(view.isEnabled(kTooltipItem));
  dialog.onCommand(view, kTooltipList, kSelectionChanged);
  EXPECT_TRUE(view.isEnabled(kTooltipItem));
  ASSERT_FALSE(view.isEnabled(kDatePattern));
  view.select(kDateFormatList, kPatternChoice);
  dialog.onCommand(view, kDateFormatList, 3);
  EXPECT_FALSE(view.isEnabled(kDatePattern));
  dialog.onCommand(view, kDateFormatList, kSelectionChanged);
  EXPECT_TRUE(view.isEnabled(kDatePattern));
  dialog.onCommand(view, 4242, kClicked);  // no such control
  EXPECT_FALSE(view.result().has_value());
}

TEST_F(OptionsDialogTest, AddWritesTheSiteAtOnceAndAppendsIt) {
  open("Beta=http://beta.test/rss\nAlpha=http://alpha.test/rss\n");
  view.pick(dialog, kSiteList, 1);
  view.type(kSiteName, "Delta");
  view.type(kSiteUrl, "http://delta.test/feed.xml");
  // Buttons act on any notification they send.
  dialog.onCommand(view, kAddSite, 5);
  EXPECT_EQ(file(),
            "[NewsSites]\nBeta=http://beta.test/rss\nAlpha=http://alpha.test/rss\n"
            "Delta=http://delta.test/feed.xml\n");
  EXPECT_EQ(sites(), (std::vector<std::string>{"Beta", "Alpha", "Delta"}));
  EXPECT_EQ(view.selection(kSiteList), 1) << "the selection stays where it was";
  EXPECT_EQ(view.boxText(kSiteName), "");
  EXPECT_EQ(view.boxText(kSiteUrl), "");
}

TEST_F(OptionsDialogTest, AddTakesHttpsAndPortAddresses) {
  open("Beta=http://beta.test/rss\n");
  for (const char* url : {"https://delta.test/feed.xml", "http://[::1]:8080/rss"}) {
    view.type(kSiteName, "Delta");
    view.type(kSiteUrl, url);
    view.click(dialog, kAddSite);
    EXPECT_THAT(file(), ::testing::HasSubstr(std::string("Delta=") + url + "\n"));
  }
}

TEST_F(OptionsDialogTest, AddToAnEmptyListSelectsTheNewSite) {
  writeWholeFile(globals.iniPath, "[Settings]\nDoLog=yes\n");
  dialog.onInitDialog(view);
  ASSERT_EQ(view.selection(kSiteList), -1);
  view.type(kSiteName, "Solo");
  view.type(kSiteUrl, "http://solo.test/");
  view.click(dialog, kAddSite);
  EXPECT_EQ(sites(), std::vector<std::string>{"Solo"});
  EXPECT_EQ(view.selection(kSiteList), 0);
  EXPECT_EQ(file(), "[Settings]\nDoLog=yes\n[NewsSites]\nSolo=http://solo.test/\n");
}

TEST_F(OptionsDialogTest, AddOfAnExistingNameReplacesItsUrlAndListsItTwice) {
  open(kThreeSites);
  view.type(kSiteName, "Beta");
  view.type(kSiteUrl, "http://new-beta.test/rss");
  view.click(dialog, kAddSite);
  EXPECT_EQ(file(),
            "[NewsSites]\nAlpha=http://alpha.test/rss\nBeta=http://new-beta.test/rss\n"
            "Gamma=http://gamma.test/rss\n");
  EXPECT_EQ(sites(), (std::vector<std::string>{"Alpha", "Beta", "Gamma", "Beta"}));
}

TEST_F(OptionsDialogTest, AddUsesAtMost255CharactersOfEachBox) {
  open("");
  const std::string name(300, 'n');
  const std::string url = "http://long.test/" + std::string(300, 'p');
  view.type(kSiteName, name);
  view.type(kSiteUrl, url);
  view.click(dialog, kAddSite);
  EXPECT_EQ(sites(), std::vector<std::string>{name.substr(0, 255)});
  EXPECT_EQ(file(), "[NewsSites]\n" + name.substr(0, 255) + "=" + url.substr(0, 255) + "\n");
}

// An invalid site changes nothing and says why in the status line (and the
// log); both boxes keep their text. Names that could not be read back from
// the file count as invalid. A site added afterwards clears the status line.
TEST_F(OptionsDialogTest, AddRefusesAnIncompleteOrUnreadableSiteAndSaysWhy) {
  struct Case {
    const char* why;
    std::string name, url;
    const char* status;
  };
  const std::string url = "http://site.test/rss";
  const char* const kNoName = "Not added: the site needs a name.";
  const char* const kBadUrl = "Not added: the address must look like http://example.org/news.xml.";
  const char* const kBadName =
      "Not added: the name may not hold \"=\" nor start with \"[\" or \";\".";
  const char* const kControl = "Not added: no control characters in the name or the address.";
  const Case cases[] = {
      {"empty name", "", url, kNoName},
      {"empty URL", "Site", "", "Not added: the site needs an address (Url)."},
      {"not http or https", "Site", "ftp://site.test/rss", kBadUrl},
      {"upper-case scheme", "Site", "HTTPS://site.test/rss", kBadUrl},
      {"no slash after an https host", "Site", "https://site.test", kBadUrl},
      {"no slash after the host", "Site", "http://site.test", kBadUrl},
      {"too short", "Site", "http://a", kBadUrl},
      {"= in the name", "Left=Right", url, kBadName},
      {"[ first", "[Section", url, kBadName},
      {"; first", ";Comment", url, kBadName},
      {"[ after blanks", "  [Section", url, kBadName},
      {"only blanks", "   ", url, kNoName},
      {"tab in the name", "Tab\tName", url, kControl},
      {"control character in the name", std::string("Bell\x07", 5), url, kControl},
      {"DEL in the name", "Del\x7f", url, kControl},
      {"control character in the URL", "Site", "http://site.test/\x01rss", kControl},
  };
  ManualClock clock(1000000000u);
  Logger log(clock);
  log.openLog(dir.path());
  log.setEnabled(true);
  environment.log = &log;
  open(kThreeSites);
  const std::string before = file();
  std::string logged;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    view.type(kSiteName, c.name);
    view.type(kSiteUrl, c.url);
    view.click(dialog, kAddSite);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(sites(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(view.boxText(kSiteName), c.name);
    EXPECT_EQ(view.boxText(kSiteUrl), c.url);
    EXPECT_EQ(view.boxText(kAddStatus), c.status);
    logged += "Sun Sep 09 01:46:40 2001 --> Add site: " + std::string(c.status) + "\n";
  }
  EXPECT_FALSE(view.result().has_value());
  EXPECT_EQ(readWholeFile(dir.file("Korvolog.txt")), logged);
  view.type(kSiteName, "Site");
  view.type(kSiteUrl, url);
  view.click(dialog, kAddSite);
  EXPECT_EQ(view.boxText(kAddStatus), "");
  EXPECT_EQ(sites(), (std::vector<std::string>{"Alpha", "Beta", "Gamma", "Site"}));
  log.closeLog();
  environment.log = nullptr;
}

TEST_F(OptionsDialogTest, AddThatCannotWriteChangesNothing) {
  open(kThreeSites);
  globals.iniPath = dir.file("missing/Korvo.ini");
  view.type(kSiteName, "Delta");
  view.type(kSiteUrl, "http://delta.test/");
  view.click(dialog, kAddSite);
  EXPECT_EQ(sites(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
  EXPECT_EQ(view.boxText(kSiteName), "Delta");
  EXPECT_EQ(view.boxText(kSiteUrl), "http://delta.test/");
  EXPECT_EQ(view.boxText(kAddStatus), "Not added: Korvo.ini could not be written.");
  EXPECT_FALSE(std::filesystem::exists(globals.iniPath));
}

TEST_F(OptionsDialogTest, DeleteRemovesTheSiteAndSelectsTheOneBefore) {
  struct Case {
    int deleted;
    std::vector<std::string> left;
    int selected;
    std::string file;
  };
  const Case cases[] = {
      {2, {"Alpha", "Beta"}, 1, "Alpha=http://alpha.test/rss\nBeta=http://beta.test/rss\n"},
      {1, {"Alpha", "Gamma"}, 0, "Alpha=http://alpha.test/rss\nGamma=http://gamma.test/rss\n"},
      {0, {"Beta", "Gamma"}, -1, "Beta=http://beta.test/rss\nGamma=http://gamma.test/rss\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deleted);
    FakeDialogView fresh;
    writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
    meter().settings.NewsSite = "Beta";
    dialog.onInitDialog(fresh);
    fresh.pick(dialog, kSiteList, c.deleted);
    fresh.click(dialog, kDeleteSite);
    EXPECT_EQ(fresh.entries(kSiteList), c.left);
    EXPECT_EQ(fresh.selection(kSiteList), c.selected);
    EXPECT_EQ(file(), "[NewsSites]\n" + c.file);
    EXPECT_EQ(meter().settings.NewsSite, "Beta") << "only Save changes the meter";
    EXPECT_FALSE(fresh.result().has_value());
  }
}

TEST_F(OptionsDialogTest, DeleteWithoutASelectionDoesNothing) {
  for (const char* sites : {"", kThreeSites}) {
    SCOPED_TRACE(sites);
    FakeDialogView fresh;
    writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + sites);
    dialog.onInitDialog(fresh);
    fresh.select(kSiteList, -1);
    const auto before = fresh.entries(kSiteList);
    fresh.click(dialog, kDeleteSite);
    EXPECT_EQ(fresh.entries(kSiteList), before);
    EXPECT_EQ(file(), std::string("[NewsSites]\n") + sites);
  }
}

TEST_F(OptionsDialogTest, DeleteThatCannotWriteStillTakesTheSiteOffTheList) {
  open(kThreeSites);
  globals.iniPath = dir.file("missing/Korvo.ini");
  view.pick(dialog, kSiteList, 1);
  view.click(dialog, kDeleteSite);
  EXPECT_EQ(sites(), (std::vector<std::string>{"Alpha", "Gamma"}));
}

TEST_F(OptionsDialogTest, ReadIntegerReadsAsAStreamExtraction) {
  struct Case {
    const char* text;
    std::optional<int> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"-5", -5},
      {"+7", 7},
      {"abc", std::nullopt},
      {"  300xyz", 300},
      {"\t\n 42", 42},
      {"00012", 12},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"- 5", std::nullopt},
      {"+-5", std::nullopt},
      {"2147483647", 2147483647},
      {"2147483648", std::nullopt},
      {"-2147483648", -2147483647 - 1},
      {"-2147483649", std::nullopt},
      {"99999999999", std::nullopt},
      {"99999999999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(OptionsDialog::readInteger(c.text), c.value);
  }
}

// A number box that is empty, holds no number or holds one out of range
// leaves its setting as it was.
TEST_F(OptionsDialogTest, SaveTakesOnlyNumbersInRange) {
  struct Case {
    const char* text;
    int interval;  // stored from the interval box; the old value is 180
    int item;      // stored from both item boxes and the age box; the old value is 4
  };
  const Case cases[] = {
      {"0", 180, 0},           {"-5", 180, 4}, {"abc", 180, 4}, {"  300xyz", 300, 300},
      {"99999999999", 180, 4}, {"", 180, 4},   {"1", 1, 1},     {"+25", 25, 25},
  };
  writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MeterSettings& s = meter().settings;
    s = MeterSettings{};
    s.ToolTip = 4;
    s.InputClick = 2;
    s.ToolTipItem = s.InputClickItem = s.MaxAge = 4;
    FakeDialogView fresh;
    dialog.onInitDialog(fresh);
    fresh.type(kInterval, c.text);
    fresh.type(kTooltipItem, c.text);
    fresh.type(kClickItem, c.text);
    fresh.type(kMaxAge, c.text);
    fresh.click(dialog, kSave);
    EXPECT_EQ(s.UpdateIntervall, c.interval);
    EXPECT_EQ(s.ToolTipItem, c.item);
    EXPECT_EQ(s.InputClickItem, c.item);
    EXPECT_EQ(s.MaxAge, c.item);
  }
}

TEST_F(OptionsDialogTest, LettersInAnItemBoxLeaveItWhateverTheIntervalBoxHolds) {
  meter().settings.ToolTipItem = 3;
  open(kThreeSites);
  view.type(kTooltipItem, "two");
  view.type(kInterval, "600");
  view.click(dialog, kSave);
  EXPECT_EQ(meter().settings.ToolTipItem, 3);
  EXPECT_EQ(meter().settings.UpdateIntervall, 600);
}

TEST_F(OptionsDialogTest, SaveStoresEveryControlAndEndsTheDialog) {
  open(kThreeSites);
  view.pick(dialog, kSiteList, 2);
  view.pick(dialog, kTooltipList, 6);
  view.type(kTooltipItem, "3");
  view.pick(dialog, kClickList, 1);
  view.type(kClickItem, "9");
  view.type(kInterval, "900");
  view.check(kFilterUnicode, false);
  view.check(kFilterHtml, false);
  view.check(kReplaceBr, true);
  view.click(dialog, kSave);
  const MeterSettings& s = meter().settings;
  EXPECT_EQ(s.NewsSite, "Gamma");
  EXPECT_EQ(s.ToolTip, 6);
  EXPECT_EQ(s.ToolTipItem, 3);
  EXPECT_EQ(s.InputClick, 1);
  EXPECT_EQ(s.InputClickItem, 9);
  EXPECT_EQ(s.UpdateIntervall, 900);
  EXPECT_FALSE(s.FilterUnicode);
  EXPECT_FALSE(s.FilterHtml);
  EXPECT_TRUE(s.ReplaceBr);
  EXPECT_EQ(view.result(), 0);
  EXPECT_EQ(file(), std::string("[NewsSites]\n") + kThreeSites)
      << "the meter is stored by the host";
}

TEST_F(OptionsDialogTest, SaveWithoutSelectionsStoresNoneOfThem) {
  meter().settings.NewsSite = "Alpha";
  open(kThreeSites);
  view.pick(dialog, kSiteList, -1);
  view.pick(dialog, kTooltipList, -1);
  view.pick(dialog, kClickList, -1);
  view.click(dialog, kSave);
  EXPECT_EQ(meter().settings.NewsSite, "");
  EXPECT_EQ(meter().settings.ToolTip, -1);
  EXPECT_EQ(meter().settings.InputClick, -1);
}

TEST_F(OptionsDialogTest, SaveOnAnEmptyListStoresTheEmptySite) {
  meter().settings.NewsSite = "Alpha";
  open("");
  view.click(dialog, kDeleteSite);
  view.click(dialog, kSave);
  EXPECT_EQ(meter().settings.NewsSite, "");
}

TEST_F(OptionsDialogTest, DeletingTheFirstSiteThenSavingStoresTheEmptySite) {
  meter().settings.NewsSite = "Alpha";
  open(kThreeSites);
  view.click(dialog, kDeleteSite);
  view.click(dialog, kSave);
  EXPECT_EQ(meter().settings.NewsSite, "");
}

TEST_F(OptionsDialogTest, AMeterWhoseSiteIsGoneOpensOnTheFirstAndSavesIt) {
  meter().settings.NewsSite = "Vanished";
  open(kThreeSites);
  view.click(dialog, kSave);
  EXPECT_EQ(meter().settings.NewsSite, "Alpha");
  EXPECT_EQ(meter().feedUrl(), "http://alpha.test/rss");
}

TEST_F(OptionsDialogTest, SaveResolvesTheNewSiteSoTheNextQueryUsesItsFeed) {
  writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
  meter().settings.NewsSite = "Alpha";
  meter().resolveSite(env);
  ASSERT_EQ(meter().feedUrl(), "http://alpha.test/rss");
  dialog.onInitDialog(view);
  view.type(kSiteName, "Delta");
  view.type(kSiteUrl, "http://delta.test/rss");
  view.click(dialog, kAddSite);
  view.pick(dialog, kSiteList, 3);
  view.click(dialog, kSave);
  EXPECT_EQ(meter().settings.NewsSite, "Delta");
  EXPECT_EQ(meter().feedUrl(), "http://delta.test/rss");
  EXPECT_NE(cache.find("http://delta.test/rss"), nullptr);
}

TEST_F(OptionsDialogTest, CancelAndCloseKeepTheMeterButNotTheFileAsItWas) {
  for (bool viaCloseBox : {false, true}) {
    SCOPED_TRACE(viaCloseBox ? "close box" : "Cancel");
    writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
    Meter& m = meter();
    m.settings = MeterSettings{};
    m.settings.NewsSite = "Beta";
    m.resolveSite(env);
    const MeterSettings before = m.settings;
    FakeDialogView fresh;
    dialog.onInitDialog(fresh);
    fresh.type(kSiteName, "Delta");
    fresh.type(kSiteUrl, "http://delta.test/rss");
    fresh.click(dialog, kAddSite);
    fresh.pick(dialog, kSiteList, 3);
    fresh.pick(dialog, kTooltipList, 2);
    fresh.type(kInterval, "42");
    fresh.check(kReplaceBr, false);
    fresh.pick(dialog, kDateFormatList, 1);
    fresh.type(kInclude, "storm");
    fresh.type(kExclude, "sport");
    fresh.pick(dialog, kOrderList, 1);
    fresh.type(kMaxAge, "12");
    fresh.type(kMarkNew, "* ");
    if (viaCloseBox)
      dialog.onClose(fresh);
    else
      fresh.click(dialog, kCancel);
    EXPECT_EQ(fresh.result(), 0);
    EXPECT_TRUE(m.settings == before);
    EXPECT_EQ(m.feedUrl(), "http://beta.test/rss");
    EXPECT_EQ(file(), std::string("[NewsSites]\n") + kThreeSites + "Delta=http://delta.test/rss\n");
  }
}

// How a DateFormat shows (the list's choice, the pattern box and whether it
// is enabled) and what Save stores after the user's pick; a setting that
// still means what is chosen is stored as it was written.
TEST_F(OptionsDialogTest, DateFormatShowsAsAChoiceOrAPatternAndSavesWhatIsChosen) {
  constexpr int kNoPick = -2;
  struct Case {
    const char* setting;
    int shown;
    const char* box;
    int pick;           // kNoPick: the list is left alone
    const char* typed;  // into the pattern box; null: left alone
    bool enabled;       // the pattern box, after the pick
    const char* saved;
  };
  const Case cases[] = {
      {"", 0, "", kNoPick, nullptr, false, ""},
      {"local", 1, "", kNoPick, nullptr, false, "local"},
      {"relative", 2, "", kNoPick, nullptr, false, "relative"},
      {"Local", 1, "", kNoPick, nullptr, false, "Local"},
      {"RELATIVE", 2, "", kNoPick, nullptr, false, "RELATIVE"},
      {"%d %b %H:%M", 3, "%d %b %H:%M", kNoPick, nullptr, true, "%d %b %H:%M"},
      {"%H:%M", 3, "%H:%M", 0, nullptr, false, ""},
      {"%H:%M", 3, "%H:%M", 1, nullptr, false, "local"},
      {"%H:%M", 3, "%H:%M", 2, nullptr, false, "relative"},
      {"%H:%M", 3, "%H:%M", kNoPick, "%Y-%m-%d", true, "%Y-%m-%d"},
      {"", 0, "", 3, "%a %H:%M", true, "%a %H:%M"},
      {"local", 1, "", 3, nullptr, true, ""},  // an empty pattern: as written
      {"local", 1, "", 3, "local", true, "local"},
      {"Local", 1, "", 3, "relative", true, "relative"},
      {"local", 1, "", 0, "%H", false, ""},  // the box counts only for "pattern"
      {"%H:%M", 3, "%H:%M", -1, nullptr, false, "%H:%M"},  // no choice: unchanged
  };
  writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setting) + " pick " + std::to_string(c.pick));
    meter().settings.DateFormat = c.setting;
    FakeDialogView fresh;
    dialog.onInitDialog(fresh);
    EXPECT_EQ(fresh.selection(kDateFormatList), c.shown);
    EXPECT_EQ(fresh.boxText(kDatePattern), c.box);
    EXPECT_EQ(fresh.isEnabled(kDatePattern), c.shown == kPatternChoice);
    if (c.pick != kNoPick) fresh.pick(dialog, kDateFormatList, c.pick);
    if (c.typed != nullptr) fresh.type(kDatePattern, c.typed);
    EXPECT_EQ(fresh.isEnabled(kDatePattern), c.enabled);
    fresh.click(dialog, kSave);
    EXPECT_EQ(meter().settings.DateFormat, c.saved);
  }
}

// "feed order" stands for every value but "newest" (in any letter case),
// as the item view reads them; a value the list does not name is stored
// again as it was until the user picks an entry.
TEST_F(OptionsDialogTest, OrderShowsFeedOrderForAnyOtherValueAndKeepsItUnlessPicked) {
  struct Case {
    const char* setting;
    int shown;
    std::vector<int> picks;
    const char* saved;
  };
  const Case cases[] = {
      {"feed", 0, {}, "feed"},
      {"newest", 1, {}, "newest"},
      {"Newest", 1, {}, "Newest"},
      {"oldest", 0, {}, "oldest"},
      {"", 0, {}, ""},
      {"feed", 0, {1}, "newest"},
      {"newest", 1, {0}, "feed"},
      {"oldest", 0, {1}, "newest"},
      {"oldest", 0, {1, 0}, "feed"},
      {"oldest", 0, {0}, "feed"},
      {"newest", 1, {-1}, "newest"},  // no choice: unchanged
  };
  writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setting) + " after " + std::to_string(c.picks.size()) + " picks");
    meter().settings.Order = c.setting;
    FakeDialogView fresh;
    dialog.onInitDialog(fresh);
    EXPECT_EQ(fresh.selection(kOrderList), c.shown);
    for (int pick : c.picks) fresh.pick(dialog, kOrderList, pick);
    fresh.click(dialog, kSave);
    EXPECT_EQ(meter().settings.Order, c.saved);
  }
  // A pick made in one opening of the dialog does not count in the next.
  meter().settings.Order = "oldest";
  FakeDialogView first;
  dialog.onInitDialog(first);
  first.pick(dialog, kOrderList, 1);
  dialog.onCancel(first);
  FakeDialogView second;
  dialog.onInitDialog(second);
  second.click(dialog, kSave);
  EXPECT_EQ(meter().settings.Order, "oldest");
}

TEST_F(OptionsDialogTest, ShowsAndSavesTheFiltersTheAgeAndTheMark) {
  MeterSettings& s = meter().settings;
  s.Include = "storm | flood warning";
  s.Exclude = "sport";
  s.MaxAge = 48;
  s.MarkNew = "\xbb ";
  open(kThreeSites);
  EXPECT_EQ(view.boxText(kInclude), "storm | flood warning");
  EXPECT_EQ(view.boxText(kExclude), "sport");
  EXPECT_EQ(view.boxText(kMaxAge), "48");
  EXPECT_EQ(view.boxText(kMarkNew), "\xbb ");
  view.type(kInclude, "harbour|ferry");
  view.type(kExclude, "");
  view.type(kMaxAge, "6");
  view.type(kMarkNew, "NEW: ");
  view.click(dialog, kSave);
  EXPECT_EQ(s.Include, "harbour|ferry");
  EXPECT_EQ(s.Exclude, "");
  EXPECT_EQ(s.MaxAge, 6);
  EXPECT_EQ(s.MarkNew, "NEW: ");
}

// What the dialog stores must come back whole from the host's INI file:
// one line each, and no more than a read of it gives back. A box takes no
// more than that as typed; a line break pasted into it becomes a blank.
TEST_F(OptionsDialogTest, TextsAreStoredAsTheIniFileReadsThemBack) {
  struct Case {
    const char* why;
    int box;
    std::string typed;
    std::string stored;
  };
  const std::string longest(limits::kIniTextBuffer - 1, 'w');
  const Case cases[] = {
      {"line feed", kInclude, "storm\nflood", "storm flood"},
      {"CR LF, CR and LF", kExclude, "a\r\nb\rc\nd", "a b c d"},
      {"two in a row", kInclude, "a\n\nb", "a  b"},
      {"at either end", kMarkNew, "\r\n* \n", "* "},
      {"line feed in a pattern", kDatePattern, "%H:%M\r\n%d", "%H:%M %d"},
      {"longest that reads back", kInclude, longest, longest},
      {"longer", kExclude, longest + "tail", longest},
  };
  writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
  const std::string hostIni = dir.file("host.ini");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    meter().settings = MeterSettings{};
    meter().settings.DateFormat = "%H";
    FakeDialogView fresh;
    dialog.onInitDialog(fresh);
    fresh.type(c.box, c.typed);
    fresh.click(dialog, kSave);
    const MeterSettings& s = meter().settings;
    const std::string& stored = c.box == kInclude   ? s.Include
                                : c.box == kExclude ? s.Exclude
                                : c.box == kMarkNew ? s.MarkNew
                                                    : s.DateFormat;
    EXPECT_EQ(stored, c.stored);
    writeWholeFile(hostIni, "");
    meter().saveSettings(env, hostIni, "Meter");
    Meter reread(1);
    reread.loadSettings(env, hostIni, "Meter");
    EXPECT_EQ(reread.settings.Include, s.Include);
    EXPECT_EQ(reread.settings.Exclude, s.Exclude);
    EXPECT_EQ(reread.settings.DateFormat, s.DateFormat);
    EXPECT_EQ(reread.settings.NewsSite, "Alpha") << "no key was broken off its line";
  }
}

// A text longer than the box takes, set by the program rather than typed,
// is cut where a read of the INI file would cut it; one that fits is kept
// whole (a box read as the number boxes are would keep 255 bytes of it).
TEST_F(OptionsDialogTest, ALongTextLoadedFromTheFileIsSavedWhole) {
  const std::string loaded(700, 'x');
  MeterSettings& s = meter().settings;
  s.Include = s.Exclude = s.MarkNew = loaded;
  s.DateFormat = "%H" + loaded;
  open(kThreeSites);
  view.setText(kExclude, loaded + loaded);
  view.click(dialog, kSave);
  EXPECT_EQ(s.Include, loaded);
  EXPECT_EQ(s.Exclude, (loaded + loaded).substr(0, limits::kIniTextBuffer - 1));
  EXPECT_EQ(s.MarkNew, loaded);
  EXPECT_EQ(s.DateFormat, "%H" + loaded);
}

TEST_F(OptionsDialogTest, AnUnknownMeterIdGetsADefaultMeter) {
  OptionsDialog other(registry, env, 99);
  writeWholeFile(globals.iniPath, std::string("[NewsSites]\n") + kThreeSites);
  EXPECT_EQ(registry.find(99), nullptr);
  other.onInitDialog(view);
  ASSERT_NE(registry.find(99), nullptr);
  EXPECT_EQ(view.boxText(kInterval), "180");
  EXPECT_EQ(view.selection(kTooltipList), 0);
  EXPECT_FALSE(view.isEnabled(kTooltipItem));
  EXPECT_EQ(view.selection(kDateFormatList), 0);
  EXPECT_FALSE(view.isEnabled(kDatePattern));
  EXPECT_EQ(view.selection(kOrderList), 0);
  EXPECT_EQ(view.boxText(kMaxAge), "0");
}

}  // namespace
}  // namespace korvo
