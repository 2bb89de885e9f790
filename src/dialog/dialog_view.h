#pragma once
// What the options dialog asks of its open window: the controls of the
// dialog template, addressed by control id, behaving as the Windows
// controls do. The window of each toolkit implements it, and so does the
// test double. Texts are byte strings; a call naming a control of another
// kind, or no control, does nothing and reads as empty.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvo::dialog {

class DialogView {
 public:
  virtual ~DialogView() = default;

  // Drop-down lists: the operations of dialog::ComboList.
  virtual void addEntry(int list, std::string_view text) = 0;
  virtual bool insertEntry(int list, int index, std::string_view text) = 0;
  virtual bool deleteEntry(int list, int index) = 0;
  virtual int entryCount(int list) const = 0;
  virtual int selection(int list) const = 0;  // -1: none
  // An index with no entry clears the selection.
  virtual void select(int list, int index) = 0;
  // The first entry beginning with prefix (letter case ignored) is
  // selected and its index returned; -1, selection unchanged, when none.
  virtual int selectPrefix(int list, std::string_view prefix) = 0;
  // Copied into a buffer of bufferSize bytes; nullopt when there is no such
  // entry or it does not fit.
  virtual std::optional<std::string> entryText(int list, int index,
                                               std::size_t bufferSize) const = 0;

  // Edit boxes, and labels with an id: the text as copied into a buffer of
  // bufferSize bytes (cut to bufferSize - 1 bytes).
  virtual std::string text(int box, std::size_t bufferSize) const = 0;
  virtual void setText(int box, std::string_view text) = 0;
  // The most bytes the user may type or paste into an edit box; a text set
  // by setText is not cut.
  virtual void limitText(int box, std::size_t maxBytes) = 0;

  // Check boxes.
  virtual bool isChecked(int box) const = 0;
  virtual void setChecked(int box, bool checked) = 0;

  virtual void enable(int control, bool enabled) = 0;

  // Ends the modal dialog with result once the current message is handled.
  virtual void endDialog(int result) = 0;
};

}  // namespace korvo::dialog
