#include "retrieval/disk_cache.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "base/limits.h"
#include "platform/file_system.h"
#include "platform/module_path.h"

namespace korvo {

bool StoredCopy::operator==(const StoredCopy& o) const {
  return url == o.url && finalUrl == o.finalUrl && etag == o.etag &&
         lastModified == o.lastModified && charset == o.charset && isRdf == o.isRdf &&
         isAtom == o.isAtom && storedAt == o.storedAt && body == o.body;
}

namespace disk_cache {
namespace {

// The header, all numbers little-endian 32-bit:
//   0 magic (8 bytes)  8 version  12 checksum  16 storedAt  20 flags
//   24.. lengths of url, finalUrl, etag, lastModified, charset, body
// then those six, in that order, and nothing after them. The checksum is
// the CRC-32 of the whole file with its own four bytes taken as zero.
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kChecksumAt = 12;
constexpr std::size_t kStoredAtAt = 16;
constexpr std::size_t kFlagsAt = 20;
constexpr std::size_t kLengthsAt = 24;
constexpr std::size_t kParts = 6;  // five texts, then the body
constexpr std::uint32_t kRdfFlag = 1, kAtomFlag = 2;
static_assert(kLengthsAt + 4 * kParts == kHeaderSize);

// CRC-32 (the polynomial of zlib), eight bytes a step: copies are up to
// 16 MiB and are checked whole on every load.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeCrcTables() {
  CrcTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
  return t;
}
constexpr CrcTables kCrc = makeCrcTables();

std::uint32_t crcUpdate(std::uint32_t crc, std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  for (; n >= 8; n -= 8, p += 8) {
    const std::uint32_t lo = crc ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                    std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
    crc = kCrc[7][lo & 0xFFu] ^ kCrc[6][(lo >> 8) & 0xFFu] ^ kCrc[5][(lo >> 16) & 0xFFu] ^
          kCrc[4][lo >> 24] ^ kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
  }
  for (; n > 0; --n, ++p) crc = kCrc[0][(crc ^ *p) & 0xFFu] ^ (crc >> 8);
  return crc;
}

std::uint32_t checksumOf(std::string_view file) {
  std::uint32_t crc = 0xFFFFFFFFu;
  crc = crcUpdate(crc, file.substr(0, kChecksumAt));
  crc = crcUpdate(crc, std::string_view("\0\0\0\0", 4));
  crc = crcUpdate(crc, file.substr(kChecksumAt + 4));
  return crc ^ 0xFFFFFFFFu;
}

void put32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFFu);
}

std::uint32_t get32(std::string_view in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
  return v;
}

std::uint64_t maxPartBytes(std::size_t part) {
  return part + 1 == kParts ? limits::kMaxResponseBytes : kMaxTextBytes;
}

}  // namespace

std::string folderBeside(const std::string& iniPath) {
  const std::size_t cut = iniPath.find_last_of(std::string("/") + kPathSeparator);
  const std::string directory =
      cut == std::string::npos ? std::string() : iniPath.substr(0, cut + 1);
  return directory + std::string(kFolderName);
}

std::string fileNameFor(std::string_view url) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char b : url) {
    hash ^= b;
    hash *= 1099511628211ull;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) name[static_cast<std::size_t>(i)] = kHex[hash & 0xFu];
  return name + std::string(kFileSuffix);
}

std::string encode(const StoredCopy& copy) {
  const std::string_view parts[kParts] = {copy.url,          copy.finalUrl, copy.etag,
                                          copy.lastModified, copy.charset,  copy.body};
  std::size_t total = kHeaderSize;
  for (std::size_t i = 0; i < kParts; ++i) {
    if (parts[i].size() > maxPartBytes(i)) return {};
    total += parts[i].size();
  }
  std::string out(kHeaderSize, '\0');
  out.reserve(total);
  out.replace(0, kMagic.size(), kMagic);
  put32(out, kVersionAt, kFormatVersion);
  put32(out, kStoredAtAt, copy.storedAt);
  put32(out, kFlagsAt, (copy.isRdf ? kRdfFlag : 0) | (copy.isAtom ? kAtomFlag : 0));
  for (std::size_t i = 0; i < kParts; ++i) {
    put32(out, kLengthsAt + 4 * i, static_cast<std::uint32_t>(parts[i].size()));
    out.append(parts[i]);
  }
  put32(out, kChecksumAt, checksumOf(out));
  return out;
}

