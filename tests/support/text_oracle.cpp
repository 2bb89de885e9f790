#include "support/text_oracle.h"

#include <cstdint>
#include <string_view>

#include "text/entity_tables.h"
#include "text/stand_ins.h"

namespace korvo::test {
namespace {

bool white(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }
bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }
bool hexDigit(char c) { return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string lowered(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The character a reference at `at` stands for, and its length (0: none).
std::size_t reference(const std::string& text, std::size_t at, std::uint32_t& code) {
  std::size_t i = at + 1;
  if (i < text.size() && text[i] == '#') {
    ++i;
    int base = 10;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
      base = 16;
      ++i;
    }
    const std::size_t first = i;
    unsigned long long value = 0;
    while (i < text.size() && (base == 16 ? hexDigit(text[i]) : digit(text[i]))) {
      const char c = text[i++];
      const int d = digit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
      value = value * base + d;
      if (value > 0x110000) value = 0x110000;
    }
    if (i == first || i >= text.size() || text[i] != ';') return 0;
    code = static_cast<std::uint32_t>(value);
    // Browsers read 128 to 159 as windows-1252 (five of them it lacks).
    static const std::uint32_t kCp1252[32] = {
        8364, 129,  8218, 402,  8222, 8230, 8224, 8225, 710, 8240, 352, 8249, 338, 141, 381, 143,
        144,  8216, 8217, 8220, 8221, 8226, 8211, 8212, 732, 8482, 353, 8250, 339, 157, 382, 376};
    if (code >= 128 && code <= 159) code = kCp1252[code - 128];
    return i + 1 - at;
  }
  while (i < text.size() && (letter(text[i]) || digit(text[i]))) ++i;
  if (i >= text.size() || text[i] != ';') return 0;
  const std::string name = text.substr(at + 1, i - at - 1);
  code = 0;
  for (const LatinEntity& row : LatinEntityTable)
    if (name == row.name) code = row.code;
  for (const SpecialEntity& row : SpecialEntityTable)
    if (name == row.name) code = static_cast<std::uint32_t>(std::stoul(std::string(row.code)));
  for (const SymbolEntity& row : SymbolEntityTable)
    if (name == row.name) code = row.code;
  return code != 0 ? i + 1 - at : 0;
}

std::string singleByte(std::uint32_t code) {
  if (code >= 1 && code <= 255) return std::string(1, static_cast<char>(code));
  for (const SpecialEntity& row : SpecialEntityTable)
    if (std::to_string(code) == row.code) return std::string(row.replacement);
  const char* standing = code > 255 ? standIn(code, true) : nullptr;
  return standing ? standing : "";
}

// The length of the mark-up that starts at `at`, 0 when none does.
std::size_t markup(const std::string& text, std::size_t at, bool& separates) {
  separates = false;
  if (text.compare(at, 4, "<!--") == 0) {
    const std::size_t end = text.find("-->", at + 4);
    if (end != std::string::npos) return end + 3 - at;
  }
  std::size_t name = at + 1;
  if (name < text.size() && text[name] == '/') ++name;
  const bool named = name < text.size() && letter(text[name]);
  const bool other = at + 1 < text.size() && (text[at + 1] == '!' || text[at + 1] == '?');
  if (!named && !other) return 0;
  const std::size_t close = text.find('>', at + 1);
  if (close == std::string::npos) return 0;
  if (!named) return close + 1 - at;
  std::size_t nameEnd = name;
  while (letter(text[nameEnd]) || digit(text[nameEnd])) ++nameEnd;
  const char after = text[nameEnd];
  if (!white(after) && after != '/' && after != '>') return close + 1 - at;
  const std::string tag = lowered(text.substr(name, nameEnd - name));
  for (const char* separating : {"br", "p", "div", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6",
                                 "blockquote", "hr"}) {
    if (tag == separating) separates = true;
  }
  if (name == at + 1 && (tag == "script" || tag == "style")) {
    const std::string rest = lowered(text);
    for (std::size_t end = rest.find("</" + tag, close); end != std::string::npos;
         end = rest.find("</" + tag, end + 1)) {
      const std::size_t afterName = end + 2 + tag.size();
      if (afterName >= text.size()) break;
      const char c = text[afterName];
      if (!white(c) && c != '/' && c != '>') continue;
      const std::size_t endClose = text.find('>', afterName);
      if (endClose == std::string::npos) break;
      return endClose + 1 - at;
    }
  }
  return close + 1 - at;
}

}  // namespace

void literalReplaceBr(std::string& text) {
  std::size_t pos = 0;
  for (std::size_t open; (open = text.find('<', pos)) != std::string::npos; pos = open + 1) {
    std::size_t name = open + 1;
    if (name < text.size() && text[name] == '/') ++name;
    if (name + 2 >= text.size() || lowered(text.substr(name, 2)) != "br") continue;
    const char after = text[name + 2];
    if (!white(after) && after != '/' && after != '>') continue;
    const std::size_t close = text.find('>', name + 2);
    if (close == std::string::npos) continue;
    text.erase(open, close - open + 1);
    text.insert(open, "\n");
  }
}

void literalFilterHtml(std::string& text, TagBreak tagBreak) {
  std::string out;
  std::size_t settled = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::uint32_t code = 0;
    bool separates = false;
    std::size_t length = 0;
    if (text[i] == '&' && (length = reference(text, i, code)) != 0) {
      out += singleByte(code);
      settled = out.size();
      i += length;
    } else if (text[i] == '<' && (length = markup(text, i, separates)) != 0) {
      bool whiteSeen = false, separated = separates;
      int lineFeeds = 0;
      while (out.size() > settled && white(out.back())) {
        whiteSeen = true;
        if (out.back() == '\n') ++lineFeeds;
        out.pop_back();
      }
      i += length;
      for (;;) {
        while (i < text.size() && white(text[i])) {
          whiteSeen = true;
          if (text[i++] == '\n') ++lineFeeds;
        }
        if (i < text.size() && text[i] == '<' && (length = markup(text, i, separates)) != 0) {
          separated = separated || separates;
          i += length;
          continue;
        }
        break;
      }
      if (out.empty() || i == text.size()) continue;
      if (tagBreak == TagBreak::LineFeed && (separated || lineFeeds > 0)) {
        out += lineFeeds > 1 ? "\n\n" : "\n";
      } else if (separated || whiteSeen) {
        out += ' ';
      }
    } else {
      out += text[i++];
    }
  }
  text = out;
}

}  // namespace korvo::test
