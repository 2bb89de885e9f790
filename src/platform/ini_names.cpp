#include "platform/ini_names.h"

#include "platform/ascii.h"

namespace korvo::ini {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) { return ascii::equalsIgnoringCase(a, b); }

bool fitsOnOneLine(std::string_view s) {
  return s.find('\n') == std::string_view::npos && s.find('\r') == std::string_view::npos;
}

bool writableNames(std::string_view section, std::string_view key) {
  if (!fitsOnOneLine(section) || section.find(']') != std::string_view::npos) return false;
  key = trim(key);
  return fitsOnOneLine(key) && !key.empty() && key.front() != '[' && key.front() != ';' &&
         key.find('=') == std::string_view::npos;
}

}  // namespace korvo::ini
