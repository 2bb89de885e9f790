// Meter settings in the host's INI files, site resolution, and the registry.
#include "meters/meter.h"

#include <gtest/gtest.h>

#include "meters/meter_registry.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::TempDir;
using test::readWholeFile;
using test::writeWholeFile;

class MeterTest : public ::testing::Test {
 protected:
  MeterTest() : cache(environment) {
    globals.iniPath = dir.file("Korvo.ini");
    env = MeterEnv{&cache, &globals, nullptr};
  }

  // A meter loaded from a host file holding `body` in section [M].
  Meter loaded(const std::string& body) {
    writeWholeFile(hostIni(), "[M]\n" + body);
    Meter meter(0);
    meter.loadSettings(env, hostIni(), "M");
    return meter;
  }
  std::string hostIni() const { return dir.file("host.ini"); }

  TempDir dir;
  Environment environment;
  FeedCache cache;
  PluginSettings globals;
  MeterEnv env;
};

TEST_F(MeterTest, DefaultsAreTheDocumentedOnes) {
  Meter meter(3);
  const MeterSettings& s = meter.settings;
  EXPECT_EQ(meter.serial(), 3);
  EXPECT_EQ(s.NewsSite, "");
  EXPECT_EQ(s.UpdateIntervall, 180);
  EXPECT_TRUE(s.FilterUnicode && s.FilterHtml && s.ReplaceBr);
  EXPECT_EQ(s.ToolTip + s.ToolTipItem + s.InputClick + s.InputClickItem, 0);
  EXPECT_EQ(meter.feedUrl(), "");
}

struct LoadCase {
  const char* name;
  const char* body;
  MeterSettings expected;
};

MeterSettings with(void (*change)(MeterSettings&)) {
  MeterSettings s;
  change(s);
  return s;
}