std::optional<StoredCopy> decode(std::string bytes, std::string_view url) {
  const std::string_view in(bytes);
  if (in.size() < kHeaderSize || in.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  if (get32(in, kVersionAt) != kFormatVersion) return std::nullopt;
  const std::uint32_t flags = get32(in, kFlagsAt);
  if ((flags & ~(kRdfFlag | kAtomFlag)) != 0) return std::nullopt;
  std::size_t lengths[kParts];
  std::uint64_t total = kHeaderSize;
  for (std::size_t i = 0; i < kParts; ++i) {
    const std::uint32_t length = get32(in, kLengthsAt + 4 * i);
    if (length > maxPartBytes(i)) return std::nullopt;
    lengths[i] = length;
    total += length;
  }
  if (total != in.size() || lengths[0] != url.size()) return std::nullopt;
  if (in.substr(kHeaderSize, lengths[0]) != url) return std::nullopt;
  if (get32(in, kChecksumAt) != checksumOf(in)) return std::nullopt;

  StoredCopy copy;
  copy.storedAt = get32(in, kStoredAtAt);
  copy.isRdf = (flags & kRdfFlag) != 0;
  copy.isAtom = (flags & kAtomFlag) != 0;
  std::string* texts[kParts - 1] = {&copy.url, &copy.finalUrl, &copy.etag, &copy.lastModified,
                                    &copy.charset};
  std::size_t at = kHeaderSize;
  for (std::size_t i = 0; i + 1 < kParts; ++i) {
    texts[i]->assign(in.substr(at, lengths[i]));
    at += lengths[i];
  }
  // The body is the file's tail: moved, not copied.
  bytes.erase(0, at);
  copy.body = std::move(bytes);
  return copy;
}

bool parseSetting(std::string_view value) { return value.empty() || value == "yes"; }

}  // namespace disk_cache

namespace {

constexpr std::uint64_t kMaxFileBytes =
    disk_cache::kHeaderSize + 5 * disk_cache::kMaxTextBytes + limits::kMaxResponseBytes;

bool isHex(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// "<16 hex digits>.kvc": a copy; the same followed by "." and more: the
// temporary file of a write.
bool isCopyName(std::string_view name) {
  return name.size() == 16 + disk_cache::kFileSuffix.size() && isHex(name.substr(0, 16)) &&
         name.substr(16) == disk_cache::kFileSuffix;
}

bool isTemporaryName(std::string_view name) {
  const std::size_t stem = 16 + disk_cache::kFileSuffix.size();
  return name.size() > stem + 1 && isCopyName(name.substr(0, stem)) && name[stem] == '.';
}

// Seconds since a time stamp; one in the future (a clock set back, another
// process's clock) counts as now.
std::uint32_t ageOf(std::uint32_t stamp, std::uint32_t now) {
  return now > stamp ? now - stamp : 0;
}

}  // namespace

DiskCache::DiskCache(std::string folder, const Environment& env, DiskCacheBounds bounds)
    : folder_(std::move(folder)), env_(env), bounds_(bounds) {}

std::string DiskCache::pathFor(std::string_view url) const {
  return folder_ + kPathSeparator + disk_cache::fileNameFor(url);
}

bool DiskCache::store(StoredCopy copy) {
  if (copy.url.empty()) return false;
  const std::uint32_t now = env_.clock->now();
  copy.storedAt = now;
  const std::string bytes = disk_cache::encode(copy);
  if (bytes.empty() || bytes.size() > bounds_.maxFolderBytes) return false;
  if (!files::makeDirectory(folder_) || !files::replaceFile(pathFor(copy.url), bytes, now)) {
    if (!warned_.exchange(true))
      env_.writeLine("Cannot write the disk cache in " + folder_ + ": feeds are not kept on disk");
    return false;
  }
  pruneKeeping(disk_cache::fileNameFor(copy.url));
  return true;
}

std::optional<StoredCopy> DiskCache::load(std::string_view url) const {
  const std::string path = pathFor(url);
  std::optional<std::string> bytes = files::readFile(path, kMaxFileBytes);
  if (!bytes) return std::nullopt;
  std::optional<StoredCopy> copy = disk_cache::decode(std::move(*bytes), url);
  if (copy) files::setModifiedTime(path, env_.clock->now());
  return copy;
}

void DiskCache::markUsed(std::string_view url) const {
  files::setModifiedTime(pathFor(url), env_.clock->now());
}

void DiskCache::prune() const { pruneKeeping({}); }

void DiskCache::pruneKeeping(std::string_view keep) const {
  const std::uint32_t now = env_.clock->now();
  // Another process may replace a listed file before it goes: only the
  // file as listed is removed, never a newer copy in its place.
  auto removeIfUnchanged = [&](const files::FileInfo& listed) {
    const std::string path = folder_ + kPathSeparator + listed.name;
    const std::optional<files::FileInfo> current = files::fileInfo(path);
    if (current && files::sameFile(*current, listed)) files::removeFile(path);
  };
  std::vector<files::FileInfo> copies;
  for (files::FileInfo& file : files::listFiles(folder_)) {
    if (isTemporaryName(file.name)) {
      if (ageOf(file.modified, now) > disk_cache::kStaleTemporarySeconds) removeIfUnchanged(file);
    } else if (isCopyName(file.name)) {
      if (file.name != keep && ageOf(file.modified, now) > bounds_.maxIdleSeconds)
        removeIfUnchanged(file);
      else
        copies.push_back(std::move(file));
    }
  }
  std::sort(copies.begin(), copies.end(), [](const files::FileInfo& a, const files::FileInfo& b) {
    return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
  });
  std::uint64_t total = 0;
  for (const files::FileInfo& file : copies) total += file.size;
  for (const files::FileInfo& file : copies) {
    if (total <= bounds_.maxFolderBytes) break;
    if (file.name == keep) continue;
    removeIfUnchanged(file);
    total -= file.size;
  }
}

}  // namespace korvo
