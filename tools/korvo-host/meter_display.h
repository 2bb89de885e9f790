#pragma once
// How korvo-host shows one meter: its heading, the text, and the tooltip
// split off at the first "%tt", each printed as the bytes the plug-in gave.
#include <ostream>
#include <string>
#include <string_view>

namespace korvo::host {

struct MeterText {
  std::string text;
  std::string tooltip;
  bool hasTooltip = false;
};

// Splits a plug-in answer at its first "%tt"; a null answer is empty.
MeterText splitTooltip(const char* answer);

// "[section] Function" or "[section] Function("param")", then
//   text (N bytes): ...
//   tooltip (N bytes): ...   (only when there is one)
// With utf8, every byte from 0x80 up is shown as the Latin-1 character of
// that code, written in UTF-8.
void showMeter(std::ostream& out, std::string_view section, std::string_view function,
               const std::string* param, const MeterText& shown, bool utf8 = false);

}  // namespace korvo::host
