// The dialog template: a table others generate a resource script from, so
// its ids and geometry must hold together; and the conversion of dialog
// units to pixels.
#include "dialog/dialog_template.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dialog/layout_rules.h"

namespace korvo::dialog {
namespace {

TEST(DialogTemplateTest, EveryIdAppearsOnceAndEveryControlLiesInsideTheDialog) {
  std::set<int> ids;
  for (const ControlTemplate& c : kControls) {
    SCOPED_TRACE(c.text);
    if (c.id != kNoId) {
      EXPECT_TRUE(ids.insert(c.id).second) << "id " << c.id << " twice";
    }
    // Only the status line is a label with an id: the dialog writes to it.
    EXPECT_EQ(c.id == kNoId, c.kind == ControlKind::kGroupBox ||
                                 (c.kind == ControlKind::kLabel && c.id != kAddStatus));
    EXPECT_GE(c.x, 0);
    EXPECT_GE(c.y, 0);
    EXPECT_LE(c.x + c.width, kOptionsDialog.width);
    EXPECT_LE(c.y + c.height, kOptionsDialog.height);
  }
  EXPECT_EQ(ids, (std::set<int>{kSave, kCancel, kInterval, kReplaceBr, kFilterUnicode, kFilterHtml,
                                kSiteList, kAddSite, kDeleteSite, kSiteUrl, kSiteName,
                                kTooltipList, kTooltipItem, kClickList, kClickItem,
                                kAddStatus, kDateFormatList, kDatePattern, kInclude, kExclude,
                                kOrderList, kMaxAge, kMarkNew}));
  EXPECT_EQ(kOptionsDialog.controlCount, std::size(kControls));
  EXPECT_EQ(kOptionsDialog.controls, kControls);
}

// The dialog grew downward: what it had keeps its place, size, text and tab
// order; what came later lies below it.
TEST(DialogTemplateTest, TheFirstControlsStayAndTheLaterOnesLieBelowThem) {
  const std::vector<ControlTemplate> controls(std::begin(kControls), std::end(kControls));
  EXPECT_EQ(test::layoutFaults(controls, kOptionsDialog.width, kOptionsDialog.height),
            std::vector<std::string>{});
  EXPECT_EQ(kOptionsDialog.width, 200);
}

// The rules the template, the Windows resource and the FLTK window are
// held to find each kind of fault.
TEST(DialogTemplateTest, TheLayoutRulesFindMovedOverlappingAndStrayControls) {
  struct Case {
    const char* name;
    std::size_t index;
    int dx, dy;
    const char* fault;  // a piece of the one fault found
  };
  const std::size_t first = test::kFirstControlCount;
  const Case cases[] = {
      {"a first control moved", 3, 1, 0, "is not control 3"},
      {"a later control above the first ones", first + 1, 0, -40, "is not below"},
      {"a later control outside the dialog", first + 3, 30, 0, "outside the dialog"},
      {"a later list over the box beside it", first + 2, 20, 0, "overlaps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ControlTemplate> controls(std::begin(kControls), std::end(kControls));
    controls[c.index].x += c.dx;
    controls[c.index].y += c.dy;
    const auto faults = test::layoutFaults(controls, kOptionsDialog.width, kOptionsDialog.height);
    ASSERT_FALSE(faults.empty());
    bool found = false;
    for (const std::string& f : faults) found = found || f.find(c.fault) != std::string::npos;
    EXPECT_TRUE(found) << faults.front();
  }
}

TEST(DialogTemplateTest, FindControlFindsOnlyRealIds) {
  ASSERT_NE(findControl(kSiteList), nullptr);
  EXPECT_EQ(findControl(kSiteList)->kind, ControlKind::kDropDownList);
  EXPECT_EQ(std::string(findControl(kSave)->text), "Save");
  EXPECT_EQ(findControl(kNoId), nullptr);
  EXPECT_EQ(findControl(1000), nullptr);
}

TEST(DialogTemplateTest, DialogUnitsBecomePixelsRoundedAsMulDivRounds) {
  struct Case {
    int dlu, x, y;
  };
  // x = dlu * 6 / 4, y = dlu * 13 / 8, to nearest, halves away from zero.
  const Case cases[] = {{0, 0, 0},     {1, 2, 2},     {2, 3, 3},       {7, 11, 11},
                        {20, 30, 33},  {14, 21, 23},  {200, 300, 325}, {231, 347, 375},
                        {-7, -11, -11}, {-1, -2, -2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dlu);
    EXPECT_EQ(dluToPixelsX(c.dlu), c.x);
    EXPECT_EQ(dluToPixelsY(c.dlu), c.y);
  }
  static_assert(dluToPixelsX(kOptionsDialog.width) == 300);
  static_assert(dluToPixelsY(kOptionsDialog.height) == 575);
}

}  // namespace
}  // namespace korvo::dialog
