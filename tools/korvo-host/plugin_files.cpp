#include "plugin_files.h"

#include <filesystem>
#include <fstream>
#include <string_view>

#include "base/limits.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace korvo::host {

std::string besideLibrary(const std::string& libraryPath, const char* name) {
  const std::size_t separator = libraryPath.find_last_of("/\\");
  return (separator == std::string::npos ? std::string() : libraryPath.substr(0, separator + 1)) +
         name;
}

std::size_t newsSiteCount(const std::string& iniPath) {
  const std::string sites = ini::readSection(iniPath, "NewsSites", limits::kSiteSectionBuffer);
  std::size_t count = 0;
  for (std::size_t from = 0; from < sites.size();) {
    std::size_t end = sites.find('\0', from);
    if (end == std::string::npos) end = sites.size();
    const std::string_view entry = std::string_view(sites).substr(from, end - from);
    const std::size_t equals = entry.find('=');
    // Some INI readers hand comment lines out with the entries.
    if (equals != std::string_view::npos && equals > 0 && equals + 1 < entry.size() &&
        entry.front() != ';')
      ++count;
    from = end + 1;
  }
  return count;
}

std::string noNewsSiteAdvice(const std::string& iniPath, const std::string& hostIni) {
  // The system's own file names (the INI reader's), not std::filesystem's.
  const bool exists = files::fileInfo(iniPath).has_value();
  if (exists && newsSiteCount(iniPath) > 0) return {};
  const std::string next = ", NAME being the NewsSite of a meter in " + hostIni +
                           " (korvo-host --fetch URL tries a feed first).\n";
  if (!exists)
    return "korvo-host: every meter would be empty: there is no " + iniPath +
           "\nWrite it with a line [NewsSites] and under it NAME=URL" + next;
  return "korvo-host: every meter would be empty: " + iniPath +
         " names no news site under [NewsSites]\nAdd there a line NAME=URL" + next;
}

bool loggingOn(const std::string& iniPath) {
  return ini::readString(iniPath, "Settings", "DoLog", "", limits::kIniTextBuffer) == "yes";
}

std::string settingsLine(const std::string& iniPath, std::string& warning) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(iniPath, ec)) {
    warning = "no " + iniPath +
              ": the plug-in makes one when it is unloaded, naming only the news sites "
              "added in the options dialog";
    return {};
  }
  const std::size_t count = newsSiteCount(iniPath);
  return "settings " + iniPath + " (" + std::to_string(count) +
         (count == 1 ? " news site" : " news sites") + ", logging " +
         (loggingOn(iniPath) ? "on" : "off") + ")";
}

void LogWatch::mark() {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path_, ec);
  offset_ = ec ? 0 : size;
}

std::vector<std::string> LogWatch::messagesSince(const std::string& prefix) const {
  std::vector<std::string> found;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return found;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  // A log that shrank was started anew: all of it is new.
  in.seekg(static_cast<std::streamoff>(offset_) <= size ? static_cast<std::streamoff>(offset_) : 0);
  static const std::string kArrow = " --> ";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t arrow = line.find(kArrow);
    if (arrow == std::string::npos) continue;
    const std::string message = line.substr(arrow + kArrow.size());
    if (message.compare(0, prefix.size(), prefix) == 0)
      found.push_back(message.substr(prefix.size()));
  }
  return found;
}

std::string clickReport(const std::string& section, const std::vector<std::string>& outcomes,
                        bool logging) {
  std::string report = "clicked [" + section + "]";
  if (!outcomes.empty()) return report + ": " + outcomes.back();
  if (!logging) return report + " (what it opened is logged only with DoLog=yes in Korvo.ini)";
  return report + " (the plug-in logged no outcome)";
}

std::string configureReport(const std::string& section, const std::vector<std::string>& outcomes,
                            const std::string& displayProblem) {
  if (!outcomes.empty()) return "not configured [" + section + "]: " + outcomes.back();
  if (!displayProblem.empty())
    return "not configured [" + section + "]: no options dialog could be shown (" +
           displayProblem + ")";
  return "configured [" + section + "]";
}

}  // namespace korvo::host
