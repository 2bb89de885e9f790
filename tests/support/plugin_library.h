#pragma once
// The built plug-in loaded the way a host loads it: copied into a directory
// of the test's own (so "Korvo.ini" and "Korvolog.txt" land there), opened
// with dlopen, every entry point looked up by name, closed with dlclose.
#include <array>
#include <string>
#include <vector>

#include "plugin_api.h"

namespace korvo::test {

// The 31 entry points with the C signatures a host calls them with, and
// their names: the reference host's own table.
using PluginExports = host::PluginApi;
using host::kEntryPointNames;

// A channel query and its name, for tables over all nine.
struct NamedChannelQuery {
  const char* name;
  PluginExports::ChannelQuery PluginExports::*query;
};
extern const std::array<NamedChannelQuery, 9> kChannelQueries;
// The four item queries and the two title lists.
struct NamedItemQuery {
  const char* name;
  PluginExports::ItemQuery PluginExports::*query;
};
extern const std::array<NamedItemQuery, 6> kItemQueries;

class PluginLibrary {
 public:
  // Copies `source` into directory (ending in "/") unless a file of that
  // name is there already, then loads it. Check loaded() and error().
  explicit PluginLibrary(const std::string& directory,
                         const std::string& source = KORVO_PLUGIN_PATH);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Why loading failed, or which entry points were missing.
  const std::string& error() const { return error_; }
  const std::vector<std::string>& missing() const { return missing_; }
  const std::string& path() const { return path_; }

  const PluginExports& operator*() const { return exports_; }
  const PluginExports* operator->() const { return &exports_; }

  // dlclose; the entry points are forgotten.
  void unload();

 private:
  std::string path_;
  std::string error_;
  std::vector<std::string> missing_;
  void* handle_ = nullptr;
  PluginExports exports_;
};

// True when a file of that path is mapped into this process.
bool isMapped(const std::string& path);

}  // namespace korvo::test
