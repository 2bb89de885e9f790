#pragma once
// Writes every byte to fd, going on after short writes and interrupted
// calls; false on any other failure. For the files of this platform layer.
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

namespace korvo::posix {

inline bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace korvo::posix
