// Dialog template 103 as compiled into korvo.dll (from korvo.rc) holds
// exactly the layout of the table in dialog_template.h: style, caption,
// size, font, and every control with its id, class, style, text, place and
// size, in template order; and the layout it holds keeps the first controls
// where they were, with the later ones below them, inside the dialog and
// clear of one another.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "dialog/dialog_template.h"
#include "dialog/layout_rules.h"
#include "support/temp_dir.h"

namespace korvo::dialog {
namespace {

// A reader of the packed template: words, double words, and the
// ordinal-or-text fields.
class TemplateReader {
 public:
  TemplateReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  WORD word() {
    WORD w = 0;
    take(&w, sizeof w);
    return w;
  }
  DWORD dword() {
    DWORD d = 0;
    take(&d, sizeof d);
    return d;
  }
  short coordinate() { return static_cast<short>(word()); }
  // A zero-ended UTF-16 text, given back as ASCII ('?' for anything else).
  std::string text() {
    std::string out;
    for (WORD c = word(); ok_ && c != 0; c = word()) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  // 0xFFFF and an ordinal, or a text; the ordinal or -1.
  int ordinalOrText(std::string& text) {
    const WORD first = word();
    if (first == 0xFFFF) return word();
    text.clear();
    for (WORD c = first; ok_ && c != 0; c = word()) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return -1;
  }
  void alignToDword() { at_ = (at_ + 3) & ~std::size_t{3}; }

 private:
  void take(void* out, std::size_t n) {
    if (at_ + n > size_) {
      ok_ = false;
      return;
    }
    std::memcpy(out, data_ + at_, n);
    at_ += n;
  }
  const unsigned char* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

struct Expected {
  int classAtom;  // 0x80 button, 0x81 edit, 0x82 static, 0x85 combo box
  DWORD typeMask, type;
  bool tabStop;
  DWORD extra;  // further styles that must be set
};

Expected expectedFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::kDefaultPushButton: return {0x80, 0x0F, BS_DEFPUSHBUTTON, true, 0};
    case ControlKind::kPushButton: return {0x80, 0x0F, BS_PUSHBUTTON, true, 0};
    case ControlKind::kGroupBox: return {0x80, 0x0F, BS_GROUPBOX, false, 0};
    case ControlKind::kAutoCheckBox: return {0x80, 0x0F, BS_AUTOCHECKBOX, true, 0};
    case ControlKind::kDropDownList: return {0x85, 0x03 | CBS_SORT, CBS_DROPDOWNLIST, true, WS_VSCROLL};
    case ControlKind::kEditBox: return {0x81, 0, 0, true, ES_AUTOHSCROLL};
    case ControlKind::kLabel: return {0x82, 0x1F, SS_LEFT, false, 0};
  }
  return {};
}

TEST(WindowsDialogTemplateTest, ResourceMatchesTheTable) {
  test::TempDir dir;
  const std::string copy = dir.file("korvo.dll");
  ASSERT_TRUE(CopyFileA(KORVO_PLUGIN_PATH, copy.c_str(), TRUE));
  HMODULE dll = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(dll, nullptr);
  HRSRC found = FindResourceA(dll, MAKEINTRESOURCEA(kOptionsDialog.resourceId), RT_DIALOG);
  ASSERT_NE(found, nullptr) << "no dialog resource " << kOptionsDialog.resourceId;
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(dll, found)));
  ASSERT_NE(data, nullptr);
  TemplateReader r(data, SizeofResource(dll, found));

  const DWORD style = r.dword();
  r.dword();  // extended style
  const WORD count = r.word();
  const short x = r.coordinate(), y = r.coordinate(), cx = r.coordinate(), cy = r.coordinate();
  std::string menu, windowClass;
  EXPECT_EQ(r.ordinalOrText(menu), -1);
  EXPECT_EQ(menu, "") << "no menu";
  EXPECT_EQ(r.ordinalOrText(windowClass), -1);
  EXPECT_EQ(windowClass, "") << "the standard dialog class";
  EXPECT_EQ(r.text(), kOptionsDialog.caption);
  ASSERT_TRUE(style & DS_SETFONT);
  EXPECT_EQ(r.word(), kOptionsDialog.fontPoints);
  EXPECT_EQ(r.text(), kOptionsDialog.fontName);
  for (DWORD s : {DWORD{DS_MODALFRAME}, DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}})
    EXPECT_EQ(style & s, s) << std::hex << s;
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(cx, kOptionsDialog.width);
  EXPECT_EQ(cy, kOptionsDialog.height);
  ASSERT_EQ(count, kOptionsDialog.controlCount);

  std::vector<ControlTemplate> placed;
  std::deque<std::string> titles;  // the texts found point into these
  for (std::size_t i = 0; i < kOptionsDialog.controlCount; ++i) {
    const ControlTemplate& want = kOptionsDialog.controls[i];
    SCOPED_TRACE(std::to_string(i) + ": " + want.text + " (" + std::to_string(want.id) + ")");
    r.alignToDword();
    const DWORD controlStyle = r.dword();
    r.dword();  // extended style
    const short ix = r.coordinate(), iy = r.coordinate(), icx = r.coordinate(), icy = r.coordinate();
    const WORD id = r.word();
    std::string className, title;
    const int atom = r.ordinalOrText(className);
    EXPECT_EQ(r.ordinalOrText(title), -1);
    EXPECT_EQ(r.word(), 0) << "no creation data";
    ASSERT_TRUE(r.ok()) << "template cut short";

    const Expected e = expectedFor(want.kind);
    EXPECT_EQ(id, static_cast<WORD>(want.id));
    EXPECT_EQ(atom, e.classAtom) << className;
    EXPECT_EQ(controlStyle & e.typeMask, e.type) << std::hex << controlStyle;
    EXPECT_EQ((controlStyle & WS_TABSTOP) != 0, e.tabStop);
    EXPECT_EQ(controlStyle & e.extra, e.extra) << std::hex << controlStyle;
    EXPECT_EQ(controlStyle & (WS_CHILD | WS_VISIBLE), DWORD{WS_CHILD | WS_VISIBLE});
    EXPECT_EQ(title, want.text);
    EXPECT_EQ(ix, want.x);
    EXPECT_EQ(iy, want.y);
    EXPECT_EQ(icx, want.width);
    EXPECT_EQ(icy, want.height);
    EXPECT_TRUE(isTabStop(want.kind) == e.tabStop);
    titles.push_back(title);
    placed.push_back({static_cast<short>(id), want.kind, titles.back().c_str(), ix, iy, icx, icy});
  }
  EXPECT_EQ(test::layoutFaults(placed, cx, cy), std::vector<std::string>{});
  FreeLibrary(dll);
}

}  // namespace
}  // namespace korvo::dialog
