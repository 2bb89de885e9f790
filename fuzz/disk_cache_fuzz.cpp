// Any bytes as a stored copy of a feed. Loading never fails in any other
// way than by ignoring the file; what loads is exactly what a store of it
// writes (one file per copy), and a change of any one byte makes it not
// load. The same input, cut at zero bytes into the fields of a copy,
// is stored and must load back as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/file_system.h"
#include "platform/module_path.h"
#include "retrieval/disk_cache.h"

namespace {

constexpr std::string_view kUrl = "http://fuzz.example/feed.xml";

// A folder of this process on a memory file system when there is one, so
// that the writer's fsync costs nothing; removed at exit.
struct WorkDir {
  WorkDir() {
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path = base + "/korvo-cache-fuzz-" + std::to_string(getpid());
    std::filesystem::create_directories(path);
  }
  ~WorkDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

korvo::DiskCache& workCache() {
  static const WorkDir dir;
  static korvo::ManualClock clock(1700000000u);
  static korvo::Environment env = [] {
    korvo::Environment e;
    e.clock = &clock;
    return e;
  }();
  static korvo::DiskCache cache(dir.path, env);
  return cache;
}

std::string nextPart(std::string_view& input) {
  const std::size_t end = input.find('\0');
  std::string part(input.substr(0, end));
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  korvo::DiskCache& cache = workCache();

  // The bytes as the file of kUrl.
  const std::string path =
      cache.folder() + korvo::kPathSeparator + korvo::disk_cache::fileNameFor(kUrl);
  FUZZ_CHECK(korvo::files::replaceFile(path, bytes));
  const std::optional<korvo::StoredCopy> loaded = cache.load(kUrl);
  const std::optional<korvo::StoredCopy> decoded = korvo::disk_cache::decode(bytes, kUrl);
  FUZZ_CHECK(loaded.has_value() == decoded.has_value());
  if (decoded) {
    FUZZ_CHECK(*loaded == *decoded);
    FUZZ_CHECK(decoded->url == kUrl);
    FUZZ_CHECK(korvo::disk_cache::encode(*decoded) == bytes);
    for (std::size_t step : {std::size_t{0}, size / 3, size / 2, size - 1}) {
      std::string changed = bytes;
      changed[step] = static_cast<char>(changed[step] ^ (1 + step % 255));
      FUZZ_CHECK(!korvo::disk_cache::decode(changed, kUrl));
    }
  }

  // The bytes as the fields of a copy.
  std::string_view input(bytes);
  korvo::StoredCopy copy;
  copy.url = nextPart(input);
  copy.finalUrl = nextPart(input);
  copy.etag = nextPart(input);
  copy.lastModified = nextPart(input);
  copy.charset = nextPart(input);
  copy.isRdf = size > 0 && (data[0] & 1);
  copy.isAtom = size > 0 && (data[0] & 2);
  copy.body = std::string(input);
  if (copy.url.empty()) return 0;
  const std::string file = korvo::disk_cache::encode(copy);
  if (file.empty()) return 0;  // a text too long for the format
  std::optional<korvo::StoredCopy> back = korvo::disk_cache::decode(file, copy.url);
  FUZZ_CHECK(back && *back == copy);
  FUZZ_CHECK(!korvo::disk_cache::decode(file, copy.url + "x"));
  FUZZ_CHECK(cache.store(copy));
  back = cache.load(copy.url);
  FUZZ_CHECK(back && back->body == copy.body && back->etag == copy.etag);
  // One file at a time: the folder's listing stays short.
  korvo::files::removeFile(cache.folder() + korvo::kPathSeparator +
                           korvo::disk_cache::fileNameFor(copy.url));
  return 0;
}
