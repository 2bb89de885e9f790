#include "meters/plugin_settings.h"

#include "base/limits.h"
#include "platform/ini_file.h"
#include "platform/module_path.h"

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
}

void PluginSettings::saveGlobals() const {
  ini::writeString(iniPath, "Settings", "ShowError", yesNo(ShowError));
  ini::writeString(iniPath, "Settings", "DoLog", yesNo(DoLog));
}

}  // namespace korvo
