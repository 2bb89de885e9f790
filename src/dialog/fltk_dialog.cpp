// The options dialog on X11 through FLTK.
//
// FLTK keeps one X display for the life of the process: its fonts, drawing
// state and input method belong to that display and cannot be moved to
// another. So the display is opened once, by the first dialog, and kept.
// The FLTK library is pinned in memory when the plug-in is loaded: a later
// load of the plug-in finds the same display again, and FLTK's own start-up
// allocations (which it never frees) are made once per process, not once
// per load. Everything the dialog itself made (its window, the selections
// it owned, its interest in the root window) is given back when it ends.
//
// FLTK and Xlib end the process on fatal errors unless told otherwise.
// While the dialog runs, both get handlers that never exit; the previous
// ones are put back afterwards.

// For fl_message_window, the window FLTK owns selections with.
#define FL_INTERNALS
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include "dialog/fltk_dialog_view.h"
#include "dialog/options_dialog.h"
#include "dialog/dialog_runner.h"

namespace korvo {
namespace {

using dialog::FltkDialogView;

// How often the modal loop looks at its state when no event comes.
constexpr double kLoopSeconds = 0.5;

int ignoreXError(Display*, XErrorEvent*) { return 0; }
// Xlib goes on to the display's exit handler, which notes the loss.
int ignoreIoError(Display*) { return 0; }
void ignoreMessage(const char*, ...) {}

// FLTK calls this where it would give up; the dialog's window is closed
// instead, which ends the modal loop.
void closeDialogWindows(const char*, ...) {
  for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
    if (FltkDialogView::isDialogWindow(*w)) {
      w->hide();
      return;
    }
  }
}

// The handlers of one dialog run: installed by the constructor, the
// previous ones put back by the destructor.
class ErrorGuard {
 public:
  ErrorGuard()
      : xError_(XSetErrorHandler(&ignoreXError)),
        ioError_(XSetIOErrorHandler(&ignoreIoError)),
        warning_(Fl::warning),
        error_(Fl::error),
        fatal_(Fl::fatal) {
    Fl::warning = &ignoreMessage;
    Fl::error = &ignoreMessage;
    Fl::fatal = &closeDialogWindows;
  }
  ~ErrorGuard() {
    if (display_ != nullptr) XSetIOErrorExitHandler(display_, nullptr, nullptr);
    Fl::fatal = fatal_;
    Fl::error = error_;
    Fl::warning = warning_;
    XSetIOErrorHandler(ioError_);
    XSetErrorHandler(xError_);
  }
  ErrorGuard(const ErrorGuard&) = delete;
  ErrorGuard& operator=(const ErrorGuard&) = delete;

  // Notes, instead of exiting, that the connection to display was lost.
  void watch(Display* display) {
    display_ = display;
    XSetIOErrorExitHandler(display, &ErrorGuard::onLost, this);
  }
  bool lost() const { return lost_; }

 private:
  static void onLost(Display*, void* guard) { static_cast<ErrorGuard*>(guard)->lost_ = true; }

  XErrorHandler xError_;
  XIOErrorHandler ioError_;
  void (*warning_)(const char*, ...);
  void (*error_)(const char*, ...);
  void (*fatal_)(const char*, ...);
  Display* display_ = nullptr;
  bool lost_ = false;
};

// Keeps the FLTK library loaded for the rest of the process.
void pinToolkit() {
  void (*inToolkit)(Display*) = &fl_open_display;
  void (*inPlugin)() = &pinToolkit;
  Dl_info toolkit{}, plugin{};
  if (dladdr(reinterpret_cast<void*>(inToolkit), &toolkit) == 0 || toolkit.dli_fname == nullptr)
    return;
  // Linked into the plug-in itself: pinning would keep the plug-in loaded.
  if (dladdr(reinterpret_cast<void*>(inPlugin), &plugin) != 0 &&
      plugin.dli_fbase == toolkit.dli_fbase)
    return;
  dlopen(toolkit.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

// A round trip to the server; false once the connection is lost.
bool answers(Display* display) {
  Window root;
  int x, y;
  unsigned width, height, border, depth;
  return XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height,
                      &border, &depth) != 0;
}

// FLTK's display, opened now when there is none yet. Null when no display
// can be opened or the one there has been lost.
Display* openDisplay(ErrorGuard& guard, bool& openedNow) {
  openedNow = false;
  if (fl_display != nullptr) {
    guard.watch(fl_display);
    return answers(fl_display) && !guard.lost() ? fl_display : nullptr;
  }
  // FLTK's own opening exits when there is no display.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  guard.watch(display);
  fl_open_display(display);
  openedNow = true;
  return guard.lost() ? nullptr : display;
}

// Gives up the selections the dialog's text boxes took, so that no other
// program waits for an answer from a dialog that has gone.
void releaseSelections(Display* display) {
  for (Atom selection : {XA_PRIMARY, XInternAtom(display, "CLIPBOARD", False)})
    if (XGetSelectionOwner(display, selection) == fl_message_window)
      XSetSelectionOwner(display, selection, None, CurrentTime);
}

void centre(Fl_Window& window) {
  window.position(Fl::x() + (Fl::w() - window.w()) / 2, Fl::y() + (Fl::h() - window.h()) / 2);
}

__attribute__((constructor)) void pinToolkitAtLoad() { pinToolkit(); }

}  // namespace

bool runOptionsDialog(OptionsDialog& dialog) {
  ErrorGuard guard;
  bool openedNow = false;
  Display* display = openDisplay(guard, openedNow);
  if (display == nullptr) return false;
  {
    FltkDialogView view(dialog);
    dialog.onInitDialog(view);
    centre(view.window());
    view.window().show();
    while (!view.ended() && view.window().shown() && !guard.lost()) Fl::wait(kLoopSeconds);
    if (!guard.lost()) releaseSelections(display);
  }
  if (!guard.lost()) {
    // FLTK asked for the root window's property changes when it opened the
    // display; nobody reads them between dialogs.
    if (openedNow) XSelectInput(display, DefaultRootWindow(display), NoEventMask);
    Fl::flush();
    XSync(display, False);
    // Answers the last requests, and lets FLTK see that it owns no
    // selection any more.
    Fl::check();
    XSync(display, False);
  }
  return true;
}

}  // namespace korvo
