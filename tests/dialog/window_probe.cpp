#include "dialog/window_probe.h"

#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cmath>
#include <sstream>

#include "dialog/fltk_dialog_view.h"
#include "dialog/options_dialog.h"

namespace korvo::test {

std::string describeDialogWindow(const std::string& display) {
  ::Display* connection = XOpenDisplay(display.c_str());
  if (connection == nullptr) return {};
  fl_open_display(connection);
  MeterRegistry registry;
  MeterEnv env;
  OptionsDialog dialog(registry, env, 1);
  dialog::FltkDialogView view(dialog);
  const Fl_Double_Window& window = view.window();
  std::ostringstream out;
  out << window.w() << " " << window.h() << "\n";
  for (int i = 0; i < window.children(); ++i) {
    const Fl_Widget& w = *window.child(i);
    out << w.x() << " " << w.y() << " " << w.w() << " " << w.h() << " " << w.labelsize();
    for (int size = kLargestTextSize; size > kLargestTextSize - 4; --size) {
      fl_font(w.labelfont(), size);
      out << " " << (w.label() ? static_cast<int>(std::ceil(fl_width(w.label()))) : 0);
    }
    out << "\n";
  }
  return out.str();
}

}  // namespace korvo::test
