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

namespace {

// The value of a key as the file holds it, or nullopt when there is no
// such key: a key is missing only when two reads with different defaults
// both give their default.
std::optional<std::string> readValue(const std::string& path, const char* section,
                                     const char* key) {
  std::string value = ini::readString(path, section, key, "yes", limits::kIniTextBuffer);
  if (value == "yes" && ini::readString(path, section, key, "no", limits::kIniTextBuffer) == "no")
    return std::nullopt;
  return value;
}

bool switchValue(const std::optional<std::string>& text, bool current) {
  if (!text || text->empty()) return current;
  return *text == "yes";
}

// The file may have been edited since it was read: only a value that is
// still the one read (or a missing key) is replaced.
void saveSwitch(const std::string& path, const char* key, bool on,
                const std::optional<std::string>& asRead) {
  const std::optional<std::string> now = readValue(path, "Settings", key);
  if (now && now != asRead) return;
  ini::writeString(path, "Settings", key, yesNo(on));
}

}  // namespace

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
  showErrorAsRead = readValue(iniPath, "Settings", "ShowError");
  doLogAsRead = readValue(iniPath, "Settings", "DoLog");
  ShowError = switchValue(showErrorAsRead, ShowError);
  DoLog = switchValue(doLogAsRead, DoLog);
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
  loadingText = encodeForTarget(U"Loading news\u2026", codePage);
}

void PluginSettings::saveGlobals() const {
  saveSwitch(iniPath, "ShowError", ShowError, showErrorAsRead);
  saveSwitch(iniPath, "DoLog", DoLog, doLogAsRead);
}

}  // namespace korvo
