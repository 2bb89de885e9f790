#pragma once
// The last good copy of each feed on disk, in the folder "KorvoCache" beside
// "Korvo.ini": one file per configured URL, named after a hash of that URL
// and holding it whole, written atomically, so that a start shows what the
// last run had and revalidates it. Files that are damaged, cut short, of
// another program, of another URL or of a later format are ignored, never
// trusted; the next store replaces them. The folder is bounded in size
// (least recently used first out) and in idle time.
//
// Every operation may run on any thread, several at once, and in several
// processes sharing one folder: each touches only whole files, through the
// file service's atomic replacement.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/environment.h"

namespace korvo {

// One stored download: the answer's body as received and what a later run
// needs to show it and to ask the server whether it changed.
struct StoredCopy {
  std::string url;       // as the settings give it: the key
  std::string finalUrl;  // after redirects: the base of relative links
  std::string etag;
  std::string lastModified;
  std::string charset;  // of the answer's Content-Type; empty when none
  bool isRdf = false;   // dialect flags of the answer
  bool isAtom = false;
  std::uint32_t storedAt = 0;  // seconds since 1970, by the injected clock
  std::string body;

  bool operator==(const StoredCopy& other) const;
};

namespace disk_cache {

inline constexpr std::string_view kFolderName = "KorvoCache";
inline constexpr std::string_view kFileSuffix = ".kvc";
inline constexpr std::string_view kMagic{"KORVO\r\n\x1a", 8};
inline constexpr std::uint32_t kFormatVersion = 1;
inline constexpr std::size_t kHeaderSize = 48;
inline constexpr std::size_t kMaxTextBytes = 65536;  // each of the texts of a copy
inline constexpr std::uint64_t kDefaultMaxFolderBytes = 64ull * 1024 * 1024;
inline constexpr std::uint32_t kDefaultMaxIdleSeconds = 30u * 24 * 60 * 60;
// A temporary file this much older than now is left over from a writer that
// died; younger ones may be another writer's at work.
inline constexpr std::uint32_t kStaleTemporarySeconds = 60 * 60;

// The folder beside the settings file iniPath, without a final separator.
std::string folderBeside(const std::string& iniPath);

// The file name (no directory) of url's copy: 16 hex digits of a 64-bit
// FNV-1a hash of the URL bytes, then kFileSuffix.
std::string fileNameFor(std::string_view url);

// The bytes of a copy's file. Texts longer than kMaxTextBytes or a body
// longer than limits::kMaxResponseBytes give the empty string.
std::string encode(const StoredCopy& copy);

// The copy in bytes when they are one whole file of this format for url
// (magic, version, lengths, checksum, URL all as written); nullopt for
// anything else. Never reads outside bytes, whatever they hold.
std::optional<StoredCopy> decode(std::string bytes, std::string_view url);

// The value of the DiskCache key of [Settings]: missing or empty means
// on; otherwise exactly "yes" is on and anything else ("no") off.
bool parseSetting(std::string_view value);

}  // namespace disk_cache

struct DiskCacheBounds {
  std::uint64_t maxFolderBytes = disk_cache::kDefaultMaxFolderBytes;
  std::uint32_t maxIdleSeconds = disk_cache::kDefaultMaxIdleSeconds;
};

class DiskCache {
 public:
  // folder: where the files go (made at the first store). env gives the
  // clock for every time stamp and the log for the one line about a folder
  // that cannot be written; it must outlive the cache.
  DiskCache(std::string folder, const Environment& env, DiskCacheBounds bounds = {});

  // Writes copy (storedAt set from the clock) as the file of copy.url,
  // marked as used now, then keeps the folder within its bounds. False
  // when nothing was written: the folder cannot be made or written (logged
  // once per cache), or the copy is larger than the whole folder may be.
  bool store(StoredCopy copy);

  // The stored copy of url, marked as used now; nullopt when there is none
  // that can be trusted.
  std::optional<StoredCopy> load(std::string_view url) const;

  // Marks url's copy as used now (a 304, or a failed download of a URL a
  // meter still shows), so that the idle bound does not take it.
  void markUsed(std::string_view url) const;

  // Removes copies idle longer than the bound, then the least recently used
  // until the folder is within its size, and temporary files left behind.
  // Files of other names are left alone.
  void prune() const;

  const std::string& folder() const { return folder_; }

 private:
  std::string pathFor(std::string_view url) const;
  // prune, never removing the copy named keep (the one just stored).
  void pruneKeeping(std::string_view keep) const;

  std::string folder_;
  const Environment& env_;
  DiskCacheBounds bounds_;
  std::atomic<bool> warned_{false};
};

}  // namespace korvo
