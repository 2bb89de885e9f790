#pragma once
// The plug-in's 31 entry points as the host calls them, looked up by name
// in a loaded library.
#include <cstdint>
#include <string>
#include <string_view>

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
