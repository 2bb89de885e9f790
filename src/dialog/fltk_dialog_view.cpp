#include "dialog/fltk_dialog_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>

#include <climits>

#include "dialog/options_dialog.h"

namespace korvo::dialog {
namespace {

// "MS Shell Dlg" at 8 points is 11 pixels high at 96 DPI; where the font
// at hand is wider, the dialog's texts are drawn smaller, down to 8.
constexpr int kFontPixels = 11;
constexpr int kSmallestFontPixels = 8;
// A closed drop-down list is as tall as Windows draws it for that font;
// its template height is the extent of the dropped-down list.
constexpr int kDropDownFieldHeight = 21;
// Where a group box's text starts, from the left of its frame.
constexpr int kGroupTextIndent = 6;
// The space a check box's mark takes before its text.
constexpr int kCheckMarkWidth = 18;

// Entered with Enter wherever the focus is (but on another push button);
// framed darker, as the default button of a Windows dialog is.
class DefaultButton final : public Fl_Button {
 public:
  using Fl_Button::Fl_Button;
  int handle(int event) override {
    if (event == FL_SHORTCUT && isEnter()) {
      simulate_key_action();
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
  static bool isEnter() {
    return (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter) &&
           !(Fl::event_state() & (FL_SHIFT | FL_CTRL | FL_ALT | FL_META));
  }

 protected:
  void draw() override {
    Fl_Button::draw();
    fl_color(active_r() ? FL_FOREGROUND_COLOR : FL_INACTIVE_COLOR);
    fl_rect(x(), y(), w(), h());
  }
};

// A push button takes Enter as well as space while it has the focus.
class PushButton final : public Fl_Button {
 public:
  using Fl_Button::Fl_Button;
  int handle(int event) override {
    if (event == FL_KEYBOARD && Fl::focus() == this && DefaultButton::isEnter()) {
      simulate_key_action();
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
};

// A frame with its text at the top left, over the line.
class GroupFrame final : public Fl_Widget {
 public:
  GroupFrame(int x, int y, int w, int h, const char* text) : Fl_Widget(x, y, w, h, text) {}

 protected:
  void draw() override {
    fl_font(labelfont(), labelsize());
    const int textHeight = fl_height();
    const int top = y() + textHeight / 2;
    draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), FL_BACKGROUND_COLOR);
    const char* text = label();
    if (text == nullptr || *text == '\0') return;
    const int width = static_cast<int>(fl_width(text)) + 4;
    fl_color(parent() ? parent()->color() : FL_BACKGROUND_COLOR);
    fl_rectf(x() + kGroupTextIndent, y(), width, textHeight);
    fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
    fl_draw(text, x() + kGroupTextIndent + 2, y() + textHeight - fl_descent());
  }
};

// The room a control's text has: a check box's mark and a group box's
// indents take some of its width.
int textRoom(const ControlTemplate& c) {
  int room = dluToPixelsX(c.width);
  if (c.kind == ControlKind::kAutoCheckBox) room -= kCheckMarkWidth;
  if (c.kind == ControlKind::kGroupBox) room -= 2 * kGroupTextIndent;
  return room;
}

// One size for the whole dialog: the standard one, or smaller where the
// font at hand would not let every text fit its control.
int dialogFontSize() {
  int size = kFontPixels;
  for (const ControlTemplate& c : kControls) {
    if (*c.text == '\0') continue;
    for (; size > kSmallestFontPixels; --size) {
      fl_font(FL_HELVETICA, size);
      if (fl_width(c.text) <= textRoom(c)) break;
    }
  }
  return size;
}

// FLTK draws "&x" as an underlined x and "@name" as a symbol; doubling
// both characters shows them as typed.
std::string menuLabel(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '&' || c == '@') out.push_back(c);
    out.push_back(c);
  }
  return out;
}

}  // namespace

FltkDialogView::FltkDialogView(OptionsDialog& dialog) : dialog_(dialog) { build(); }

// The widgets read their lists' menus while the window goes: the window
// first, then the lists.
FltkDialogView::~FltkDialogView() { window_.reset(); }

bool FltkDialogView::isDialogWindow(const Fl_Widget& window) {
  return window.callback() == &FltkDialogView::onWindow;
}

void FltkDialogView::build() {
  const DialogTemplate& t = kOptionsDialog;
  // A window made while another program's group is open would become part
  // of it.
  Fl_Group* const openGroup = Fl_Group::current();
  Fl_Group::current(nullptr);
  window_ = std::make_unique<Fl_Double_Window>(dluToPixelsX(t.width), dluToPixelsY(t.height),
                                               t.caption);
  window_->callback(&FltkDialogView::onWindow, this);
  window_->set_modal();
  const int fontSize = dialogFontSize();
  std::size_t next = 0;
  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    bindings_[i] = Binding{this, kControls[i].id};
    widgets_[i] = makeControl(kControls[i], fontSize, bindings_[i]);
    if (kControls[i].kind == ControlKind::kDropDownList) {
      List& l = lists_[next++];
      l.id = kControls[i].id;
      l.widget = static_cast<Fl_Choice*>(widgets_[i]);
      refresh(l);
    }
  }
  window_->end();
  Fl_Group::current(openGroup);
}

