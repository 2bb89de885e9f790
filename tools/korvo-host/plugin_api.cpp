#include "plugin_api.h"

#include <type_traits>

namespace korvo::host {
namespace {

using A = PluginApi;

constexpr MeterFunction kMeterFunctions[] = {
    {"GetTitle", &A::GetTitle, nullptr},
    {"GetLink", &A::GetLink, nullptr},
    {"GetDescription", &A::GetDescription, nullptr},
    {"GetLanguage", &A::GetLanguage, nullptr},
    {"GetCopyright", &A::GetCopyright, nullptr},
    {"GetLastBuildDate", &A::GetLastBuildDate, nullptr},
    {"GetManagingEditor", &A::GetManagingEditor, nullptr},
    {"GetRating", &A::GetRating, nullptr},
    {"GetPubDate", &A::GetPubDate, nullptr},
    {"GetItemTitle", nullptr, &A::GetItemTitle},
    {"GetItemLink", nullptr, &A::GetItemLink},
    {"GetItemDescription", nullptr, &A::GetItemDescription},
    {"GetItemPubDate", nullptr, &A::GetItemPubDate},
    {"GetTitleOfItems", nullptr, &A::GetTitleOfItems},
    {"GetTitleOfItemsNT", nullptr, &A::GetTitleOfItemsNT},
};

}  // namespace

bool resolve(const DynamicLibrary& library, PluginApi& api, std::string& missing) {
  bool ok = true;
  auto bind = [&](auto& slot, const char* name) {
    void* address = library.symbol(name);
    if (address == nullptr && ok) {
      ok = false;
      missing = name;
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
  // The field names are the entry point names.
#define KORVO_BIND(name) bind(api.name, #name);
  KORVO_BIND(init) KORVO_BIND(dllstartup) KORVO_BIND(dllshutdown) KORVO_BIND(configure)
  KORVO_BIND(source_configure) KORVO_BIND(src_load_settings) KORVO_BIND(src_save_settings)
  KORVO_BIND(dlltype) KORVO_BIND(actionsprovided) KORVO_BIND(action) KORVO_BIND(getinfo)
  KORVO_BIND(getparam) KORVO_BIND(input_configure) KORVO_BIND(input_load_settings)
  KORVO_BIND(input_save_settings) KORVO_BIND(pastemeter)
  KORVO_BIND(GetTitle) KORVO_BIND(GetLink) KORVO_BIND(GetDescription) KORVO_BIND(GetLanguage)
  KORVO_BIND(GetCopyright) KORVO_BIND(GetLastBuildDate) KORVO_BIND(GetManagingEditor)
  KORVO_BIND(GetRating) KORVO_BIND(GetPubDate) KORVO_BIND(GetItemTitle) KORVO_BIND(GetItemLink)
  KORVO_BIND(GetItemDescription) KORVO_BIND(GetItemPubDate) KORVO_BIND(GetTitleOfItems)
  KORVO_BIND(GetTitleOfItemsNT)
#undef KORVO_BIND
  return ok;
}

const MeterFunction* findMeterFunction(std::string_view name) {
  for (const MeterFunction& f : kMeterFunctions)
    if (name == f.name) return &f;
  return nullptr;
}

std::string meterFunctionNames() {
  std::string names;
  for (const MeterFunction& f : kMeterFunctions) {
    if (!names.empty()) names += ", ";
    names += f.name;
  }
  return names;
}

}  // namespace korvo::host
