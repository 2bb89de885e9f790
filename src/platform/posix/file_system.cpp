#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/posix/write_all.h"

namespace korvo::files {
namespace {

FileInfo infoOf(std::string name, const struct stat& st) {
  FileInfo info;
  info.name = std::move(name);
  info.size = static_cast<std::uint64_t>(st.st_size);
  info.modified = static_cast<std::uint32_t>(st.st_mtime);
  info.id = static_cast<std::uint64_t>(st.st_ino);
  info.changed = static_cast<std::uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
                 static_cast<std::uint64_t>(st.st_ctim.tv_nsec);
  return info;
}

}  // namespace

// Plain system calls: a stream would throw on a directory, and a
// non-blocking open keeps a FIFO from stalling the caller.
std::optional<std::string> readFile(const std::string& path, std::uint64_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> text;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) <= maxBytes) {
    text.emplace();
    // Up to a size any caller reads whole; a larger file grows as it is read.
    constexpr std::uint64_t kReserveAtMost = std::uint64_t{64} << 20;
    text->reserve(static_cast<std::size_t>(std::min<std::uint64_t>(st.st_size, kReserveAtMost)));
    char buf[8192];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      // A file that grows while it is read is held to the same bound.
      if (n < 0 || text->size() + static_cast<std::uint64_t>(n) > maxBytes) {
        text.reset();
        break;
      }
      if (n == 0) break;
      text->append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return text;
}

bool replaceFile(const std::string& path, std::string_view bytes,
                 std::optional<std::uint32_t> modified) {
  if (path.empty()) return false;
  const std::string pattern = path + ".XXXXXX";
  std::string name(pattern);
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  mode_t mode = 0644;
  if (stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  bool ok = fchmod(fd, mode) == 0 && posix::writeAll(fd, bytes);
  if (ok && modified) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*modified), 0}};
    ok = futimens(fd, times) == 0;
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(name.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(name.c_str());
  return ok;
}

bool makeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  struct stat st {};
  return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<FileInfo> listFiles(const std::string& directory) {
  std::vector<FileInfo> files;
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return files;
  const int dirFd = ::dirfd(dir);
  while (const struct dirent* entry = ::readdir(dir)) {
    struct stat st {};
    // A file removed between the listing and the look is left out.
    if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      files.push_back(infoOf(entry->d_name, st));
  }
  ::closedir(dir);
  return files;
}

std::optional<FileInfo> fileInfo(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const std::size_t slash = path.rfind('/');
  return infoOf(slash == std::string::npos ? path : path.substr(slash + 1), st);
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool setModifiedTime(const std::string& path, std::uint32_t seconds) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
  return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace korvo::files
