#include "support/fake_dialog_view.h"

#include <gtest/gtest.h>

#include "dialog/dialog_template.h"
#include "dialog/options_dialog.h"

namespace korvo::test {

using dialog::ControlKind;

FakeDialogView::FakeDialogView() {
  for (const dialog::ControlTemplate& c : dialog::kControls) {
    if (c.id == dialog::kNoId) continue;
    enabled_[c.id] = true;
    if (c.kind == ControlKind::kDropDownList) lists_[c.id];
    if (c.kind == ControlKind::kEditBox || c.kind == ControlKind::kLabel) boxes_[c.id];
    if (c.kind == ControlKind::kAutoCheckBox) checks_[c.id] = false;
  }
}

// A call that names no control of the right kind is a fault of the dialog.
dialog::ComboList* FakeDialogView::list(int id) {
  auto it = lists_.find(id);
  EXPECT_NE(it, lists_.end()) << "no drop-down list " << id;
  return it == lists_.end() ? nullptr : &it->second;
}

const dialog::ComboList* FakeDialogView::list(int id) const {
  return const_cast<FakeDialogView*>(this)->list(id);
}

std::string* FakeDialogView::box(int id) {
  auto it = boxes_.find(id);
  EXPECT_NE(it, boxes_.end()) << "no edit box " << id;
  return it == boxes_.end() ? nullptr : &it->second;
}

void FakeDialogView::addEntry(int id, std::string_view text) {
  if (auto* l = list(id)) l->add(text);
}

bool FakeDialogView::insertEntry(int id, int index, std::string_view text) {
  auto* l = list(id);
  return l != nullptr && l->insert(index, text);
}

bool FakeDialogView::deleteEntry(int id, int index) {
  auto* l = list(id);
  return l != nullptr && l->remove(index);
}

int FakeDialogView::entryCount(int id) const {
  const auto* l = list(id);
  return l ? l->count() : 0;
}

int FakeDialogView::selection(int id) const {
  const auto* l = list(id);
  return l ? l->selection() : -1;
}

void FakeDialogView::select(int id, int index) {
  if (auto* l = list(id)) l->select(index);
}

int FakeDialogView::selectPrefix(int id, std::string_view prefix) {
  auto* l = list(id);
  return l ? l->selectPrefix(prefix) : -1;
}

std::optional<std::string> FakeDialogView::entryText(int id, int index,
                                                     std::size_t bufferSize) const {
  const auto* l = list(id);
  return l ? l->text(index, bufferSize) : std::nullopt;
}

std::string FakeDialogView::text(int id, std::size_t bufferSize) const {
  auto* b = const_cast<FakeDialogView*>(this)->box(id);
  return b ? dialog::cutToBuffer(*b, bufferSize) : std::string();
}

void FakeDialogView::setText(int id, std::string_view text) {
  if (auto* b = box(id)) *b = std::string(text);
}

void FakeDialogView::limitText(int id, std::size_t maxBytes) {
  const dialog::ControlTemplate* c = dialog::findControl(id);
  EXPECT_TRUE(c != nullptr && c->kind == ControlKind::kEditBox) << "no edit box " << id;
  limits_[id] = maxBytes;
}

void FakeDialogView::type(int id, std::string_view text) {
  auto limit = limits_.find(id);
  setText(id, limit == limits_.end() ? text : text.substr(0, limit->second));
}

bool FakeDialogView::isChecked(int id) const {
  auto it = checks_.find(id);
  EXPECT_NE(it, checks_.end()) << "no check box " << id;
  return it != checks_.end() && it->second;
}

void FakeDialogView::setChecked(int id, bool checked) {
  auto it = checks_.find(id);
  EXPECT_NE(it, checks_.end()) << "no check box " << id;
  if (it != checks_.end()) it->second = checked;
}

void FakeDialogView::enable(int id, bool enabled) {
  auto it = enabled_.find(id);
  EXPECT_NE(it, enabled_.end()) << "no control " << id;
  if (it != enabled_.end()) it->second = enabled;
}

void FakeDialogView::endDialog(int result) {
  EXPECT_FALSE(result_.has_value()) << "the dialog ended twice";
  result_ = result;
}

void FakeDialogView::pick(OptionsDialog& dialog, int id, int index) {
  select(id, index);
  dialog.onCommand(*this, id, dialog::kSelectionChanged);
}

void FakeDialogView::click(OptionsDialog& dialog, int control) {
  dialog.onCommand(*this, control, dialog::kClicked);
}

std::vector<std::string> FakeDialogView::entries(int id) const {
  const auto* l = list(id);
  return l ? l->entries() : std::vector<std::string>{};
}

const std::string& FakeDialogView::boxText(int id) const {
  static const std::string kNone;
  auto it = boxes_.find(id);
  return it == boxes_.end() ? kNone : it->second;
}

bool FakeDialogView::isEnabled(int id) const {
  auto it = enabled_.find(id);
  return it != enabled_.end() && it->second;
}

}  // namespace korvo::test
