#pragma once
// Writes every byte to h, in pieces WriteFile takes, going on after short
// writes; false on any failure. For the files of this platform layer.
#include <windows.h>

#include <string_view>

namespace korvo::win32 {

inline bool writeAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace korvo::win32
