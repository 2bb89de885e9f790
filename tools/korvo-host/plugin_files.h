#pragma once
// What korvo-host tells from the plug-in's own files, which lie beside the
// library: whether there is a Korvo.ini to read, and what the plug-in wrote
// to Korvolog.txt about a click or an options dialog (the entry points
// return nothing about either).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvo::host {

// The file of that name in the directory of the library at libraryPath.
std::string besideLibrary(const std::string& libraryPath, const char* name);

// The line that says which Korvo.ini the plug-in reads: its path, how many
// news sites it names and whether logging is on. Empty, with a warning in
// `warning`, when there is no such file (the plug-in makes one at unload).
std::string settingsLine(const std::string& iniPath, std::string& warning);

// How many news sites the plug-in's INI file names under [NewsSites]
// (entries NAME=URL with both parts); 0 when there is no such file.
std::size_t newsSiteCount(const std::string& iniPath);

// What to do next, in two lines for the user, when the plug-in's INI file
// at iniPath names no news site or does not exist, so that every meter of
// hostIni would be empty; empty when it names one.
std::string noNewsSiteAdvice(const std::string& iniPath, const std::string& hostIni);

// True when the plug-in's INI file switches logging on.
bool loggingOn(const std::string& iniPath);

// The lines the plug-in appends to its log from mark() on.
class LogWatch {
 public:
  explicit LogWatch(std::string path) : path_(std::move(path)) {}
  void mark();
  // The messages (the text after " --> ") of the lines written since the
  // mark that start with prefix, the prefix removed.
  std::vector<std::string> messagesSince(const std::string& prefix) const;

 private:
  std::string path_;
  std::uintmax_t offset_ = 0;
};

// What the host says after a click, from the plug-in's "Click: " lines.
std::string clickReport(const std::string& section, const std::vector<std::string>& outcomes,
                        bool logging);
// What the host says after a meter's options dialog, from the plug-in's
// "Options dialog: " lines; displayProblem is what the host found wrong
// with the display itself (empty when nothing).
std::string configureReport(const std::string& section, const std::vector<std::string>& outcomes,
                            const std::string& displayProblem);

}  // namespace korvo::host
