#include "platform/ini_file.h"

#include <windows.h>

#include <climits>
#include <optional>

#include "platform/ini_names.h"

namespace korvo::ini {
namespace {

// The C calls stop at a zero byte: a text holding one would name another
// section or key than asked for.
std::optional<std::string> cText(std::string_view s) {
  if (s.find('\0') != std::string_view::npos) return std::nullopt;
  return std::string(s);
}

// A file name without any directory part makes the system look in the
// Windows directory; ours always means the current directory.
std::optional<std::string> fileName(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  if (path.find_first_of("\\/:") == std::string::npos) return ".\\" + path;
  return path;
}

DWORD bufferLength(std::size_t size) {
  return size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(size);
}

bool exists(const std::string& file) {
  return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string readString(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view def, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  auto file = fileName(path);
  auto s = cText(section), k = cText(key), d = cText(def);
  std::string out;
  if (file && s && k && d) {
    std::string buffer(bufferSize, '\0');
    const DWORD n = GetPrivateProfileStringA(s->c_str(), k->c_str(), d->c_str(), buffer.data(),
                                             bufferLength(bufferSize), file->c_str());
    out.assign(buffer.data(), n);
  } else {
    out = std::string(def.substr(0, def.find('\0')));
  }
  if (out.size() > bufferSize - 1) out.resize(bufferSize - 1);
  return out;
}

int readInt(const std::string& path, std::string_view section, std::string_view key, int def) {
  auto file = fileName(path);
  auto s = cText(section), k = cText(key);
  if (!file || !s || !k) return def;
  return static_cast<int>(GetPrivateProfileIntA(s->c_str(), k->c_str(), def, file->c_str()));
}

std::string readSection(const std::string& path, std::string_view section, std::size_t bufferSize) {
  if (bufferSize < 2) return {};
  auto file = fileName(path);
  auto s = cText(section);
  if (!file || !s) return {};
  std::string buffer(bufferSize, '\0');
  const DWORD n =
      GetPrivateProfileSectionA(s->c_str(), buffer.data(), bufferLength(bufferSize), file->c_str());
  buffer.resize(n < bufferSize ? n : bufferSize - 2);
  return buffer;
}

std::vector<std::string> readSectionNames(const std::string& path) {
  std::vector<std::string> names;
  auto file = fileName(path);
  if (!file) return names;
  // The call reports a cut list as the buffer's size less two; grow until
  // the whole list fits.
  std::string buffer;
  DWORD n = 0;
  for (std::size_t size = 4096; size <= (std::size_t{1} << 26); size *= 2) {
    buffer.assign(size, '\0');
    n = GetPrivateProfileSectionNamesA(buffer.data(), bufferLength(size), file->c_str());
    if (n + 2 < size) break;
  }
  buffer.resize(n);
  for (std::size_t at = 0; at < buffer.size();) {
    std::size_t end = buffer.find('\0', at);
    if (end == std::string::npos) end = buffer.size();
    std::string_view name(buffer.data() + at, end - at);
    at = end + 1;
    bool seen = false;
    for (const std::string& known : names) seen = seen || sameName(known, name);
    if (!seen) names.emplace_back(name);
  }
  return names;
}

bool writeString(const std::string& path, std::string_view section, std::string_view key,
                 std::string_view value) {
  auto file = fileName(path);
  auto s = cText(section), k = cText(key), v = cText(value);
  if (!file || !s || !k || !v || !writableNames(section, key) || !fitsOnOneLine(value))
    return false;
  return WritePrivateProfileStringA(s->c_str(), std::string(trim(*k)).c_str(),
                                    std::string(trim(*v)).c_str(), file->c_str()) != FALSE;
}

bool deleteKey(const std::string& path, std::string_view section, std::string_view key) {
  auto file = fileName(path);
  auto s = cText(section), k = cText(key);
  if (!file || !s || !k) return false;
  // Deleting from a file that is not there must not create it.
  if (!exists(*file)) return true;
  return WritePrivateProfileStringA(s->c_str(), k->c_str(), nullptr, file->c_str()) != FALSE;
}

}  // namespace korvo::ini
