#include "support/text_oracle.h"

#include <cstdlib>

#include "text/entity_tables.h"

namespace korvo::test {
namespace {

void replaceAll(std::string& text, const std::string& what) {
  std::size_t pos = text.find(what);
  while (pos != std::string::npos) {
    text.erase(pos, what.size());
    text.insert(pos, "\n");
    pos = text.find(what, pos + 1);
  }
}

std::string numericReplacement(const std::string& digits) {
  // strtoll stops at the first non-digit, as at a zero byte.
  const long long value = std::strtoll(digits.c_str(), nullptr, 10);
  if (value >= 1 && value <= 255) return std::string(1, static_cast<char>(value));
  for (const SpecialEntity& row : SpecialEntityTable) {
    if (digits == row.code) return std::string(row.replacement);
  }
  return "";
}

std::string namedReplacement(const std::string& name) {
  for (const LatinEntity& row : LatinEntityTable) {
    if (name == row.name) return std::string(1, static_cast<char>(row.code));
  }
  for (const SpecialEntity& row : SpecialEntityTable) {
    if (name == row.name) return std::string(row.replacement);
  }
  return "";
}

}  // namespace

void literalReplaceBr(std::string& text) {
  replaceAll(text, "<br>");
  replaceAll(text, "<br />");
}

void literalFilterHtml(std::string& text) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = text.find('<', pos);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('>', open);
    if (close == std::string::npos) break;
    text.erase(open, close - open + 1);
    pos = open;
  }

  pos = 0;
  for (;;) {
    const std::size_t amp = text.find('&', pos);
    if (amp == std::string::npos) break;
    const std::size_t semi = text.find(';', amp + 1);
    if (semi == std::string::npos) break;
    const std::size_t distance = semi - amp;
    if (distance > 10) {
      pos = semi + 1;
      continue;
    }
    std::string replacement;
    if (text[amp + 1] == '#') {
      replacement = numericReplacement(text.substr(amp + 2, distance - 2));
    } else {
      replacement = namedReplacement(text.substr(amp + 1, distance - 1));
    }
    text.erase(amp, distance + 1);
    text.insert(amp, replacement);
    pos = amp;
  }
}

}  // namespace korvo::test
