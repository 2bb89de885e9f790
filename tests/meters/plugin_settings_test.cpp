#include "meters/plugin_settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "platform/text_conversion.h"
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

TEST(PluginSettingsTest, WaitForDownloadIsReadButNeverWritten) {
  struct Case {
    const char* text;
    int wait;
  };
  const Case cases[] = {
      {"", 250},                          // missing: the default
      {"WaitForDownload=0\n", 0},         // never wait
      {"WaitForDownload=-1\n", -1},       // the whole download
      {"waitfordownload = 400 \n", 400},
      {"WaitForDownload=1000\n", 1000},
      {"WaitForDownload=5000\n", 1000},   // at most the second it is spread over
      {"WaitForDownload=-7\n", 250},      // no meaning: the default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    const std::string file = std::string("[Settings]\nShowError=no\nDoLog=no\n") + c.text;
    writeWholeFile(dir.file("Korvo.ini"), file);
    PluginSettings settings;
    settings.locateFiles(dir.file("libkorvo.so"));
    settings.loadGlobals();
    EXPECT_EQ(settings.WaitForDownload, c.wait);
    settings.saveGlobals();
    EXPECT_EQ(readWholeFile(settings.iniPath), file) << "left as it was";
  }
}

TEST(PluginSettingsTest, SaveGlobalsWritesBothKeys) {
  TempDir dir;
  PluginSettings settings;
  settings.locateFiles(dir.file("libkorvo.so"));
  settings.loadGlobals();
  settings.DoLog = true;
  settings.saveGlobals();
  EXPECT_EQ(readWholeFile(settings.iniPath), "[Settings]\nShowError=no\nDoLog=yes\n");

  writeWholeFile(settings.iniPath,
                 "[NewsSites]\nSlashdot=http://rss.slashdot.org/\n\n[Settings]\nDoLog=YES\n");
  settings.loadGlobals();
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

// A switch is written back only where the file still holds what was read
// (or where its key is missing): an edit made in between stays.
TEST(PluginSettingsTest, SaveGlobalsKeepsEditsMadeSinceTheRead) {
  struct Case {
    const char* what;
    const char* atLoad;  // the whole file; null: none
    const char* edit;    // the whole file before saveGlobals; null: left as it was
    bool showErrorOn;    // the switches in memory when saved
    const char* showError;  // expected in the file afterwards
    const char* doLog;
  };
  const Case cases[] = {
      {"no file: both written", nullptr, nullptr, false, "no", "no"},
      {"unchanged: written as the switch is", "[Settings]\nShowError=YES\nDoLog=\n", nullptr, true,
       "yes", "no"},
      {"edited: kept", "[Settings]\nShowError=no\nDoLog=no\n",
       "[Settings]\nShowError=yes\nDoLog=no\n", false, "yes", "no"},
      {"edited to the same meaning: kept", "[Settings]\nShowError=no\nDoLog=no\n",
       "[Settings]\nShowError=No\nDoLog=no\n", false, "No", "no"},
      {"emptied: kept", "[Settings]\nShowError=yes\nDoLog=no\n",
       "[Settings]\nShowError=\nDoLog=no\n", true, "", "no"},
      {"added since: kept", "[NewsSites]\n", "[Settings]\nDoLog=yes\n", false, "no", "yes"},
      {"file made since: kept", nullptr, "[Settings]\nShowError=yes\n", false, "yes", "no"},
      {"removed since: written again", "[Settings]\nShowError=yes\nDoLog=yes\n",
       "[Settings]\nDoLog=yes\n", true, "yes", "yes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    PluginSettings settings;
    settings.locateFiles(dir.file("korvo.dll"));
    if (c.atLoad) writeWholeFile(settings.iniPath, c.atLoad);
    settings.loadGlobals();
    if (c.edit) {
      writeWholeFile(settings.iniPath, c.edit);
      // A cached reader (Wine's private-profile functions) reads again only
      // when the file's time changed; an edit within the same clock tick
      // would not show.
      files::setModifiedTime(settings.iniPath, 1000000000u);
    }
    settings.ShowError = c.showErrorOn;
    settings.saveGlobals();
    for (auto [key, expected] : {std::pair{"ShowError", c.showError}, {"DoLog", c.doLog}})
      EXPECT_EQ(ini::readString(settings.iniPath, "Settings", key, "(missing)", 1024), expected)
          << key;
  }
}

// CodePage is read at attach and never written back; a value it does not
// know leaves latin1 and a line for the log.
TEST(PluginSettingsTest, CodePage) {
  const std::optional<TargetCodePage> autoParsed =
      parseCodePageSetting("auto", charset::systemCodePage());
  const TargetCodePage autoTarget = autoParsed.value_or(TargetCodePage{});
  const bool autoKnown = autoParsed.has_value();
  const bool autoIsDefault = charset::kDefaultCodePageSetting == "auto";
  struct Case {
    const char* what;
    const char* text;  // null: no file
    TargetCodePage expected;
    bool problem;
  };
  const Case cases[] = {
      {"no file", nullptr, autoIsDefault ? autoTarget : TargetCodePage{},
       autoIsDefault && !autoKnown},
      {"empty", "[Settings]\nCodePage=\n", autoIsDefault ? autoTarget : TargetCodePage{},
       autoIsDefault && !autoKnown},
      {"latin1", "[Settings]\nCodePage=latin1\n", TargetCodePage{}, false},
      {"utf-8", "[Settings]\ncodepage = UTF-8\n", TargetCodePage{charset::kUtf8, false}, false},
      {"1251", "[Settings]\nCodePage=1251\n", TargetCodePage{1251, false}, false},
      {"932", "[Settings]\nCodePage=932\n", TargetCodePage{932, false}, false},
      {"auto", "[Settings]\nCodePage=auto\n", autoTarget, !autoKnown},
      {"unknown number", "[Settings]\nCodePage=437\n", TargetCodePage{}, true},
      {"unknown name", "[Settings]\nCodePage=cyrillic\n", TargetCodePage{}, true},
      {"other section", "[NewsSites]\nCodePage=1251\n",
       autoIsDefault ? autoTarget : TargetCodePage{}, autoIsDefault && !autoKnown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (c.text) writeWholeFile(dir.file("Korvo.ini"), c.text);
    PluginSettings settings;
    settings.locateFiles(dir.file("libkorvo.so"));
    settings.codePage = TargetCodePage{1257, false};
    settings.codePageProblem = "left over";
    settings.loadGlobals();
    EXPECT_EQ(settings.codePage.number, c.expected.number);
    EXPECT_EQ(settings.codePage.latin1, c.expected.latin1);
    EXPECT_EQ(!settings.codePageProblem.empty(), c.problem) << settings.codePageProblem;
  }

  TempDir dir;
  writeWholeFile(dir.file("Korvo.ini"), "[Settings]\nCodePage=klingon\n");
  PluginSettings settings;
  settings.locateFiles(dir.file("libkorvo.so"));
  settings.loadGlobals();
  EXPECT_EQ(settings.codePageProblem, "CodePage \"klingon\" is not known, using latin1");
  settings.saveGlobals();
  EXPECT_NE(readWholeFile(settings.iniPath).find("CodePage=klingon"), std::string::npos)
      << "never written back";
}

// KORVO_EXPECTED_CODE_PAGE is set by the runs that start this program in a
// given locale (0: one whose code page Korvo does not write; 20127: the C
// locale, which shows only ASCII).
TEST(PluginSettingsTest, AutoFollowsTheLocale) {
  const char* expected = std::getenv("KORVO_EXPECTED_CODE_PAGE");
  if (!expected) GTEST_SKIP() << "started without KORVO_EXPECTED_CODE_PAGE";
  std::setlocale(LC_ALL, "");  // as the host does
  TempDir dir;
  writeWholeFile(dir.file("Korvo.ini"), "[Settings]\nCodePage=auto\n");
  PluginSettings settings;
  settings.locateFiles(dir.file("libkorvo.so"));
  settings.loadGlobals();
  std::setlocale(LC_ALL, "C");
  const unsigned number = static_cast<unsigned>(std::atoi(expected));
  const bool latin1Mode = number == 0 || number == charset::kUsAscii;
  EXPECT_EQ(settings.codePage.number, latin1Mode ? charset::kLatin1 : number);
  EXPECT_EQ(settings.codePage.latin1, latin1Mode);
  EXPECT_EQ(settings.codePageProblem.empty(), number != 0) << settings.codePageProblem;
}

}  // namespace
}  // namespace korvo
