#pragma once
// The options dialog's window: dialog template 103 on Windows
// (win32_dialog.cpp), an FLTK window of the same layout elsewhere
// (fltk_dialog.cpp), run modally on the calling thread, handing its
// messages to the dialog's handlers.
namespace korvo {

class OptionsDialog;

// Returns once the dialog has ended: true. False, with no handler called
// and nothing changed, when no window can be shown (no display, or the
// window system refuses). Nothing the toolkit or the window system does
// may end the process.
bool runOptionsDialog(OptionsDialog& dialog);

}  // namespace korvo
