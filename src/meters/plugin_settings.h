#pragma once
// The plug-in's own settings: where "Korvo.ini" and "Korvolog.txt" live and
// the two switches kept in the Settings section of "Korvo.ini".
#include <string>

namespace korvo {

struct PluginSettings {
  bool ShowError = false;
  bool DoLog = false;
  std::string iniPath;
  std::string moduleDirectory;

  // From the library's file name (empty when it could not be told): the
  // directory up to its last separator, and "Korvo.ini" in it.
  void locateFiles(const std::string& moduleFileName);
  void loadGlobals();
  void saveGlobals() const;
};

// Reads a "yes"/"no" switch: the current value stays when the key is
// missing or empty; otherwise exactly "yes" is on and anything else off.
bool readSwitch(const std::string& path, const char* section, const char* key, bool current);
const char* yesNo(bool on);

}  // namespace korvo
