#include "feed/base64.h"

#include <cstdint>
#include <utility>

namespace korvo {
namespace {

// The value of an alphabet character, or -1.
int valueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool decodeBase64(std::string_view text, std::string& out) {
  std::string decoded;
  decoded.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int count = 0;  // characters in bits, 0..3
  std::size_t padding = 0;
  for (char c : text) {
    if (isBlank(c)) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = valueOf(c);
    // Padding ends the text: nothing but more padding and blanks after it.
    if (value < 0 || padding != 0) return false;
    bits = bits << 6 | static_cast<std::uint32_t>(value);
    if (++count == 4) {
      decoded.push_back(static_cast<char>(bits >> 16 & 0xFF));
      decoded.push_back(static_cast<char>(bits >> 8 & 0xFF));
      decoded.push_back(static_cast<char>(bits & 0xFF));
      bits = 0;
      count = 0;
    }
  }
  // Padding, when written, fills the last group to four characters.
  if (count == 1 || (padding != 0 && count + padding != 4) || (count == 0 && padding != 0))
    return false;
  if (count == 2) {
    decoded.push_back(static_cast<char>(bits >> 4 & 0xFF));
  } else if (count == 3) {
    decoded.push_back(static_cast<char>(bits >> 10 & 0xFF));
    decoded.push_back(static_cast<char>(bits >> 2 & 0xFF));
  }
  out = std::move(decoded);
  return true;
}

}  // namespace korvo
