#pragma once
// How korvo-host shows one meter: its heading, the text, and the tooltip
// split off at the first "%tt", each read in the code page the plug-in
// writes and printed in UTF-8.
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
// N counts the bytes the plug-in returned; they are shown as the characters
// of code page cp (a charset:: number), written in UTF-8.
void showMeter(std::ostream& out, std::string_view section, std::string_view function,
               const std::string* param, const MeterText& shown, unsigned cp);

// bytes in code page cp as UTF-8. A byte that starts no character of cp is
// written as "\xNN" (two upper-case hex digits) rather than dropped, and
// every byte is when cp cannot be read.
std::string toUtf8(std::string_view bytes, unsigned cp);

}  // namespace korvo::host
