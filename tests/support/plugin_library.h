#pragma once
// The built plug-in loaded the way a host loads it: copied into a directory
// of the test's own (so "Korvo.ini" and "Korvolog.txt" land there), opened
// with dlopen, every entry point looked up by name, closed with dlclose.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvo::test {

// The 31 entry points with the C signatures a host calls them with.
struct PluginExports {
  using U = std::uint32_t;
  using ChannelQuery = const char* (*)(int id);
  using ItemQuery = const char* (*)(int id, const char* number);

  const char* (*init)() = nullptr;
  int (*dllstartup)(U, U) = nullptr;
  int (*dllshutdown)(int id) = nullptr;
  int (*configure)() = nullptr;
  int (*source_configure)(int id, U) = nullptr;
  int (*src_load_settings)(int id, const char* file, const char* section) = nullptr;
  int (*src_save_settings)(int id, const char* file, const char* section) = nullptr;
  int (*dlltype)() = nullptr;
  const char* (*actionsprovided)() = nullptr;
  int (*action)(U, U number, int id, U, U, U, U, U, U, U, U) = nullptr;
  const char* (*getinfo)(unsigned index) = nullptr;
  const char* (*getparam)(const char* name) = nullptr;
  int (*input_configure)(U, U) = nullptr;
  int (*input_load_settings)(U, U, U) = nullptr;
  int (*input_save_settings)(U, U, U) = nullptr;
  int (*pastemeter)(int source, int destination) = nullptr;
  ChannelQuery GetTitle = nullptr;
  ChannelQuery GetLink = nullptr;
  ChannelQuery GetDescription = nullptr;
  ChannelQuery GetLanguage = nullptr;
  ChannelQuery GetCopyright = nullptr;
  ChannelQuery GetLastBuildDate = nullptr;
  ChannelQuery GetManagingEditor = nullptr;
  ChannelQuery GetRating = nullptr;
  ChannelQuery GetPubDate = nullptr;
  ItemQuery GetItemTitle = nullptr;
  ItemQuery GetItemLink = nullptr;
  ItemQuery GetItemDescription = nullptr;
  ItemQuery GetItemPubDate = nullptr;
  ItemQuery GetTitleOfItems = nullptr;
  ItemQuery GetTitleOfItemsNT = nullptr;
};

// The names of the 31 entry points.
extern const std::array<const char*, 31> kEntryPointNames;

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
