#include "text/target_code_page.h"

#include <vector>

#include "platform/ascii.h"
#include "text/stand_ins.h"

namespace korvo {
namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void appendLatin1(std::u32string_view text, std::string& out) {
  out.reserve(out.size() + text.size());
  for (char32_t c : text) {
    if (c <= 0xFF) {
      out.push_back(static_cast<char>(c));
    } else if (const char* s = standIn(c, true)) {
      out.append(s);
    }
  }
}

}  // namespace

std::optional<TargetCodePage> parseCodePageSetting(std::string_view value,
                                                   unsigned systemCodePage) {
  value = trimmed(value);
  if (ascii::equalsIgnoringCase(value, "latin1")) return TargetCodePage{};
  if (ascii::equalsIgnoringCase(value, "utf-8") || ascii::equalsIgnoringCase(value, "utf8")) {
    return TargetCodePage{charset::kUtf8, false};
  }
  if (ascii::equalsIgnoringCase(value, "auto")) {
    // A system that shows only ASCII (the C locale): latin1 mode writes
    // ASCII as itself and narrows the rest as it always has.
    if (systemCodePage == charset::kUsAscii) return TargetCodePage{};
    if (!charset::isTargetCodePage(systemCodePage)) return std::nullopt;
    return TargetCodePage{systemCodePage, false};
  }
  if (value.empty() || value.size() > 5) return std::nullopt;
  const ascii::Decimal digits = ascii::parseDecimal(value, 0, 99999, ascii::Form::Digits);
  if (!digits.hasDigits) return std::nullopt;
  const auto number = static_cast<unsigned>(digits.value);
  if (!charset::isTargetCodePage(number)) return std::nullopt;
  return TargetCodePage{number, false};
}

std::string encodeForTarget(std::u32string_view text, const TargetCodePage& target) {
  std::string out;
  if (target.latin1) {
    appendLatin1(text, out);
    return out;
  }
  std::vector<charset::Gap> gaps;
  if (!charset::encode(target.number, text, out, gaps)) return std::string();
  if (gaps.empty()) return out;
  // Stand-ins are ASCII, which every target shows as itself; they are
  // spliced in where the converter left the gaps.
  std::string joined;
  joined.reserve(out.size() + gaps.size());
  std::size_t from = 0;
  for (const charset::Gap& gap : gaps) {
    joined.append(out, from, gap.offset - from);
    from = gap.offset;
    if (const char* s = standIn(text[gap.index], false)) joined.append(s);
  }
  joined.append(out, from, std::string::npos);
  return joined;
}

std::size_t characterBoundary(std::string_view bytes, std::size_t maxBytes, unsigned cp) {
  const std::size_t n = bytes.size();
  if (n <= maxBytes) return n;
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  if (cp == charset::kUtf8) {
    // Back to the first byte of the character the cut falls in; stray
    // continuation bytes are characters of their own.
    std::size_t k = maxBytes;
    while (k > 0 && (s[k] & 0xC0) == 0x80 && maxBytes - k < 3) --k;
    if (k == maxBytes || !charset::isLeadByte(cp, s[k])) return maxBytes;
    const std::size_t length = s[k] >= 0xF0 ? 4 : s[k] >= 0xE0 ? 3 : 2;
    return k + length <= maxBytes ? maxBytes : k;
  }
  if (!charset::isMultiByte(cp)) return maxBytes;
  // A trail byte is never below 0x40, so a byte below it ends a character:
  // the walk over lead and trail bytes starts just after the last one.
  std::size_t i = maxBytes;
  while (i > 0 && s[i - 1] >= 0x40) --i;
  while (i < maxBytes) {
    const std::size_t length = charset::isLeadByte(cp, s[i]) ? 2 : 1;
    if (i + length > maxBytes) break;
    i += length;
  }
  return i;
}

}  // namespace korvo
