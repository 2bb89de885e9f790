#include "platform/file_system.h"

#include <windows.h>

#include <atomic>

#include "platform/win32/write_all.h"

namespace korvo::files {
namespace {

// FILETIME counts 100 ns steps since 1601.
constexpr std::uint64_t kEpochDifference = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

std::uint32_t secondsOf(const FILETIME& time) {
  const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  if (ticks < kEpochDifference) return 0;
  return static_cast<std::uint32_t>((ticks - kEpochDifference) / kTicksPerSecond);
}

FILETIME fileTimeOf(std::uint32_t seconds) {
  const std::uint64_t ticks = std::uint64_t{seconds} * kTicksPerSecond + kEpochDifference;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

bool isFile(DWORD attributes) {
  return (attributes &
          (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Every open shares everything, so that a reader never stops a writer of
// another process from renaming over the file it reads.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  void reset(HANDLE h) {
    close();
    h_ = h;
  }
  bool close() {
    if (!valid()) return true;
    const bool ok = CloseHandle(h_) != FALSE;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

std::string baseName(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::optional<std::string> readFile(const std::string& path, std::uint64_t maxBytes) {
  Handle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info) || !isFile(info.dwFileAttributes))
    return std::nullopt;
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  if (size > maxBytes) return std::nullopt;
  std::string text;
  // Up to a size any caller reads whole; a larger file grows as it is read.
  constexpr std::uint64_t kReserveAtMost = std::uint64_t{64} << 20;
  text.reserve(static_cast<std::size_t>(size < kReserveAtMost ? size : kReserveAtMost));
  char buf[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    if (text.size() + n > maxBytes) return std::nullopt;
    text.append(buf, n);
  }
  return text;
}

bool replaceFile(const std::string& path, std::string_view bytes,
                 std::optional<std::uint32_t> modified) {
  if (path.empty()) return false;
  static std::atomic<unsigned> counter{0};
  std::string temporary;
  Handle file(INVALID_HANDLE_VALUE);
  for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
    temporary =
        path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
    file.reset(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (!file.valid()) return false;
  bool ok = win32::writeAll(file.get(), bytes);
  if (ok && modified) {
    const FILETIME time = fileTimeOf(*modified);
    ok = SetFileTime(file.get(), nullptr, nullptr, &time) != FALSE;
  }
  if (ok) ok = FlushFileBuffers(file.get()) != FALSE;
  if (!file.close()) ok = false;
  // A reader of another process that opened the old file without sharing
  // its deletion holds the rename off for a moment.
  for (int attempt = 0; ok; ++attempt) {
    if (MoveFileExA(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    if (attempt == 20 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) break;
    Sleep(5);
  }
  DeleteFileA(temporary.c_str());
  return false;
}

bool makeDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The file index and change time, which only an open handle tells; false
// when the file cannot be opened (gone since the listing).
bool identify(const std::string& path, FileInfo& info) {
  Handle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION byHandle;
  if (!file.valid() || !GetFileInformationByHandle(file.get(), &byHandle)) return false;
  info.id = (std::uint64_t{byHandle.nFileIndexHigh} << 32) | byHandle.nFileIndexLow;
  FILE_BASIC_INFO basic;
  if (GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic))
    info.changed = static_cast<std::uint64_t>(basic.ChangeTime.QuadPart);
  return true;
}

std::vector<FileInfo> listFiles(const std::string& directory) {
  std::vector<FileInfo> files;
  std::string pattern = directory;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if (!isFile(found.dwFileAttributes)) continue;
    FileInfo info;
    info.name = found.cFileName;
    info.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    info.modified = secondsOf(found.ftLastWriteTime);
    const std::string folder = pattern.substr(0, pattern.size() - 1);
    // A file removed between the listing and the look is left out.
    if (identify(folder + info.name, info)) files.push_back(std::move(info));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

std::optional<FileInfo> fileInfo(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !isFile(data.dwFileAttributes))
    return std::nullopt;
  FileInfo info;
  info.name = baseName(path);
  info.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  info.modified = secondsOf(data.ftLastWriteTime);
  if (!identify(path, info)) return std::nullopt;
  return info;
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool setModifiedTime(const std::string& path, std::uint32_t seconds) {
  Handle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const FILETIME time = fileTimeOf(seconds);
  return SetFileTime(file.get(), nullptr, nullptr, &time) != FALSE;
}

}  // namespace korvo::files
