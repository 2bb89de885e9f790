// Where the plug-in's files go, from Windows module file names.
#include <gtest/gtest.h>

#include "meters/plugin_settings.h"

namespace korvo {
namespace {

TEST(WindowsPluginSettingsTest, LocateFilesFromWindowsNames) {
  struct Case {
    const char* moduleFileName;
    const char* directory;
    const char* iniPath;
  };
  const Case cases[] = {
      {"C:\\Program Files\\Kestrova\\Plugins\\korvo.dll", "C:\\Program Files\\Kestrova\\Plugins\\",
       "C:\\Program Files\\Kestrova\\Plugins\\Korvo.ini"},
      {"C:\\korvo.dll", "C:\\", "C:\\Korvo.ini"},
      {"korvo.dll", "", "Korvo.ini"},  // no separator: bare names
      {"", ".\\", ".\\Korvo.ini"},     // the lookup failed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moduleFileName);
    PluginSettings settings;
    settings.locateFiles(c.moduleFileName);
    EXPECT_EQ(settings.moduleDirectory, c.directory);
    EXPECT_EQ(settings.iniPath, c.iniPath);
  }
}

}  // namespace
}  // namespace korvo
