// The options dialog on Windows: template 103 of korvo.rc, run modally by
// DialogBoxParamA with the host's active window as owner. Its messages go
// to the OptionsDialog through a view whose every operation is the
// control's own window message.
#include <windows.h>

#include <climits>
#include <vector>

#include "dialog/dialog_template.h"
#include "dialog/dialog_view.h"
#include "dialog/options_dialog.h"
#include "dialog/dialog_runner.h"

namespace korvo {
namespace {

// The controls take zero-ended texts: a text is cut at its first zero byte,
// as the user could never have typed one.
std::string cText(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

int bufferLength(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// Holds only the dialog's window handle, so one is made for each message.
class Win32DialogView final : public dialog::DialogView {
 public:
  explicit Win32DialogView(HWND window) : window_(window) {}

  void addEntry(int list, std::string_view text) override {
    const std::string entry = cText(text);
    send(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  bool insertEntry(int list, int index, std::string_view text) override {
    const std::string entry = cText(text);
    const LRESULT at = send(list, CB_INSERTSTRING, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(entry.c_str()));
    return at != CB_ERR && at != CB_ERRSPACE;
  }
  bool deleteEntry(int list, int index) override {
    return index >= 0 && send(list, CB_DELETESTRING, static_cast<WPARAM>(index), 0) != CB_ERR;
  }
  int entryCount(int list) const override {
    const LRESULT n = send(list, CB_GETCOUNT, 0, 0);
    return n == CB_ERR ? 0 : static_cast<int>(n);
  }
  int selection(int list) const override { return static_cast<int>(send(list, CB_GETCURSEL, 0, 0)); }
  void select(int list, int index) override {
    send(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  int selectPrefix(int list, std::string_view prefix) override {
    const std::string text = cText(prefix);
    return static_cast<int>(send(list, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(text.c_str())));
  }
  std::optional<std::string> entryText(int list, int index, std::size_t bufferSize) const override {
    if (index < 0) return std::nullopt;
    // CB_GETLBTEXT is told no buffer size: an entry longer than the buffer
    // would overrun it, so it is measured first.
    const LRESULT length = send(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length < 0 || static_cast<std::size_t>(length) + 1 > bufferSize)
      return std::nullopt;
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT got = send(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                             reinterpret_cast<LPARAM>(buffer.data()));
    if (got == CB_ERR || got < 0 || got > length) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(got));
  }

  std::string text(int box, std::size_t bufferSize) const override {
    if (bufferSize == 0) return {};
    std::vector<char> buffer(bufferSize, '\0');
    const UINT n = GetDlgItemTextA(window_, box, buffer.data(), bufferLength(bufferSize));
    return std::string(buffer.data(), n < bufferSize ? n : bufferSize - 1);
  }
  void setText(int box, std::string_view text) override {
    SetDlgItemTextA(window_, box, cText(text).c_str());
  }
  void limitText(int box, std::size_t maxBytes) override {
    if (maxBytes == 0) return;  // 0 would mean the largest limit
    send(box, EM_SETLIMITTEXT, static_cast<WPARAM>(maxBytes), 0);
  }

  bool isChecked(int box) const override { return IsDlgButtonChecked(window_, box) == BST_CHECKED; }
  void setChecked(int box, bool checked) override {
    CheckDlgButton(window_, box, checked ? BST_CHECKED : BST_UNCHECKED);
  }

  void enable(int control, bool enabled) override {
    if (HWND item = GetDlgItem(window_, control)) EnableWindow(item, enabled ? TRUE : FALSE);
  }
  void endDialog(int result) override { EndDialog(window_, result); }

 private:
  LRESULT send(int control, UINT message, WPARAM wParam, LPARAM lParam) const {
    HWND item = GetDlgItem(window_, control);
    return item != nullptr ? SendMessageA(item, message, wParam, lParam) : CB_ERR;
  }

  HWND window_;
};

// No exception may unwind through the window system: whatever a handler
// throws ends the dialog instead, with nothing more stored.
INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      Win32DialogView view(window);
      return reinterpret_cast<OptionsDialog*>(lParam)->onInitDialog(view) ? TRUE : FALSE;
    }
    auto* dialog = reinterpret_cast<OptionsDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    Win32DialogView view(window);
    switch (message) {
      case WM_COMMAND:
        dialog->onCommand(view, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      case WM_CLOSE:
        dialog->onClose(view);
        return TRUE;
      default:
        return FALSE;
    }
  } catch (...) {
    EndDialog(window, dialog::kDialogResult);
    return TRUE;
  }
}

// The DLL holds the template, not the host's program.
HINSTANCE thisModule() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&dialogProc), &self);
  return self;
}

}  // namespace

bool runOptionsDialog(OptionsDialog& dialog) {
  const INT_PTR result =
      DialogBoxParamA(thisModule(), MAKEINTRESOURCEA(dialog::kOptionsDialog.resourceId),
                      GetActiveWindow(), dialogProc, reinterpret_cast<LPARAM>(&dialog));
  return result != -1;
}

}  // namespace korvo
