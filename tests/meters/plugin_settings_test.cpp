#include "meters/plugin_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::readWholeFile;
using test::TempDir;
using test::writeWholeFile;

TEST(PluginSettingsTest, LocateFiles) {
  struct Case {
    const char* moduleFileName;
    const char* directory;
    const char* iniPath;
  };
  const Case cases[] = {
      {"/usr/lib/korvo/libkorvo.so", "/usr/lib/korvo/", "/usr/lib/korvo/Korvo.ini"},
      {"/libkorvo.so", "/", "/Korvo.ini"},
      {"plugins/libkorvo.so", "plugins/", "plugins/Korvo.ini"},
      {"libkorvo.so", "", "Korvo.ini"},  // no separator: bare names
      {"", "./", "./Korvo.ini"},         // the lookup failed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moduleFileName);
    PluginSettings settings;
    settings.locateFiles(c.moduleFileName);
    EXPECT_EQ(settings.moduleDirectory, c.directory);
    EXPECT_EQ(settings.iniPath, c.iniPath);
  }
}

TEST(PluginSettingsTest, LoadGlobals) {
  struct Case {
    const char* what;
    const char* text;  // null: no file
    bool start;        // both switches before the read
    bool showError, doLog;
  };
  const Case cases[] = {
      {"no file", nullptr, false, false, false},
      {"no file keeps current", nullptr, true, true, true},
      {"yes", "[Settings]\nShowError=yes\nDoLog=yes\n", false, true, true},
      {"no", "[Settings]\nShowError=no\nDoLog=no\n", true, false, false},
      {"capital YES is off", "[Settings]\nShowError=YES\nDoLog=Yes\n", true, false, false},
      {"other texts are off", "[Settings]\nShowError=1\nDoLog=on\n", true, false, false},
      {"empty value keeps current", "[Settings]\nShowError=\nDoLog=\n", true, true, true},
      {"missing keys keep current", "[Settings]\n", true, true, true},
      {"one of each", "[Settings]\nDoLog=yes\nShowError=no\n", false, false, true},
      {"names in any case, blanks trimmed", "[settings]\n  dolog = yes \n", false, false, true},
      {"other section ignored", "[NewsSites]\nDoLog=yes\n", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (c.text) writeWholeFile(dir.file("Korvo.ini"), c.text);
    PluginSettings settings;
    settings.locateFiles(dir.file("libkorvo.so"));
    settings.ShowError = settings.DoLog = c.start;
    settings.loadGlobals();
    EXPECT_EQ(settings.ShowError, c.showError);
    EXPECT_EQ(settings.DoLog, c.doLog);
  }
}

TEST(PluginSettingsTest, SaveGlobalsWritesBothKeys) {
  TempDir dir;
  PluginSettings settings;
  settings.locateFiles(dir.file("libkorvo.so"));
  settings.DoLog = true;
  settings.saveGlobals();
  EXPECT_EQ(readWholeFile(settings.iniPath), "[Settings]\nShowError=no\nDoLog=yes\n");

  writeWholeFile(settings.iniPath,
                 "[NewsSites]\nSlashdot=http://rss.slashdot.org/\n\n[Settings]\nDoLog=YES\n");
  settings.DoLog = false;
  settings.ShowError = true;
  settings.saveGlobals();
  EXPECT_EQ(readWholeFile(settings.iniPath),
            "[NewsSites]\nSlashdot=http://rss.slashdot.org/\n\n[Settings]\nDoLog=no\nShowError=yes\n");

  PluginSettings reread;
  reread.locateFiles(dir.file("libkorvo.so"));
  reread.loadGlobals();
  EXPECT_TRUE(reread.ShowError);
  EXPECT_FALSE(reread.DoLog);
}

}  // namespace
}  // namespace korvo
