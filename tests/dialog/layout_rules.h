#pragma once
// What a layout of the options dialog must keep, for the tests of the
// template table, of the compiled Windows resource and of the FLTK window:
// the controls the dialog was first made with, at fixed figures, come first
// and unchanged; every control lies inside the dialog; the controls added
// after them lie below them all, inside their own group box, and do not
// overlap one another.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "dialog/dialog_template.h"

namespace korvo::test {

using dialog::ControlKind;
using dialog::ControlTemplate;

// The first controls, in their template order (and tab order), in dialog
// units.
inline constexpr ControlTemplate kFirstControls[] = {
    {1001, ControlKind::kDefaultPushButton, "Save", 7, 210, 50, 14},
    {1002, ControlKind::kPushButton, "Cancel", 143, 210, 50, 14},
    {-1, ControlKind::kGroupBox, "", 7, 145, 185, 60},
    {1011, ControlKind::kAutoCheckBox, "Filter unicode", 13, 155, 57, 10},
    {1012, ControlKind::kAutoCheckBox, "Filter html", 103, 155, 54, 10},
    {1014, ControlKind::kDropDownList, "", 16, 20, 111, 107},
    {-1, ControlKind::kGroupBox, "News sites", 7, 7, 185, 83},
    {1015, ControlKind::kPushButton, "Add", 132, 48, 47, 14},
    {1016, ControlKind::kPushButton, "Delete", 135, 20, 49, 14},
    {1017, ControlKind::kEditBox, "", 54, 64, 125, 14},
    {-1, ControlKind::kGroupBox, "Input control", 8, 93, 185, 46},
    {-1, ControlKind::kLabel, "Tooltip text:", 13, 106, 40, 8},
    {1019, ControlKind::kDropDownList, "", 55, 103, 68, 60},
    {1020, ControlKind::kEditBox, "", 155, 103, 32, 14},
    {-1, ControlKind::kLabel, "Item:", 132, 106, 18, 8},
    {1007, ControlKind::kAutoCheckBox, "Replace <br>", 13, 168, 61, 10},
    {-1, ControlKind::kLabel, "Update intervall (seconds):", 15, 187, 92, 8},
    {1003, ControlKind::kEditBox, "", 107, 185, 55, 14},
    {-1, ControlKind::kLabel, "Click option:", 14, 122, 40, 8},
    {1021, ControlKind::kDropDownList, "", 55, 120, 68, 60},
    {1022, ControlKind::kEditBox, "", 155, 120, 32, 14},
    {-1, ControlKind::kLabel, "Item:", 132, 122, 18, 8},
    {1018, ControlKind::kEditBox, "", 53, 48, 74, 14},
    {-1, ControlKind::kLabel, "Name:", 26, 50, 22, 8},
    {-1, ControlKind::kLabel, "Url:", 27, 67, 12, 8},
    {-1, ControlKind::kGroupBox, "Add site", 16, 38, 168, 46},
    {1023, ControlKind::kLabel, "", 7, 229, 186, 16},
};
inline constexpr std::size_t kFirstControlCount = std::size(kFirstControls);

// A closed drop-down list covers no more than an edit box; its template
// height is the extent of the list dropped down.
inline constexpr int kClosedDropDownHeight = 14;

inline int shownHeight(const ControlTemplate& c) {
  return c.kind == ControlKind::kDropDownList ? kClosedDropDownHeight : c.height;
}

inline bool overlap(const ControlTemplate& a, const ControlTemplate& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + shownHeight(b) &&
         b.y < a.y + shownHeight(a);
}

inline bool holds(const ControlTemplate& frame, const ControlTemplate& c) {
  return c.x >= frame.x && c.y >= frame.y && c.x + c.width <= frame.x + frame.width &&
         c.y + shownHeight(c) <= frame.y + frame.height;
}

inline std::string describe(std::size_t index, const ControlTemplate& c) {
  return "control " + std::to_string(index) + " (" + std::to_string(c.id) + " \"" + c.text + "\" " +
         std::to_string(c.x) + "," + std::to_string(c.y) + "," + std::to_string(c.width) + "," +
         std::to_string(c.height) + ")";
}

// Every rule the layout breaks, one line each; empty when it keeps them all.
inline std::vector<std::string> layoutFaults(const std::vector<ControlTemplate>& controls,
                                             int dialogWidth, int dialogHeight) {
  std::vector<std::string> faults;
  if (controls.size() <= kFirstControlCount) faults.push_back("no control after the first ones");
  int firstBottom = 0;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlTemplate& c = controls[i];
    if (c.x < 0 || c.y < 0 || c.x + c.width > dialogWidth || c.y + c.height > dialogHeight)
      faults.push_back(describe(i, c) + " reaches outside the dialog");
    if (i >= kFirstControlCount) continue;
    const ControlTemplate& was = kFirstControls[i];
    if (c.id != was.id || c.kind != was.kind || std::string(c.text) != was.text || c.x != was.x ||
        c.y != was.y || c.width != was.width || c.height != was.height)
      faults.push_back(describe(i, c) + " is not " + describe(i, was));
    firstBottom = std::max(firstBottom, c.y + shownHeight(c));
  }
  const ControlTemplate* group = nullptr;
  for (std::size_t i = kFirstControlCount; i < controls.size(); ++i) {
    const ControlTemplate& c = controls[i];
    if (c.y < firstBottom)
      faults.push_back(describe(i, c) + " is not below the first controls (" +
                       std::to_string(firstBottom) + ")");
    if (c.kind == ControlKind::kGroupBox) {
      if (group != nullptr) faults.push_back(describe(i, c) + " is a second group box");
      group = &c;
      continue;
    }
    if (group == nullptr || !holds(*group, c))
      faults.push_back(describe(i, c) + " is not inside the group box before it");
    for (std::size_t j = kFirstControlCount; j < i; ++j) {
      if (controls[j].kind != ControlKind::kGroupBox && overlap(controls[j], c))
        faults.push_back(describe(i, c) + " overlaps " + describe(j, controls[j]));
    }
  }
  return faults;
}

}  // namespace korvo::test
