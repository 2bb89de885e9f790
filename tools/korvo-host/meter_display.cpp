#include "meter_display.h"

#include <vector>

#include "platform/text_conversion.h"

namespace korvo::host {
namespace {

constexpr std::size_t kLongestCharacter = 4;  // bytes, in every code page read here

void appendUtf8(std::u32string_view text, std::string& out) {
  std::vector<charset::Gap> gaps;  // only what no UTF-8 can hold: nothing to show
  charset::encode(charset::kUtf8, text, out, gaps);
}

void appendEscaped(unsigned char c, std::string& out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

void showBytes(std::ostream& out, const char* label, const std::string& bytes, unsigned cp) {
  out << "  " << label << " (" << bytes.size() << (bytes.size() == 1 ? " byte)" : " bytes)");
  if (!bytes.empty()) {
    out << ": ";
    for (char c : toUtf8(bytes, cp)) {
      if (c == '\n') {
        out << "\n    ";  // later lines of a list under the first
      } else {
        out.put(c);
      }
    }
  }
  out << '\n';
}

}  // namespace

std::string toUtf8(std::string_view bytes, unsigned cp) {
  std::string shown;
  std::u32string text;
  std::size_t dropped = 0;
  if (!charset::decode(cp, bytes, text, &dropped)) {
    for (unsigned char c : bytes) appendEscaped(c, shown);
    return shown;
  }
  if (dropped == 0) {
    appendUtf8(text, shown);
    return shown;
  }
  // Some bytes are no character: one character at a time, the shortest
  // run of bytes that reads as one whole, else the first byte escaped.
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t length = 0;
    for (std::size_t n = 1; n <= kLongestCharacter && i + n <= bytes.size(); ++n) {
      std::size_t lost = 0;
      text.clear();
      charset::decode(cp, bytes.substr(i, n), text, &lost);
      if (lost == 0 && !text.empty()) {
        length = n;
        break;
      }
    }
    if (length == 0) {
      appendEscaped(static_cast<unsigned char>(bytes[i]), shown);
      ++i;
    } else {
      appendUtf8(text, shown);
      i += length;
    }
  }
  return shown;
}

MeterText splitTooltip(const char* answer) {
  MeterText shown;
  if (answer == nullptr) return shown;
  // Copied at once: the plug-in reuses its buffer on the next call.
  std::string all(answer);
  std::size_t marker = all.find("%tt");
  if (marker == std::string::npos) {
    shown.text = std::move(all);
  } else {
    shown.text = all.substr(0, marker);
    shown.tooltip = all.substr(marker + 3);
    shown.hasTooltip = true;
  }
  return shown;
}

void showMeter(std::ostream& out, std::string_view section, std::string_view function,
               const std::string* param, const MeterText& shown, unsigned cp) {
  out << '[' << section << "] " << function;
  if (param) out << "(\"" << *param << "\")";
  out << '\n';
  showBytes(out, "text", shown.text, cp);
  if (shown.hasTooltip) showBytes(out, "tooltip", shown.tooltip, cp);
}

}  // namespace korvo::host
