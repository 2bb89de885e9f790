#pragma once
// The options dialog's FLTK window as built on an X display, described
// without showing it: the window's width and height on the first line,
// then one line per widget in template order: x, y, width, height and text
// size in pixels, then the width of its text in the dialog's font at the
// sizes kLargestTextSize down to kLargestTextSize - 3. Empty when the
// display cannot be opened. FLTK keeps the display for the rest of the
// process: call it in a child process.
#include <string>

namespace korvo::test {

inline constexpr int kLargestTextSize = 11;

std::string describeDialogWindow(const std::string& display);

}  // namespace korvo::test
