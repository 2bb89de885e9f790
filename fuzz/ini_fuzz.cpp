// Any file content through the INI reader and writer. Reading never fails;
// writing (or deleting) one key leaves every other readable key as it was
// and the written key reads back as written; a refused write leaves the
// file byte for byte. The input: one byte of choices, then the section,
// key and value of the write, each ended by a zero byte, then the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/ini_file.h"

namespace {

constexpr std::size_t kLargeBuffer = std::size_t{1} << 20;
constexpr const char* kMissing = "\x01missing";

// A directory of this process on a memory file system when there is one,
// so that the writer's fsync costs nothing; removed at exit.
struct WorkDir {
  WorkDir() {
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path = base + "/korvo-ini-fuzz-" + std::to_string(getpid());
    std::filesystem::create_directories(path);
  }
  ~WorkDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

const std::string& workFile() {
  static const WorkDir dir;
  static const std::string file = dir.path + "/file.ini";
  return file;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

std::string lowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Section and key, matched as the reader matches them.
std::string slot(std::string_view section, std::string_view key) {
  return lowerCase(trimmed(section)) + '\0' + lowerCase(trimmed(key));
}

// Every key the reader can reach, with its value.
std::map<std::string, std::string> readableKeys(const std::string& path) {
  std::map<std::string, std::string> keys;
  for (const std::string& section : korvo::ini::readSectionNames(path)) {
    const std::string lines = korvo::ini::readSection(path, section, kLargeBuffer);
    std::size_t at = 0;
    while (at < lines.size()) {
      std::size_t end = lines.find('\0', at);
      if (end == std::string::npos) end = lines.size();
      const std::string line = lines.substr(at, end - at);
      const std::string key = line.substr(0, line.find('='));
      keys.emplace(slot(section, key),
                   korvo::ini::readString(path, section, key, kMissing, kLargeBuffer));
      at = end + 1;
    }
  }
  return keys;
}

// The value a written value reads back as: trimmed, without enclosing quotes.
std::string readBack(std::string_view value) {
  std::string s = trimmed(value);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

// The next part of the input, up to a zero byte or the end.
std::string nextPart(std::string_view& input) {
  const std::size_t end = input.find('\0');
  std::string part(input.substr(0, end));
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool remove = data[0] & 1;
  const std::size_t smallBuffer = data[0] >> 1;
  const std::string section = nextPart(input);
  const std::string key = nextPart(input);
  const std::string value = nextPart(input);
  const std::string content(input);
  const std::string& path = workFile();
  writeAll(path, content);

  // Reads of every kind, with small buffers too.
  korvo::ini::readString(path, section, key, "default", smallBuffer);
  korvo::ini::readInt(path, section, key, -7);
  const std::string cut = korvo::ini::readSection(path, section, smallBuffer);
  FUZZ_CHECK(cut.size() + 1 <= (smallBuffer < 2 ? 1 : smallBuffer));

  // A zero byte in a key name cannot be told apart from the separators of
  // a section's text, so the key-by-key comparison needs a file without one.
  const bool comparable = content.find('\0') == std::string::npos;
  const auto before = comparable ? readableKeys(path) : std::map<std::string, std::string>();

  const bool ok = remove ? korvo::ini::deleteKey(path, section, key)
                         : korvo::ini::writeString(path, section, key, value);
  const std::string after = readAll(path);
  if (!ok) {
    FUZZ_CHECK(after == content);
    return 0;
  }
  if (!comparable) return 0;

  const std::string written = slot(section, key);
  const auto now = readableKeys(path);
  for (const auto& [name, old] : before) {
    if (name == written) continue;
    const auto it = now.find(name);
    FUZZ_CHECK(it != now.end());
    FUZZ_CHECK(it->second == old);
  }
  for (const auto& entry : now)
    FUZZ_CHECK(entry.first == written || before.count(entry.first) == 1);
  const std::string got = korvo::ini::readString(path, section, key, kMissing, kLargeBuffer);
  if (remove) {
    // Only the first match goes; a second line of the same name then shows.
    if (got != kMissing) FUZZ_CHECK(before.count(written) == 1);
  } else {
    FUZZ_CHECK(got == readBack(value));
  }
  return 0;
}
