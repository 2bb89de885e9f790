#include "platform/shared_log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/write_all.h"

namespace korvo::files {
namespace {

// Non-blocking, so that a FIFO with no reader fails at once instead of
// waiting for one; O_APPEND, so that every write lands at the end whoever
// wrote last.
int openForAppend(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                        0644);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// flock, not fcntl: its lock belongs to the open file, so closing another
// descriptor of the same file elsewhere in the process does not drop it.
bool lock(int fd) {
  while (flock(fd, LOCK_EX) != 0)
    if (errno != EINTR) return false;
  return true;
}

void unlock(int fd) { flock(fd, LOCK_UN); }

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool SharedLogFile::open(const std::string& path) {
  close();
  const int fd = openForAppend(path);
  if (fd < 0) return false;
  native_ = fd;
  path_ = path;
  return true;
}

bool SharedLogFile::close() {
  if (native_ < 0) return true;
  const bool ok = ::close(static_cast<int>(native_)) == 0;
  native_ = -1;
  return ok;
}

bool SharedLogFile::isOpen() const { return native_ >= 0; }

bool SharedLogFile::append(std::string_view text, std::uint64_t maxBytes,
                           const std::string& rotatedPath, bool* rotated) {
  if (rotated) *rotated = false;
  if (native_ < 0) return false;
  int fd = static_cast<int>(native_);
  const bool locked = lock(fd);
  // Another process may have moved the file aside since it was opened here
  // (or while this one waited for the lock): the lock that counts is the
  // one on the file the name stands for now. Only that file is rotated.
  bool current = false;
  struct stat held {};
  if (locked && fstat(fd, &held) == 0) {
    for (int tries = 0; tries < 8; ++tries) {
      struct stat named {};
      if (stat(path_.c_str(), &named) == 0 && sameFile(named, held)) {
        current = true;
        break;
      }
      const int fresh = openForAppend(path_);
      if (fresh < 0) break;  // the line goes to the file that is open
      unlock(fd);
      ::close(fd);
      native_ = fd = fresh;
      if (!lock(fd) || fstat(fd, &held) != 0) break;
    }
  }
  if (current && held.st_size > 0 &&
      static_cast<std::uint64_t>(held.st_size) + text.size() > maxBytes &&
      std::rename(path_.c_str(), rotatedPath.c_str()) == 0) {
    const int fresh = openForAppend(path_);
    if (fresh >= 0) {
      // Locked before the old file's lock goes: a process that waited on the
      // old file finds it moved and waits here, behind this line.
      lock(fresh);
      unlock(fd);
      ::close(fd);
      native_ = fd = fresh;
    }
    if (rotated) *rotated = true;
  }
  const bool written = posix::writeAll(fd, text);
  if (locked) unlock(fd);
  return written;
}

}  // namespace korvo::files