TEST_F(MeterTest, LoadTakesOnlyValuesInRange) {
  const LoadCase cases[] = {
      {"empty section", "", MeterSettings()},
      {"interval 0 ignored", "UpdateIntervall=0\n", MeterSettings()},
      {"negative interval ignored", "UpdateIntervall=-5\n", MeterSettings()},
      {"interval taken", "UpdateIntervall=60\n", with([](MeterSettings& s) { s.UpdateIntervall = 60; })},
      {"interval with trailing letters", "UpdateIntervall=90s\n",
       with([](MeterSettings& s) { s.UpdateIntervall = 90; })},
      {"yes in capitals is off", "FilterHtml=YES\n", with([](MeterSettings& s) { s.FilterHtml = false; })},
      {"1 is off", "FilterHtml=1\n", with([](MeterSettings& s) { s.FilterHtml = false; })},
      {"yes is on", "FilterHtml=yes\n", MeterSettings()},
      {"empty value keeps", "FilterHtml=\nReplaceBr=\n", MeterSettings()},
      {"no turns off", "FilterUnicode=no\nReplaceBr=no\n",
       with([](MeterSettings& s) { s.FilterUnicode = false, s.ReplaceBr = false; })},
      {"tooltip 0 taken", "ToolTip=0\n", MeterSettings()},
      {"choices taken", "ToolTip=5\nToolTipItem=2\nInputClick=2\nInputClickItem=7\n",
       with([](MeterSettings& s) { s.ToolTip = 5, s.ToolTipItem = 2, s.InputClick = 2, s.InputClickItem = 7; })},
      {"negative choices ignored", "ToolTip=-1\nInputClickItem=-3\n", MeterSettings()},
      {"out-of-list choice kept as number", "ToolTip=7\n", with([](MeterSettings& s) { s.ToolTip = 7; })},
      {"site name taken", "NewsSite=Example\n", with([](MeterSettings& s) { s.NewsSite = "Example"; })},
      {"keys in other case", "newssite=Example\nupdateintervall=30\n",
       with([](MeterSettings& s) { s.NewsSite = "Example", s.UpdateIntervall = 30; })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeterSettings got = loaded(c.body).settings;
    const MeterSettings& want = c.expected;
    EXPECT_EQ(got.NewsSite, want.NewsSite);
    EXPECT_EQ(got.UpdateIntervall, want.UpdateIntervall);
    EXPECT_EQ(got.FilterUnicode, want.FilterUnicode);
    EXPECT_EQ(got.FilterHtml, want.FilterHtml);
    EXPECT_EQ(got.ReplaceBr, want.ReplaceBr);
    EXPECT_EQ(got.ToolTip, want.ToolTip);
    EXPECT_EQ(got.ToolTipItem, want.ToolTipItem);
    EXPECT_EQ(got.InputClick, want.InputClick);
    EXPECT_EQ(got.InputClickItem, want.InputClickItem);
  }
}

TEST_F(MeterTest, LoadOverMissingKeysKeepsEarlierValues) {
  Meter meter = loaded("NewsSite=One\nToolTip=3\nFilterHtml=no\n");
  writeWholeFile(hostIni(), "[M]\nUpdateIntervall=30\n");
  meter.loadSettings(env, hostIni(), "M");
  EXPECT_EQ(meter.settings.NewsSite, "One");
  EXPECT_EQ(meter.settings.ToolTip, 3);
  EXPECT_FALSE(meter.settings.FilterHtml);
  EXPECT_EQ(meter.settings.UpdateIntervall, 30);
}

TEST_F(MeterTest, SaveWritesEveryKeyInOrder) {
  Meter meter(0);
  meter.saveSettings(env, hostIni(), "Meter1");
  EXPECT_EQ(readWholeFile(hostIni()),
            "[Meter1]\nNewsSite=\nUpdateIntervall=180\nFilterUnicode=yes\nFilterHtml=yes\n"
            "ReplaceBr=yes\nToolTip=0\nToolTipItem=0\nInputClick=0\nInputClickItem=0\n");

  meter.settings.NewsSite = "Site";
  meter.settings.FilterHtml = false;
  meter.settings.ToolTip = 6;
  meter.settings.InputClickItem = -2;
  meter.saveSettings(env, hostIni(), "Meter1");
  EXPECT_EQ(readWholeFile(hostIni()),
            "[Meter1]\nNewsSite=Site\nUpdateIntervall=180\nFilterUnicode=yes\nFilterHtml=no\n"
            "ReplaceBr=yes\nToolTip=6\nToolTipItem=0\nInputClick=0\nInputClickItem=-2\n");
}

TEST_F(MeterTest, SavedSettingsLoadBackUnchanged) {
  Meter meter(0);
  meter.settings = with([](MeterSettings& s) {
    s.NewsSite = "A site", s.UpdateIntervall = 42, s.FilterUnicode = false, s.ToolTip = 4,
    s.ToolTipItem = 9, s.InputClick = 1, s.InputClickItem = 3;
  });
  meter.saveSettings(env, hostIni(), "S");
  Meter back(1);
  back.loadSettings(env, hostIni(), "S");
  EXPECT_EQ(back.settings.NewsSite, "A site");
  EXPECT_EQ(back.settings.UpdateIntervall, 42);
  EXPECT_FALSE(back.settings.FilterUnicode);
  EXPECT_EQ(back.settings.ToolTipItem, 9);
  EXPECT_EQ(back.settings.InputClickItem, 3);
}

// What a meter shows of its items: read when present (an empty value
// too, which turns a text key off), written once used, so that a section
// that never had them stays as it was.
TEST_F(MeterTest, ItemViewKeysLoadSaveAndLeaveOtherSectionsAlone) {
  const std::string plain =
      "[M]\nNewsSite=Site\nUpdateIntervall=180\nFilterUnicode=yes\nFilterHtml=yes\n"
      "ReplaceBr=yes\nToolTip=0\nToolTipItem=0\nInputClick=0\nInputClickItem=0\n";
  writeWholeFile(hostIni(), plain);
  Meter meter(0);
  meter.loadSettings(env, hostIni(), "M");
  EXPECT_EQ(meter.settings.Order, "feed");
  meter.saveSettings(env, hostIni(), "M");
  EXPECT_EQ(readWholeFile(hostIni()), plain);

  meter.settings.DateFormat = "relative";
  meter.settings.Include = "rain | snow";
  meter.settings.Exclude = "sport";
  meter.settings.MaxAge = 48;
  meter.settings.Order = "newest";
  meter.settings.MarkNew = "\xBB ";  // the blank must come back
  meter.saveSettings(env, hostIni(), "M");
  Meter back(1);
  back.loadSettings(env, hostIni(), "M");
  EXPECT_EQ(back.settings.DateFormat, "relative");
  EXPECT_EQ(back.settings.Include, "rain | snow");
  EXPECT_EQ(back.settings.Exclude, "sport");
  EXPECT_EQ(back.settings.MaxAge, 48);
  EXPECT_EQ(back.settings.Order, "newest");
  EXPECT_EQ(back.settings.MarkNew, "\xBB ");
  // Values that readers would trim or unquote go in quotes; a user may
  // write them so too.
  for (const std::string mark : {" new ", "\t*", "\"x\"", "'x'", "\"", "a \"b\""}) {
    back.settings.MarkNew = mark;
    back.saveSettings(env, hostIni(), "M");
    Meter reread(3);
    reread.loadSettings(env, hostIni(), "M");
    EXPECT_EQ(reread.settings.MarkNew, mark);
  }

  // Back to the defaults: the keys stay, with the default values.
  back.settings.DateFormat.clear();
  back.settings.Include.clear();
  back.settings.MaxAge = 0;
  back.settings.Order = "feed";
  back.settings.MarkNew.clear();
  back.saveSettings(env, hostIni(), "M");
  Meter again(2);
  again.settings.DateFormat = again.settings.Include = again.settings.MarkNew = "x";
  again.settings.MaxAge = 5;
  again.loadSettings(env, hostIni(), "M");
  EXPECT_EQ(again.settings.DateFormat, "");
  EXPECT_EQ(again.settings.Include, "");
  EXPECT_EQ(again.settings.Exclude, "sport");
  EXPECT_EQ(again.settings.MaxAge, 0);
  EXPECT_EQ(again.settings.Order, "feed");
  EXPECT_EQ(again.settings.MarkNew, "");
}

TEST_F(MeterTest, ResolveSiteThroughNewsSites) {
  writeWholeFile(globals.iniPath,
                 "[NewsSites]\nGood=http://example.test/feed.xml\nNoPath=http://example.test\n"
                 "Upper=HTTP://example.test/x\nEmpty=\n");
  struct Case {
    const char* site;
    const char* before;  // feedUrl before resolving
    const char* after;
  } cases[] = {
      {"Good", "", "http://example.test/feed.xml"},
      {"good", "", "http://example.test/feed.xml"},  // key names ignore case
      {"Missing", "http://old.test/a", ""},          // "none" is no URL
      {"NoPath", "http://old.test/a", ""},
      {"Upper", "", ""},
      {"Empty", "http://old.test/a", "http://old.test/a"},  // empty value: kept
      {"", "http://old.test/a", "http://old.test/a"},       // no site: kept
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.site);
    Meter meter(0);
    // Give the meter its starting URL through a resolution of its own.
    if (*c.before) {
      writeWholeFile(dir.file("old.ini"), std::string("[NewsSites]\nOld=") + c.before + "\n");
      PluginSettings old = globals;
      old.iniPath = dir.file("old.ini");
      meter.settings.NewsSite = "Old";
      meter.resolveSite(MeterEnv{&cache, &old, nullptr});
      ASSERT_EQ(meter.feedUrl(), c.before);
    }
    meter.settings.NewsSite = c.site;
    meter.resolveSite(env);
    EXPECT_EQ(meter.feedUrl(), c.after);
  }
  EXPECT_NE(cache.find("http://example.test/feed.xml"), nullptr);
  EXPECT_EQ(cache.find("http://example.test"), nullptr);
}

