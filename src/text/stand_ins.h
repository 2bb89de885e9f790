#pragma once
// Stand-ins for characters a code page lacks: one small table of our own,
// the same on every system, so that a title reads the same whichever
// converter runs underneath. A character without a stand-in is dropped;
// no stand-in is ever "?".
#include <cstdint>
#include <string_view>

namespace korvo {

// The ASCII text that stands for c where the target cannot show it: Latin
// letters without their accents ("ł" gives "l", "ß" gives "ss"),
// typographic quotes and dashes as ASCII, "…" as "...", "€" as "EUR".
// In latin1 mode the few characters Korvo has always narrowed keep their
// old results ("€" gives "E", "“" gives "''"). Null when c has none.
// The result views a string literal (zero-terminated).
const char* standIn(char32_t c, bool latin1Mode);

}  // namespace korvo
