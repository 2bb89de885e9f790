#include "platform/shell.h"

#include <windows.h>
#include <shellapi.h>

namespace korvo {

void openLink(const std::string& link) {
  ShellExecuteA(nullptr, "open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace korvo
