#include "platform/shared_log_file.h"

#include <windows.h>

#include "platform/win32/write_all.h"

namespace korvo::files {
namespace {

// Other processes may rename or replace the file while it is open here.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The lock is one byte far past any end the file reaches: a locked range
// refuses other handles' writes, and the lines themselves must stay free.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

HANDLE toHandle(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

// Only a file on a disk: a pipe or a device could block a write.
HANDLE openForAppend(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

bool lock(HANDLE h) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != FALSE;
}

void unlock(HANDLE h) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  UnlockFileEx(h, 0, 1, 0, &at);
}

struct Identity {
  DWORD volume = 0, high = 0, low = 0;
  std::uint64_t size = 0;
};

bool identify(HANDLE h, Identity& out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  out.volume = info.dwVolumeSerialNumber;
  out.high = info.nFileIndexHigh;
  out.low = info.nFileIndexLow;
  out.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return true;
}

// True when path names the file whose identity is given.
bool namesFile(const std::string& path, const Identity& file) {
  HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  Identity named;
  const bool same = identify(h, named) && named.volume == file.volume && named.high == file.high &&
                    named.low == file.low;
  CloseHandle(h);
  return same;
}

bool writeAtEnd(HANDLE h, std::string_view bytes) {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(h, zero, nullptr, FILE_END) && win32::writeAll(h, bytes);
}

std::string withCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

bool SharedLogFile::open(const std::string& path) {
  close();
  HANDLE h = openForAppend(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  native_ = reinterpret_cast<std::intptr_t>(h);
  path_ = path;
  return true;
}

bool SharedLogFile::close() {
  if (native_ == -1) return true;
  const bool ok = CloseHandle(toHandle(native_)) != FALSE;
  native_ = -1;
  return ok;
}

bool SharedLogFile::isOpen() const { return native_ != -1; }

bool SharedLogFile::append(std::string_view text, std::uint64_t maxBytes,
                           const std::string& rotatedPath, bool* rotated) {
  if (rotated) *rotated = false;
  if (native_ == -1) return false;
  const std::string bytes = withCrLf(text);
  HANDLE h = toHandle(native_);
  const bool locked = lock(h);
  // Another process may have moved the file aside since it was opened here
  // (or while this one waited for the lock): the lock that counts is the
  // one on the file the name stands for now. Only that file is rotated.
  bool current = false;
  Identity held;
  if (locked && identify(h, held)) {
    for (int tries = 0; tries < 8; ++tries) {
      if (namesFile(path_, held)) {
        current = true;
        break;
      }
      HANDLE fresh = openForAppend(path_);
      if (fresh == INVALID_HANDLE_VALUE) break;  // the line goes to the file that is open
      unlock(h);
      CloseHandle(h);
      h = fresh;
      native_ = reinterpret_cast<std::intptr_t>(h);
      if (!lock(h) || !identify(h, held)) break;
    }
  }
  // Renaming fails while a process holds the old file open without
  // sharing its deletion; the file then grows on and is moved next time.
  if (current && held.size > 0 && held.size + bytes.size() > maxBytes &&
      MoveFileExA(path_.c_str(), rotatedPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    HANDLE fresh = openForAppend(path_);
    if (fresh != INVALID_HANDLE_VALUE) {
      // Locked before the old file's lock goes: a process that waited on the
      // old file finds it moved and waits here, behind this line.
      lock(fresh);
      unlock(h);
      CloseHandle(h);
      h = fresh;
      native_ = reinterpret_cast<std::intptr_t>(h);
    }
    if (rotated) *rotated = true;
  }
  const bool written = writeAtEnd(h, bytes);
  if (locked) unlock(h);
  return written;
}

}  // namespace korvo::files