Fl_Widget* FltkDialogView::makeControl(const ControlTemplate& c, int fontSize,
                                       Binding& binding) {
  const int x = dluToPixelsX(c.x), y = dluToPixelsY(c.y);
  const int w = dluToPixelsX(c.width), h = dluToPixelsY(c.height);
  Fl_Widget* widget = nullptr;
  switch (c.kind) {
    case ControlKind::kDefaultPushButton: widget = new DefaultButton(x, y, w, h, c.text); break;
    case ControlKind::kPushButton: widget = new PushButton(x, y, w, h, c.text); break;
    case ControlKind::kGroupBox: widget = new GroupFrame(x, y, w, h, c.text); break;
    case ControlKind::kAutoCheckBox: widget = new Fl_Check_Button(x, y, w, h, c.text); break;
    case ControlKind::kDropDownList: {
      auto* choice = new Fl_Choice(x, y, w, kDropDownFieldHeight);
      choice->textfont(FL_HELVETICA);
      choice->textsize(fontSize);
      choice->down_box(FL_BORDER_BOX);
      widget = choice;
      break;
    }
    case ControlKind::kEditBox: {
      auto* input = new Fl_Input(x, y, w, h);
      input->textfont(FL_HELVETICA);
      input->textsize(fontSize);
      input->when(FL_WHEN_NEVER);
      widget = input;
      break;
    }
    case ControlKind::kLabel: {
      auto* box = new Fl_Box(FL_NO_BOX, x, y, w, h, c.text);
      // The fixed texts fit on their line; the status line's may need two.
      box->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | (c.id == kNoId ? 0 : FL_ALIGN_WRAP));
      widget = box;
      break;
    }
  }
  widget->labelfont(FL_HELVETICA);
  widget->labelsize(fontSize);
  if (!isTabStop(c.kind)) widget->clear_visible_focus();
  widget->callback(&FltkDialogView::onControl, &binding);
  return widget;
}

void FltkDialogView::onControl(Fl_Widget* widget, void* data) {
  auto* binding = static_cast<Binding*>(data);
  FltkDialogView& view = *binding->view;
  // Nothing may escape into FLTK's event handling; a failed handler ends
  // the dialog as "Cancel" would.
  try {
    int code = kClicked;
    if (List* l = view.list(binding->id)) {
      l->model.select(static_cast<Fl_Choice*>(widget)->value());
      code = kSelectionChanged;
    }
    view.dialog_.onCommand(view, binding->id, code);
  } catch (...) {
    view.endDialog(kDialogResult);
  }
}

void FltkDialogView::onWindow(Fl_Widget*, void* data) {
  auto& view = *static_cast<FltkDialogView*>(data);
  // FLTK asks a window to close on Escape as well; the dialog stays open.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  try {
    view.dialog_.onClose(view);
  } catch (...) {
    view.endDialog(kDialogResult);
  }
}

Fl_Widget* FltkDialogView::control(int id) const {
  if (id == kNoId) return nullptr;
  for (std::size_t i = 0; i < std::size(kControls); ++i)
    if (kControls[i].id == id) return widgets_[i];
  return nullptr;
}

FltkDialogView::List* FltkDialogView::list(int id) {
  for (List& l : lists_)
    if (l.id == id && id != kNoId) return &l;
  return nullptr;
}

const FltkDialogView::List* FltkDialogView::list(int id) const {
  return const_cast<FltkDialogView*>(this)->list(id);
}

void FltkDialogView::refresh(List& l) {
  l.labels.clear();
  for (const std::string& entry : l.model.entries()) l.labels.push_back(menuLabel(entry));
  l.items.assign(l.labels.size() + 1, Fl_Menu_Item{});
  for (std::size_t i = 0; i < l.labels.size(); ++i) l.items[i].text = l.labels[i].c_str();
  l.widget->menu(l.items.data());
  const int selected = l.model.selection();
  l.widget->value(selected >= 0 ? &l.items[static_cast<std::size_t>(selected)] : nullptr);
  l.widget->redraw();
}

