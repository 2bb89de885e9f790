#include "plugin_api.h"

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
  const std::vector<const char*> absent =
      bindEntryPoints(api, [&](const char* name) { return library.symbol(name); });
  if (absent.empty()) return true;
  missing = absent.front();
  return false;
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
