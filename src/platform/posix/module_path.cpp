#include "platform/module_path.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace korvo {

std::string modulePath(std::size_t bufferSize) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || info.dli_fname == nullptr)
    return {};
  std::string name = info.dli_fname;
  // The loader keeps the name the library was opened by. A relative one
  // would point elsewhere once the host changes its working directory.
  if (!name.empty() && name.front() != '/') {
    std::vector<char> cwd(4096);
    if (getcwd(cwd.data(), cwd.size()) == nullptr) return {};
    while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
    name = std::string(cwd.data()) + (cwd[1] == '\0' ? "" : "/") + name;
  }
  if (bufferSize == 0) return {};
  if (name.size() > bufferSize - 1) name.resize(bufferSize - 1);
  return name;
}

const bool kMayJoinAtUnload = true;

}  // namespace korvo
