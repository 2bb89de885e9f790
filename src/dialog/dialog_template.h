#pragma once
// The options dialog as the Windows dialog template 103 describes it: the
// control ids, every control with its kind, text, place and size in dialog
// units (in template order, which is also the tab order), the entries of the
// choice lists, and the conversion of dialog units to pixels. The
// Windows resource script and the FLTK window are both made from this table.
#include <cstddef>

namespace korvo::dialog {

// Control ids.
inline constexpr int kSave = 1001;
inline constexpr int kCancel = 1002;
inline constexpr int kInterval = 1003;
inline constexpr int kReplaceBr = 1007;
inline constexpr int kFilterUnicode = 1011;
inline constexpr int kFilterHtml = 1012;
inline constexpr int kSiteList = 1014;
inline constexpr int kAddSite = 1015;
inline constexpr int kDeleteSite = 1016;
inline constexpr int kSiteUrl = 1017;
inline constexpr int kSiteName = 1018;
inline constexpr int kTooltipList = 1019;
inline constexpr int kTooltipItem = 1020;
inline constexpr int kClickList = 1021;
inline constexpr int kClickItem = 1022;
// The status line under the buttons: why "Add" added nothing.
inline constexpr int kAddStatus = 1023;
// How the meter shows its items: below the buttons, in a group of their own.
inline constexpr int kDateFormatList = 1024;
inline constexpr int kDatePattern = 1025;
inline constexpr int kInclude = 1026;
inline constexpr int kExclude = 1027;
inline constexpr int kOrderList = 1028;
inline constexpr int kMaxAge = 1029;
inline constexpr int kMarkNew = 1030;
// Group boxes and the fixed labels have no id of their own (IDC_STATIC).
inline constexpr int kNoId = -1;

// Notification codes of a command: a button was clicked; the selection of
// a drop-down list has changed (BN_CLICKED and CBN_SELCHANGE).
inline constexpr int kClicked = 0;
inline constexpr int kSelectionChanged = 1;

// The dialog's result: it always ends with 0.
inline constexpr int kDialogResult = 0;

enum class ControlKind {
  kDefaultPushButton,  // DEFPUSHBUTTON, tab stop
  kPushButton,         // PUSHBUTTON, tab stop
  kGroupBox,           // GROUPBOX, frame with its text at the top left
  kAutoCheckBox,       // AUTOCHECKBOX, tab stop
  kDropDownList,       // COMBOBOX CBS_DROPDOWNLIST | WS_VSCROLL, unsorted, tab stop;
                       // its height is the extent of the dropped-down list
  kEditBox,            // EDITTEXT ES_AUTOHSCROLL, tab stop
  kLabel,              // LTEXT, left-aligned static text, wrapped at word ends
};

constexpr bool isTabStop(ControlKind kind) {
  return kind != ControlKind::kGroupBox && kind != ControlKind::kLabel;
}

struct ControlTemplate {
  int id;  // kNoId for group boxes and the fixed labels
  ControlKind kind;
  const char* text;  // "" when the control has none
  int x, y, width, height;  // dialog units
};

// Every control is visible.
inline constexpr ControlTemplate kControls[] = {
    {kSave, ControlKind::kDefaultPushButton, "Save", 7, 210, 50, 14},
    {kCancel, ControlKind::kPushButton, "Cancel", 143, 210, 50, 14},
    {kNoId, ControlKind::kGroupBox, "", 7, 145, 185, 60},
    {kFilterUnicode, ControlKind::kAutoCheckBox, "Filter unicode", 13, 155, 57, 10},
    {kFilterHtml, ControlKind::kAutoCheckBox, "Filter html", 103, 155, 54, 10},
    {kSiteList, ControlKind::kDropDownList, "", 16, 20, 111, 107},
    {kNoId, ControlKind::kGroupBox, "News sites", 7, 7, 185, 83},
    {kAddSite, ControlKind::kPushButton, "Add", 132, 48, 47, 14},
    {kDeleteSite, ControlKind::kPushButton, "Delete", 135, 20, 49, 14},
    {kSiteUrl, ControlKind::kEditBox, "", 54, 64, 125, 14},
    {kNoId, ControlKind::kGroupBox, "Input control", 8, 93, 185, 46},
    {kNoId, ControlKind::kLabel, "Tooltip text:", 13, 106, 40, 8},
    {kTooltipList, ControlKind::kDropDownList, "", 55, 103, 68, 60},
    {kTooltipItem, ControlKind::kEditBox, "", 155, 103, 32, 14},
    {kNoId, ControlKind::kLabel, "Item:", 132, 106, 18, 8},
    {kReplaceBr, ControlKind::kAutoCheckBox, "Replace <br>", 13, 168, 61, 10},
    {kNoId, ControlKind::kLabel, "Update intervall (seconds):", 15, 187, 92, 8},
    {kInterval, ControlKind::kEditBox, "", 107, 185, 55, 14},
    {kNoId, ControlKind::kLabel, "Click option:", 14, 122, 40, 8},
    {kClickList, ControlKind::kDropDownList, "", 55, 120, 68, 60},
    {kClickItem, ControlKind::kEditBox, "", 155, 120, 32, 14},
    {kNoId, ControlKind::kLabel, "Item:", 132, 122, 18, 8},
    {kSiteName, ControlKind::kEditBox, "", 53, 48, 74, 14},
    {kNoId, ControlKind::kLabel, "Name:", 26, 50, 22, 8},
    {kNoId, ControlKind::kLabel, "Url:", 27, 67, 12, 8},
    {kNoId, ControlKind::kGroupBox, "Add site", 16, 38, 168, 46},
    {kAddStatus, ControlKind::kLabel, "", 7, 229, 186, 16},
    {kNoId, ControlKind::kGroupBox, "Shown items", 7, 249, 185, 98},
    {kNoId, ControlKind::kLabel, "Dates:", 13, 263, 40, 8},
    {kDateFormatList, ControlKind::kDropDownList, "", 55, 260, 68, 60},
    {kDatePattern, ControlKind::kEditBox, "", 128, 260, 59, 14},
    {kNoId, ControlKind::kLabel, "Include:", 13, 280, 40, 8},
    {kInclude, ControlKind::kEditBox, "", 55, 277, 132, 14},
    {kNoId, ControlKind::kLabel, "Exclude:", 13, 297, 40, 8},
    {kExclude, ControlKind::kEditBox, "", 55, 294, 132, 14},
    {kNoId, ControlKind::kLabel, "Order:", 13, 314, 40, 8},
    {kOrderList, ControlKind::kDropDownList, "", 55, 311, 68, 34},
    {kNoId, ControlKind::kLabel, "Max age (hours):", 13, 331, 64, 8},
    {kMaxAge, ControlKind::kEditBox, "", 79, 328, 28, 14},
    {kNoId, ControlKind::kLabel, "Mark new:", 115, 331, 36, 8},
    {kMarkNew, ControlKind::kEditBox, "", 153, 328, 34, 14},
};

struct DialogTemplate {
  int resourceId;
  const char* caption;
  int width, height;  // dialog units
  const char* fontName;
  int fontPoints;
  // WS_POPUP, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME
  bool popupWindow, titleBar, systemMenu, modalFrame;
  const ControlTemplate* controls;
  std::size_t controlCount;
};

inline constexpr DialogTemplate kOptionsDialog = {
    103,  "Meter specific options", 200, 354, "MS Shell Dlg", 8, true, true, true, true,
    kControls, sizeof kControls / sizeof kControls[0]};

// The tooltip list; an entry's index is the value ToolTip stores.
inline constexpr const char* kTooltipChoices[] = {
    "none", "title", "description", "link", "itemtitle", "itemdescription", "itemlink"};
// The click list; an entry's index is the value InputClick stores.
inline constexpr const char* kClickChoices[] = {"none", "link", "itemlink"};
// The date list: DateFormat empty, "local", "relative", or the pattern in
// the box beside the list.
inline constexpr const char* kDateFormatChoices[] = {"as written", "local", "relative", "pattern"};
inline constexpr int kPatternChoice = 3;
// The order list: Order "feed" and "newest".
inline constexpr const char* kOrderChoices[] = {"feed order", "newest first"};

// Dialog units to pixels for "MS Shell Dlg" at 8 points and 96 DPI: the
// base units are 6 x 13 pixels; a horizontal unit is a quarter of the
// first, a vertical unit an eighth of the second. Rounded as MulDiv rounds
// (to nearest, halves away from zero).
inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;

constexpr int mulDiv(int number, int numerator, int denominator) {
  long long product = static_cast<long long>(number) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}
constexpr int dluToPixelsX(int dlu) { return mulDiv(dlu, kBaseUnitX, 4); }
constexpr int dluToPixelsY(int dlu) { return mulDiv(dlu, kBaseUnitY, 8); }

// How many controls of that kind the dialog has.
constexpr std::size_t countControls(ControlKind kind) {
  std::size_t n = 0;
  for (const ControlTemplate& c : kControls) n += c.kind == kind ? 1 : 0;
  return n;
}

// The control with that id, or null.
constexpr const ControlTemplate* findControl(int id) {
  for (const ControlTemplate& c : kControls)
    if (c.id == id && id != kNoId) return &c;
  return nullptr;
}

}  // namespace korvo::dialog
