#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/ascii.h"
#include "platform/file_system.h"
#include "platform/ini_names.h"

namespace korvo::ini {
namespace {

// One line of the file as it stands, with what it means.
struct Line {
  enum Kind { kOther, kSection, kEntry } kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // entry value, trimmed
  bool hasEquals = false;
  std::size_t begin = 0, end = 0;  // byte range of the line, line end excluded
  std::size_t next = 0;            // where the following line starts
};

std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  // A UTF-8 byte order mark (editors add one) is not part of the first line;
  // it stays in the file untouched.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::size_t pos = text.substr(0, kBom.size()) == kBom ? kBom.size() : 0;
  while (pos < text.size()) {
    Line line;
    line.begin = pos;
    std::size_t nl = text.find('\n', pos);
    line.end = nl == std::string_view::npos ? text.size() : nl;
    line.next = nl == std::string_view::npos ? text.size() : nl + 1;
    std::string_view body = trim(text.substr(line.begin, line.end - line.begin));
    if (!body.empty() && body.front() == '[') {
      line.kind = Line::kSection;
      std::size_t close = body.find(']');
      line.name = trim(body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else if (!body.empty() && body.front() != ';') {
      line.kind = Line::kEntry;
      std::size_t eq = body.find('=');
      line.hasEquals = eq != std::string_view::npos;
      line.name = trim(body.substr(0, eq));
      if (line.hasEquals) line.value = trim(body.substr(eq + 1));
    }
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

// The whole file; nullopt when it is missing, unreadable or not a regular
// file.
std::optional<std::string> readFile(const std::string& path) { return files::readFile(path); }

// Index range [first, last) of the lines inside the first section named
// `section` (the header line excluded); nullopt when there is none.
struct SectionSpan {
  std::size_t header, first, last;
};

std::optional<SectionSpan> findSection(const std::vector<Line>& lines, std::string_view section) {
  section = trim(section);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != Line::kSection || !sameName(lines[i].name, section)) continue;
    std::size_t j = i + 1;
    while (j < lines.size() && lines[j].kind != Line::kSection) ++j;
    return SectionSpan{i, i + 1, j};
  }
  return std::nullopt;
}

std::optional<std::size_t> findKey(const std::vector<Line>& lines, const SectionSpan& span,
                                   std::string_view key) {
  key = trim(key);
  for (std::size_t i = span.first; i < span.last; ++i)
    if (lines[i].kind == Line::kEntry && sameName(lines[i].name, key)) return i;
  return std::nullopt;
}

std::optional<std::string> lookup(const std::string& path, std::string_view section, std::string_view key) {
  auto text = readFile(path);
  if (!text) return std::nullopt;
  auto lines = splitLines(*text);
  auto span = findSection(lines, section);
  if (!span) return std::nullopt;
  auto at = findKey(lines, *span, key);
  if (!at) return std::nullopt;
  std::string_view value = lines[*at].value;
  // Like the Windows reader: a value in double quotes loses them.
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// The file a write replaces: path itself or, when path is a symbolic link,
// the file at the end of its chain of links, so that a link stays a link
// (as a write through the link would leave it). Empty for a loop of links.
std::string writeTarget(const std::string& path) {
  std::string target = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    std::vector<char> name(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
    const ssize_t n = readlink(target.c_str(), name.data(), name.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= name.size()) return {};
    std::string next(name.data(), static_cast<std::size_t>(n));
    const std::size_t slash = target.rfind('/');
    if (next.front() != '/' && slash != std::string::npos) next = target.substr(0, slash + 1) + next;
    target = std::move(next);
  }
  return {};
}

// Replaces the target of path with text, atomically.
bool replaceFile(const std::string& linkOrPath, const std::string& text) {
  const std::string path = writeTarget(linkOrPath);
  return !path.empty() && files::replaceFile(path, text);
}

}  // namespace

std::string readString(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view def, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::string out;
  if (auto value = lookup(path, section, key)) out = std::move(*value);
  else out = std::string(def);
  if (out.size() > bufferSize - 1) out.resize(bufferSize - 1);
  return out;
}

int readInt(const std::string& path, std::string_view section, std::string_view key, int def) {
  auto value = lookup(path, section, key);
  if (!value || value->empty()) return def;
  return static_cast<int>(ascii::parseDecimal(*value, INT_MIN, INT_MAX).value);
}

std::string readSection(const std::string& path, std::string_view section, std::size_t bufferSize) {
  std::string out;
  if (auto text = readFile(path)) {
    auto lines = splitLines(*text);
    if (auto span = findSection(lines, section)) {
      for (std::size_t i = span->first; i < span->last; ++i) {
        const Line& line = lines[i];
        if (line.kind != Line::kEntry) continue;
        out.append(line.name);
        if (line.hasEquals) {
          out.push_back('=');
          out.append(line.value);
        }
        out.push_back('\0');
      }
    }
  }
  if (bufferSize < 2) return {};
  if (out.size() + 1 > bufferSize) out.resize(bufferSize - 2);
  return out;
}

std::vector<std::string> readSectionNames(const std::string& path) {
  std::vector<std::string> names;
  auto text = readFile(path);
  if (!text) return names;
  for (const Line& line : splitLines(*text)) {
    if (line.kind != Line::kSection) continue;
    bool seen = false;
    for (const std::string& name : names) seen = seen || sameName(name, line.name);
    if (!seen) names.emplace_back(line.name);
  }
  return names;
}

bool writeString(const std::string& path, std::string_view section, std::string_view key,
                 std::string_view value) {
  if (path.empty() || !writableNames(section, key) || !fitsOnOneLine(value)) return false;
  std::string text;
  if (auto old = readFile(path)) text = std::move(*old);
  else if (access(path.c_str(), F_OK) == 0) return false;  // there, but unreadable
  const char* eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  auto lines = splitLines(text);
  auto span = findSection(lines, section);
  std::string entry = std::string(trim(key)) + "=" + std::string(trim(value));
  if (!span) {
    if (!text.empty() && text.back() != '\n') text += eol;
    text += "[" + std::string(trim(section)) + "]" + eol + entry + eol;
  } else if (auto at = findKey(lines, *span, key)) {
    const Line& line = lines[*at];
    entry = std::string(line.name) + "=" + std::string(trim(value));
    std::size_t stop = line.end;
    if (stop > line.begin && text[stop - 1] == '\r') --stop;
    text.replace(line.begin, stop - line.begin, entry);
  } else {
    // After the section's last entry, so blank lines before the next
    // section stay where they are.
    std::size_t after = span->header;
    for (std::size_t i = span->first; i < span->last; ++i)
      if (lines[i].kind == Line::kEntry) after = i;
    std::size_t pos = lines[after].next;
    std::string insert = entry + eol;
    if (lines[after].next == lines[after].end) insert = eol + insert;  // last line had no line end
    text.insert(pos, insert);
  }
  return replaceFile(path, text);
}

bool deleteKey(const std::string& path, std::string_view section, std::string_view key) {
  auto text = readFile(path);
  if (!text) return access(path.c_str(), F_OK) != 0;
  auto lines = splitLines(*text);
  auto span = findSection(lines, section);
  if (!span) return true;
  auto at = findKey(lines, *span, key);
  if (!at) return true;
  text->erase(lines[*at].begin, lines[*at].next - lines[*at].begin);
  return replaceFile(path, *text);
}

}  // namespace korvo::ini
