// The Windows side of plugin_library.h: the DLL copied into the test's
// directory, loaded with LoadLibraryA, looked up with GetProcAddress.
#include <windows.h>

#include <filesystem>

#include "support/plugin_library.h"

namespace korvo::test {

#define KORVO_ENTRY_POINTS(X)                                                                     \
  X(init) X(dllstartup) X(dllshutdown) X(configure) X(source_configure) X(src_load_settings)      \
  X(src_save_settings) X(dlltype) X(actionsprovided) X(action) X(getinfo) X(getparam)             \
  X(input_configure) X(input_load_settings) X(input_save_settings) X(pastemeter) X(GetTitle)      \
  X(GetLink) X(GetDescription) X(GetLanguage) X(GetCopyright) X(GetLastBuildDate)                 \
  X(GetManagingEditor) X(GetRating) X(GetPubDate) X(GetItemTitle) X(GetItemLink)                  \
  X(GetItemDescription) X(GetItemPubDate) X(GetTitleOfItems) X(GetTitleOfItemsNT)

#define KORVO_NAME(name) #name,
const std::array<const char*, 31> kEntryPointNames = {KORVO_ENTRY_POINTS(KORVO_NAME)};
#undef KORVO_NAME

const std::array<NamedChannelQuery, 9> kChannelQueries = {{
    {"GetTitle", &PluginExports::GetTitle},
    {"GetLink", &PluginExports::GetLink},
    {"GetDescription", &PluginExports::GetDescription},
    {"GetLanguage", &PluginExports::GetLanguage},
    {"GetCopyright", &PluginExports::GetCopyright},
    {"GetLastBuildDate", &PluginExports::GetLastBuildDate},
    {"GetManagingEditor", &PluginExports::GetManagingEditor},
    {"GetRating", &PluginExports::GetRating},
    {"GetPubDate", &PluginExports::GetPubDate},
}};

const std::array<NamedItemQuery, 6> kItemQueries = {{
    {"GetItemTitle", &PluginExports::GetItemTitle},
    {"GetItemLink", &PluginExports::GetItemLink},
    {"GetItemDescription", &PluginExports::GetItemDescription},
    {"GetItemPubDate", &PluginExports::GetItemPubDate},
    {"GetTitleOfItems", &PluginExports::GetTitleOfItems},
    {"GetTitleOfItemsNT", &PluginExports::GetTitleOfItemsNT},
}};

PluginLibrary::PluginLibrary(const std::string& directory, const std::string& source)
    : path_(directory + std::filesystem::path(source).filename().string()) {
  std::error_code ec;
  // Never copy over a file that may be loaded still.
  std::filesystem::copy_file(source, path_, std::filesystem::copy_options::skip_existing, ec);
  if (ec) {
    error_ = "cannot copy " + source + ": " + ec.message();
    return;
  }
  handle_ = LoadLibraryA(path_.c_str());
  if (handle_ == nullptr) {
    error_ = "LoadLibraryA failed with error " + std::to_string(GetLastError());
    return;
  }
  auto bind = [this](auto& slot, const char* name) {
    void* address =
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
    if (address == nullptr) missing_.push_back(name);
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
#define KORVO_BIND(name) bind(exports_.name, #name);
  KORVO_ENTRY_POINTS(KORVO_BIND)
#undef KORVO_BIND
  if (!missing_.empty()) {
    error_ = "missing entry points:";
    for (const std::string& name : missing_) error_ += " " + name;
  }
}

PluginLibrary::~PluginLibrary() { unload(); }

void PluginLibrary::unload() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  exports_ = PluginExports{};
}

bool isMapped(const std::string& file) { return GetModuleHandleA(file.c_str()) != nullptr; }

}  // namespace korvo::test
