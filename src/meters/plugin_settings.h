#pragma once
// The plug-in's own settings: where "Korvo.ini" and "Korvolog.txt" live and
// the two switches kept in the Settings section of "Korvo.ini", and the
// code page the host shows text in (read only: never written back).
#include <optional>
#include <string>

#include "text/target_code_page.h"

namespace korvo {

struct PluginSettings {
  bool ShowError = false;
  bool DoLog = false;
  // How long a meter with nothing to show waits for its download, in ms
  // per second of all queries together: 0 never, -1 the whole download (on
  // the host's thread). Read only: never written back.
  int WaitForDownload = kDefaultWaitForDownload;
  static constexpr int kDefaultWaitForDownload = 250;
  static constexpr int kMaxWaitForDownload = 1000;
  TargetCodePage codePage;
  // Set by loadGlobals when CodePage had a value it does not know: the line
  // for the log, which is opened after the settings are read.
  std::string codePageProblem;
  // What a meter with ShowError on shows while its feed's first download
  // runs (nothing to show, no error yet), in codePage.
  std::string loadingText;
  std::string iniPath;
  std::string moduleDirectory;

  // From the library's file name (empty when it could not be told): the
  // directory up to its last separator, and "Korvo.ini" in it.
  void locateFiles(const std::string& moduleFileName);
  // What loadGlobals found in the file for ShowError and DoLog, as
  // written there (nullopt: no key); nullopt before it runs.
  std::optional<std::string> showErrorAsRead;
  std::optional<std::string> doLogAsRead;

  // ShowError, DoLog, WaitForDownload (a missing or unusable value means
  // the default, more than kMaxWaitForDownload that bound) and CodePage. CodePage: "auto" is the system's code
  // page (charset::systemCodePage), a missing or empty value means
  // charset::kDefaultCodePageSetting, and an unknown one latin1.
  void loadGlobals();
  // Writes each switch where its key is missing or still holds what
  // loadGlobals found there; a value edited by hand since then stays.
  void saveGlobals() const;
};

// Reads a "yes"/"no" switch: the current value stays when the key is
// missing or empty; otherwise exactly "yes" is on and anything else off.
bool readSwitch(const std::string& path, const char* section, const char* key, bool current);
const char* yesNo(bool on);

}  // namespace korvo
