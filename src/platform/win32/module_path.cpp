#include "platform/module_path.h"

#include <windows.h>

#include <vector>

namespace korvo {

std::string modulePath(std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  // The module that holds this function: the DLL, not the host's program.
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&modulePath), &self))
    return {};
  const DWORD size = bufferSize > 0xFFFFu ? 0xFFFFu : static_cast<DWORD>(bufferSize);
  std::vector<char> name(size + 1, '\0');
  const DWORD length = GetModuleFileNameA(self, name.data(), size);
  if (length == 0) return {};
  // A name that did not fit comes back cut to the buffer, zero byte or not.
  return std::string(name.data(), length < size ? length : size - 1);
}

const bool kMayJoinAtUnload = false;

}  // namespace korvo