// Every meter left without a feed says why, in its site error and in the
// log; the address is shown without user name and password.
TEST_F(MeterTest, ResolveSiteExplainsAMissingNameOrARefusedAddress) {
  writeWholeFile(globals.iniPath,
                 "[NewsSites]\nGood=http://example.test/feed.xml\nNoPath=http://example.test\n"
                 "Secret=ftp://reader:pw@example.test/x\nWritten=none\nEmpty=\n"
                 "Control=http:/\x01x\n");
  ManualClock clock(1000000000u);
  Logger log(clock);
  log.openLog(dir.path());
  log.setEnabled(true);
  environment.log = &log;
  struct Case {
    const char* site;
    const char* error;
    const char* logged;  // null: no line
  } cases[] = {
      {"Good", "", nullptr},
      {"Missing", "No news site named 'Missing' in Korvo.ini.",
       "Error: No news site named 'Missing' in Korvo.ini."},
      {"NoPath", "Address refused: http://example.test",
       "Error: Address refused: http://example.test (news site 'NoPath')"},
      {"Secret", "Address refused: ftp://example.test/x",
       "Error: Address refused: ftp://example.test/x (news site 'Secret')"},
      {"Written", "Address refused: none", "Error: Address refused: none (news site 'Written')"},
      {"Empty", "Address refused: (empty)",
       "Error: Address refused: (empty) (news site 'Empty')"},
      {"Control", "Address refused: http:/?x",
       "Error: Address refused: http:/?x (news site 'Control')"},
      {"", "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.site);
    writeWholeFile(dir.file("Korvolog.txt"), "");
    log.closeLog();
    log.openLog(dir.path());
    Meter meter(0);
    meter.settings.NewsSite = c.site;
    meter.resolveSite(env);
    EXPECT_EQ(meter.siteError(), c.error);
    EXPECT_EQ(readWholeFile(dir.file("Korvolog.txt")),
              c.logged ? "Sun Sep 09 01:46:40 2001 --> " + std::string(c.logged) + "\n" : "");
    // A good name afterwards clears the error.
    meter.settings.NewsSite = "Good";
    meter.resolveSite(env);
    EXPECT_EQ(meter.siteError(), "");
  }
  log.closeLog();
  environment.log = nullptr;
}

TEST_F(MeterTest, MetersOfOneUrlShareOneFeed) {
  writeWholeFile(globals.iniPath,
                 "[NewsSites]\nA=http://example.test/f\nB=http://example.test/f\n"
                 "C=http://Example.test/f\nD=http://example.test/f/\n");
  for (const char* site : {"A", "B", "C", "D"}) {
    Meter meter(0);
    meter.settings.NewsSite = site;
    meter.resolveSite(env);
  }
  EXPECT_EQ(cache.size(), 3u);
}

TEST(MeterRegistryTest, IdsAndSerialNumbers) {
  MeterRegistry registry;
  registry.getMeter(7).settings.NewsSite = "seven";  // takes serial 0
  EXPECT_EQ(registry.getMeter(7).serial(), 0);
  EXPECT_EQ(registry.createMeter(), 1);
  // Id 2 is made by a query first; the host's next create gets the same
  // id back and the meter stored there stays.
  registry.getMeter(3).settings.NewsSite = "three";  // serial 2, id 3
  EXPECT_EQ(registry.createMeter(), 3);
  EXPECT_EQ(registry.getMeter(3).settings.NewsSite, "three");
  EXPECT_EQ(registry.getMeter(3).serial(), 2);
  EXPECT_EQ(registry.createMeter(), 4);
  registry.removeMeter(7);
  registry.removeMeter(99);
  EXPECT_EQ(registry.find(7), nullptr);
  EXPECT_EQ(registry.find(99), nullptr);
  EXPECT_EQ(registry.getMeter(7).settings.NewsSite, "");
}

TEST(MeterRegistryTest, PasteCopiesSettingsButNotTheUrl) {
  MeterRegistry registry;
  int a = registry.createMeter();
  registry.getMeter(a).settings.NewsSite = "Site";
  registry.getMeter(a).settings.ToolTip = 2;
  registry.pasteSettings(a, 10);
  EXPECT_EQ(registry.getMeter(10).settings.NewsSite, "Site");
  EXPECT_EQ(registry.getMeter(10).settings.ToolTip, 2);
  EXPECT_EQ(registry.getMeter(10).feedUrl(), "");
  registry.pasteSettings(10, 10);
  EXPECT_EQ(registry.getMeter(10).settings.NewsSite, "Site");
}

}  // namespace
}  // namespace korvo
