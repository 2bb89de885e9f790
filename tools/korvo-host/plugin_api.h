#pragma once
// The plug-in's 31 entry points as the host calls them, looked up by name
// in a loaded library.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "host_system.h"

namespace korvo::host {

struct PluginApi {
  using U = std::uint32_t;
  using ChannelQuery = const char* (*)(int id);
  using ItemQuery = const char* (*)(int id, const char* parameter);

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

// Every entry point, X(name) for each; the field names of PluginApi are
// the exported names.
#define KORVO_PLUGIN_ENTRY_POINTS(X)                                                             \
  X(init) X(dllstartup) X(dllshutdown) X(configure) X(source_configure) X(src_load_settings)      \
  X(src_save_settings) X(dlltype) X(actionsprovided) X(action) X(getinfo) X(getparam)             \
  X(input_configure) X(input_load_settings) X(input_save_settings) X(pastemeter) X(GetTitle)      \
  X(GetLink) X(GetDescription) X(GetLanguage) X(GetCopyright) X(GetLastBuildDate)                 \
  X(GetManagingEditor) X(GetRating) X(GetPubDate) X(GetItemTitle) X(GetItemLink)                  \
  X(GetItemDescription) X(GetItemPubDate) X(GetTitleOfItems) X(GetTitleOfItemsNT)

#define KORVO_PLUGIN_ENTRY_NAME(name) #name,
inline constexpr std::array<const char*, 31> kEntryPointNames = {
    KORVO_PLUGIN_ENTRY_POINTS(KORVO_PLUGIN_ENTRY_NAME)};
#undef KORVO_PLUGIN_ENTRY_NAME

// Sets every entry point of api to lookup(name), a function address or
// null; returns the names that came back null, in the order above.
template <typename Lookup>
std::vector<const char*> bindEntryPoints(PluginApi& api, Lookup&& lookup) {
  std::vector<const char*> missing;
  auto bind = [&](auto& slot, const char* name) {
    void* address = lookup(name);
    if (address == nullptr) missing.push_back(name);
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
#define KORVO_PLUGIN_BIND(name) bind(api.name, #name);
  KORVO_PLUGIN_ENTRY_POINTS(KORVO_PLUGIN_BIND)
#undef KORVO_PLUGIN_BIND
  return missing;
}

// Looks every entry point up; false with the first missing name in
// `missing` when one is not there.
bool resolve(const DynamicLibrary& library, PluginApi& api, std::string& missing);

// One of the fifteen query entry points a meter can show. Exactly one of
// channel and item is set; item queries take the meter's parameter text.
struct MeterFunction {
  const char* name;
  PluginApi::ChannelQuery PluginApi::*channel;
  PluginApi::ItemQuery PluginApi::*item;
};

// The function of that name (letter case counts, as in a lookup by name),
// or null.
const MeterFunction* findMeterFunction(std::string_view name);
// The fifteen names joined by ", ", for messages.
std::string meterFunctionNames();

}  // namespace korvo::host
