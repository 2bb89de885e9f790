#include "text/tooltip_marker.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

TEST(TooltipMarkerTest, EveryMarkerIsBrokenAndNothingElseChanges) {
  struct Case {
    const char* text;
    const char* broken;
  } cases[] = {
      {"", ""},
      {"no marker here", "no marker here"},
      {"%t t, % tt, %T T, %TT", "%t t, % tt, %T T, %TT"},
      {"%tt", "% tt"},
      {"Pay now%ttCall 555", "Pay now% ttCall 555"},
      {"%tt%tt%tt", "% tt% tt% tt"},
      {"%%tt", "%% tt"},
      {"%ttt", "% ttt"},
      {"100%", "100%"},
      {"ends in %t", "ends in %t"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    breakTooltipMarker(text);
    EXPECT_EQ(text, c.broken);
    EXPECT_EQ(text.find(kTooltipMarker), std::string::npos);
  }
}

TEST(TooltipMarkerTest, KeepsBytesPastAZeroByte) {
  std::string text("a\0%tt", 5);
  breakTooltipMarker(text);
  EXPECT_EQ(text, std::string("a\0% tt", 6));
}

}  // namespace
}  // namespace korvo
