#include "support/plugin_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string_view>

namespace korvo::test {

PluginLibrary::PluginLibrary(const std::string& directory, const std::string& source)
    : path_(directory + std::filesystem::path(source).filename().string()) {
  std::error_code ec;
  // Never copy over a file that may be mapped still.
  std::filesystem::copy_file(source, path_, std::filesystem::copy_options::skip_existing, ec);
  if (ec) {
    error_ = "cannot copy " + source + ": " + ec.message();
    return;
  }
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = why ? why : "dlopen failed";
    return;
  }
  auto lookup = [this](const char* name) { return dlsym(handle_, name); };
  for (const char* name : host::bindEntryPoints(exports_, lookup)) missing_.push_back(name);
  if (!missing_.empty()) {
    error_ = "missing entry points:";
    for (const std::string& name : missing_) error_ += " " + name;
  }
}

PluginLibrary::~PluginLibrary() { unload(); }

void PluginLibrary::unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
  exports_ = PluginExports{};
}

bool isMapped(const std::string& file) {
  std::error_code ec;
  std::string path = std::filesystem::weakly_canonical(file, ec).string();
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    std::string_view l = line;
    if (l.size() >= path.size() && l.substr(l.size() - path.size()) == path) return true;
  }
  return false;
}

}  // namespace korvo::test
