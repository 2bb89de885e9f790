#include "meter_display.h"

namespace korvo::host {
namespace {

void showBytes(std::ostream& out, const char* label, const std::string& bytes, bool utf8) {
  out << "  " << label << " (" << bytes.size() << (bytes.size() == 1 ? " byte)" : " bytes)");
  if (!bytes.empty()) {
    out << ": ";
    for (unsigned char c : bytes) {
      if (c == '\n') {
        out << "\n    ";  // later lines of a list under the first
      } else if (c < 0x80 || !utf8) {
        out.put(static_cast<char>(c));
      } else {
        out.put(static_cast<char>(0xC0 | (c >> 6)));
        out.put(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
  }
  out << '\n';
}

}  // namespace

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
               const std::string* param, const MeterText& shown, bool utf8) {
  out << '[' << section << "] " << function;
  if (param) out << "(\"" << *param << "\")";
  out << '\n';
  showBytes(out, "text", shown.text, utf8);
  if (shown.hasTooltip) showBytes(out, "tooltip", shown.tooltip, utf8);
}

}  // namespace korvo::host
