#include "host_code_page.h"

#include <optional>

#include "base/limits.h"
#include "platform/ascii.h"
#include "platform/ini_file.h"

namespace korvo::host {
namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string nameOf(const TargetCodePage& target) {
  if (target.latin1) return "latin1";
  if (target.number == charset::kUtf8) return "utf-8";
  return std::to_string(target.number);
}

}  // namespace

bool isCodePageSetting(std::string_view value) {
  // Any target stands in for the system's: only the spelling is checked.
  return parseCodePageSetting(value, charset::kUtf8).has_value();
}

HostCodePage chooseCodePage(std::string_view given, const std::string& pluginIni,
                            unsigned systemCodePage) {
  HostCodePage chosen;
  std::string value(trimmed(given));
  chosen.source = "command line";
  if (value.empty()) {
    value = trimmed(ini::readString(pluginIni, "Settings", "CodePage", "", limits::kIniTextBuffer));
    chosen.source = "CodePage in Korvo.ini";
  }
  if (value.empty()) {
    value = charset::kDefaultCodePageSetting;
    chosen.source = "the plug-in's default";
  }
  const bool automatic = ascii::equalsIgnoringCase(value, "auto");
  if (std::optional<TargetCodePage> target = parseCodePageSetting(value, systemCodePage)) {
    chosen.target = *target;
    chosen.name = nameOf(chosen.target) + (automatic ? " (auto)" : "");
    return chosen;
  }
  chosen.name = "latin1";
  chosen.warning = automatic ? "CodePage=auto (" + chosen.source +
                                   "): the system's character set is no code page the "
                                   "plug-in writes; shown as latin1, which the plug-in uses then"
                             : "CodePage=" + value + " (" + chosen.source +
                                   ") is no code page the plug-in writes; shown as latin1, "
                                   "which the plug-in uses then";
  return chosen;
}

}  // namespace korvo::host
