#include "platform/module_path.h"

#include <dlfcn.h>

namespace korvo {

std::string modulePath(std::size_t bufferSize) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || info.dli_fname == nullptr)
    return {};
  std::string name = info.dli_fname;
  if (bufferSize == 0) return {};
  if (name.size() > bufferSize - 1) name.resize(bufferSize - 1);
  return name;
}

}  // namespace korvo
