#pragma once
// File service: whole-file reads, atomic replacement, and what a folder of
// such files needs (listing, modification times, removal). Names are the
// system's own (kPathSeparator in module_path.h). Nothing here throws; a
// failure is a return value.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::files {

// A regular file as a listing sees it. Times are whole seconds since 1970.
struct FileInfo {
  std::string name;  // without the directory
  std::uint64_t size = 0;
  std::uint32_t modified = 0;
  // Which file it is (inode, file index) and the system's finest stamp of
  // its last change of any kind (contents, times, name): a file written in
  // its place, or touched, differs in one of them.
  std::uint64_t id = 0;
  std::uint64_t changed = 0;
};

// True when a and b describe the same file, unchanged between the looks.
inline bool sameFile(const FileInfo& a, const FileInfo& b) {
  return a.size == b.size && a.modified == b.modified && a.id == b.id && a.changed == b.changed;
}

// The whole content of a regular file; nullopt when it is missing, not a
// regular file, unreadable, or larger than maxBytes. Never blocks on a
// FIFO or a device.
std::optional<std::string> readFile(
    const std::string& path, std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max());

// Writes bytes to a new temporary file beside path (path + "." and a unique
// suffix), flushes it to the disk and renames it over path, so a reader
// sees the old file or the new one, whole, never a part. An existing
// file's permissions are kept. modified, when given, becomes the new
// file's modification time before it takes path's place. False on any
// failure; path is then unchanged and the temporary file gone.
bool replaceFile(const std::string& path, std::string_view bytes,
                 std::optional<std::uint32_t> modified = std::nullopt);

// True when path is a directory afterwards (made now or there before).
bool makeDirectory(const std::string& path);

// The regular files directly in directory, in no particular order; empty
// when it is missing or unreadable.
std::vector<FileInfo> listFiles(const std::string& directory);

// What a listing would say of one file; nullopt when it is no regular file.
std::optional<FileInfo> fileInfo(const std::string& path);

bool removeFile(const std::string& path);

bool setModifiedTime(const std::string& path, std::uint32_t seconds);

}  // namespace korvo::files
