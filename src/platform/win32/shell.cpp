#include "platform/shell.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace korvo {

std::string openLink(const std::string& link) {
  // Values above 32 mean success; the others are error codes.
  const INT_PTR code = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (code > 32) return {};
  return "the shell could not open it (error " + std::to_string(code) + ")";
}

}  // namespace korvo
