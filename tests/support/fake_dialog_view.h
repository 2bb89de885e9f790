#pragma once
// A window for the options dialog that exists only in memory: the controls
// of the dialog template with the behaviour of the Windows controls, and
// what a user does with them (type, pick, click), sent to the dialog as
// the window system would send it.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dialog/combo_list.h"
#include "dialog/dialog_view.h"

namespace korvo {
class OptionsDialog;
}

namespace korvo::test {

class FakeDialogView final : public dialog::DialogView {
 public:
  FakeDialogView();

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

  // The user's side.
  // Typing or pasting stops at the box's limit, as in an edit control.
  void type(int box, std::string_view text);
  void check(int box, bool checked) { setChecked(box, checked); }
  // Picks an entry (or none, with -1) and tells the dialog of the change.
  void pick(OptionsDialog& dialog, int list, int index);
  void click(OptionsDialog& dialog, int control);

  // What the window shows.
  std::vector<std::string> entries(int list) const;
  const std::string& boxText(int box) const;
  bool isEnabled(int control) const;
  // The result the dialog ended with; nullopt while it is open.
  std::optional<int> result() const { return result_; }

 private:
  dialog::ComboList* list(int id);
  const dialog::ComboList* list(int id) const;
  std::string* box(int id);

  std::map<int, dialog::ComboList> lists_;
  std::map<int, std::string> boxes_;
  std::map<int, std::size_t> limits_;  // edit boxes with a limit
  std::map<int, bool> checks_;
  std::map<int, bool> enabled_;
  std::optional<int> result_;
};

}  // namespace korvo::test
