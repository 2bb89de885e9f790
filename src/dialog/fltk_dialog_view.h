#pragma once
// The options dialog as an FLTK window: every control of the dialog
// template at its place and size, converted from dialog units as Windows
// converts them. Commands from the controls go to the OptionsDialog; the
// close box ends the dialog without storing; Escape does nothing. Make one
// only while the X display is open; the window is destroyed with the view.
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Item.H>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dialog/combo_list.h"
#include "dialog/dialog_template.h"
#include "dialog/dialog_view.h"

namespace korvo {
class OptionsDialog;
}

namespace korvo::dialog {

class FltkDialogView final : public DialogView {
 public:
  explicit FltkDialogView(OptionsDialog& dialog);
  ~FltkDialogView() override;
  FltkDialogView(const FltkDialogView&) = delete;
  FltkDialogView& operator=(const FltkDialogView&) = delete;

  Fl_Double_Window& window() { return *window_; }
  bool ended() const { return ended_; }

  // How a window made by this view is told from other windows.
  static bool isDialogWindow(const Fl_Widget& window);

  void addEntry(int list, std::string_view text) override;
  bool insertEntry(int list, int index, std::string_view text) override;
  bool deleteEntry(int list, int index) override;
  int entryCount(int list) const override;
  int selection(int list) const override;
  void select(int list, int index) override;
  int selectPrefix(int list, std::string_view prefix) override;
  std::optional<std::string> entryText(int list, int index, std::size_t bufferSize) const override;
  std::string text(int box, std::size_t bufferSize) const override;
  void setText(int box, std::string_view text) override;
  void limitText(int box, std::size_t maxBytes) override;
  bool isChecked(int box) const override;
  void setChecked(int box, bool checked) override;
  void enable(int control, bool enabled) override;
  void endDialog(int result) override;

 private:
  // A drop-down list: the entries as given, and the menu FLTK draws them
  // from (labels with FLTK's markup characters escaped).
  struct List {
    int id = kNoId;
    Fl_Choice* widget = nullptr;
    ComboList model;
    std::vector<std::string> labels;
    std::vector<Fl_Menu_Item> items;
  };
  // What a control's callback needs: the view and the control's id.
  struct Binding {
    FltkDialogView* view = nullptr;
    int id = kNoId;
  };

  static void onControl(Fl_Widget* widget, void* binding);
  static void onWindow(Fl_Widget* window, void* view);
  void build();
  Fl_Widget* makeControl(const ControlTemplate& c, int fontSize, Binding& binding);
  Fl_Widget* control(int id) const;
  List* list(int id);
  const List* list(int id) const;
  // Hands the list's entries and selection to its widget.
  void refresh(List& list);

  OptionsDialog& dialog_;
  std::unique_ptr<Fl_Double_Window> window_;
  std::array<Fl_Widget*, std::size(kControls)> widgets_{};
  std::array<Binding, std::size(kControls)> bindings_{};
  std::array<List, countControls(ControlKind::kDropDownList)> lists_;
  bool ended_ = false;
};

}  // namespace korvo::dialog
