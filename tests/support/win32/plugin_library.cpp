// The Windows side of plugin_library.h: the DLL copied into the test's
// directory, loaded with LoadLibraryA, looked up with GetProcAddress.
#include <windows.h>

#include <filesystem>

#include "support/plugin_library.h"

namespace korvo::test {

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
  auto lookup = [this](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
  };
  for (const char* name : host::bindEntryPoints(exports_, lookup)) missing_.push_back(name);
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