void FltkDialogView::addEntry(int id, std::string_view text) {
  if (List* l = list(id)) {
    l->model.add(text);
    refresh(*l);
  }
}

bool FltkDialogView::insertEntry(int id, int index, std::string_view text) {
  List* l = list(id);
  if (l == nullptr || !l->model.insert(index, text)) return false;
  refresh(*l);
  return true;
}

bool FltkDialogView::deleteEntry(int id, int index) {
  List* l = list(id);
  if (l == nullptr || !l->model.remove(index)) return false;
  refresh(*l);
  return true;
}

int FltkDialogView::entryCount(int id) const {
  const List* l = list(id);
  return l ? l->model.count() : 0;
}

int FltkDialogView::selection(int id) const {
  const List* l = list(id);
  return l ? l->model.selection() : -1;
}

void FltkDialogView::select(int id, int index) {
  if (List* l = list(id)) {
    l->model.select(index);
    refresh(*l);
  }
}

int FltkDialogView::selectPrefix(int id, std::string_view prefix) {
  List* l = list(id);
  if (l == nullptr) return -1;
  const int found = l->model.selectPrefix(prefix);
  if (found >= 0) refresh(*l);
  return found;
}

std::optional<std::string> FltkDialogView::entryText(int id, int index,
                                                     std::size_t bufferSize) const {
  const List* l = list(id);
  return l ? l->model.text(index, bufferSize) : std::nullopt;
}

namespace {

template <typename W>
W* ofKind(Fl_Widget* widget, int id, ControlKind kind) {
  const ControlTemplate* c = findControl(id);
  return (widget != nullptr && c != nullptr && c->kind == kind) ? static_cast<W*>(widget) : nullptr;
}

}  // namespace

std::string FltkDialogView::text(int box, std::size_t bufferSize) const {
  if (auto* label = ofKind<Fl_Box>(control(box), box, ControlKind::kLabel)) {
    std::string shown;
    for (const char* c = label->label() ? label->label() : ""; *c != '\0'; ++c) {
      shown.push_back(*c);
      if (c[0] == '@' && c[1] == '@') ++c;
    }
    return cutToBuffer(shown, bufferSize);
  }
  auto* input = ofKind<Fl_Input>(control(box), box, ControlKind::kEditBox);
  if (input == nullptr) return {};
  return cutToBuffer(std::string_view(input->value(), static_cast<std::size_t>(input->size())),
                     bufferSize);
}

void FltkDialogView::setText(int box, std::string_view text) {
  if (auto* input = ofKind<Fl_Input>(control(box), box, ControlKind::kEditBox))
    input->value(text.data(), static_cast<int>(text.size()));
  if (auto* label = ofKind<Fl_Box>(control(box), box, ControlKind::kLabel)) {
    // Stops at a zero byte, as the Windows label does; a lone "@" would
    // start a symbol.
    std::string shown;
    for (char c : text.substr(0, text.find('\0'))) {
      if (c == '@') shown.push_back(c);
      shown.push_back(c);
    }
    label->copy_label(shown.c_str());
    // A label draws on its parent's background: the old text goes with it.
    if (Fl_Window* window = label->window())
      window->damage(FL_DAMAGE_ALL, label->x(), label->y(), label->w(), label->h());
  }
}

void FltkDialogView::limitText(int box, std::size_t maxBytes) {
  if (auto* input = ofKind<Fl_Input>(control(box), box, ControlKind::kEditBox))
    input->maximum_size(maxBytes > INT_MAX ? INT_MAX : static_cast<int>(maxBytes));
}

bool FltkDialogView::isChecked(int box) const {
  auto* check = ofKind<Fl_Check_Button>(control(box), box, ControlKind::kAutoCheckBox);
  return check != nullptr && check->value() != 0;
}

void FltkDialogView::setChecked(int box, bool checked) {
  if (auto* check = ofKind<Fl_Check_Button>(control(box), box, ControlKind::kAutoCheckBox))
    check->value(checked ? 1 : 0);
}

void FltkDialogView::enable(int id, bool enabled) {
  if (Fl_Widget* widget = control(id)) {
    if (enabled) widget->activate();
    else widget->deactivate();
  }
}

void FltkDialogView::endDialog(int) { ended_ = true; }

}  // namespace korvo::dialog
