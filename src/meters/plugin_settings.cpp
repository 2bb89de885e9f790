#include "meters/plugin_settings.h"

#include <algorithm>

#include "base/limits.h"
#include "platform/ini_file.h"
#include "platform/module_path.h"
#include "platform/text_conversion.h"

namespace korvo {

const char* yesNo(bool on) { return on ? "yes" : "no"; }

bool readSwitch(const std::string& path, const char* section, const char* key, bool current) {
  std::string text = ini::readString(path, section, key, yesNo(current), limits::kIniTextBuffer);
  if (text.empty()) return current;
  return text == "yes";
}

void PluginSettings::locateFiles(const std::string& moduleFileName) {
  if (moduleFileName.empty()) {
    moduleDirectory = std::string(".") + kPathSeparator;
  } else {
    std::size_t cut = moduleFileName.rfind(kPathSeparator);
    moduleDirectory = cut == std::string::npos ? std::string() : moduleFileName.substr(0, cut + 1);
  }
  iniPath = moduleDirectory + "Korvo.ini";
}

void PluginSettings::loadGlobals() {
  ShowError = readSwitch(iniPath, "Settings", "ShowError", ShowError);
  DoLog = readSwitch(iniPath, "Settings", "DoLog", DoLog);
  constexpr int kUnset = -2;
  const int wait = ini::readInt(iniPath, "Settings", "WaitForDownload", kUnset);
  WaitForDownload = wait < -1 ? kDefaultWaitForDownload : std::min(wait, kMaxWaitForDownload);
  std::string text = ini::readString(iniPath, "Settings", "CodePage",
                                     charset::kDefaultCodePageSetting, limits::kIniTextBuffer);
  if (text.empty()) text = std::string(charset::kDefaultCodePageSetting);
  codePageProblem.clear();
  if (std::optional<TargetCodePage> target =
          parseCodePageSetting(text, charset::systemCodePage())) {
    codePage = *target;
  } else {
    codePage = TargetCodePage{};
    // Only "auto" depends on the system: known with a code page Korvo writes.
    codePageProblem =
        parseCodePageSetting(text, charset::kUtf8)
            ? "CodePage auto: the system's code page is none Korvo writes, using latin1"
            : "CodePage \"" + text + "\" is not known, using latin1";
  }
}

void PluginSettings::saveGlobals() const {
  ini::writeString(iniPath, "Settings", "ShowError", yesNo(ShowError));
  ini::writeString(iniPath, "Settings", "DoLog", yesNo(DoLog));
}

}  // namespace korvo
