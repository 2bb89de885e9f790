#include "plugin/entry_points.h"

namespace korvo {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

constexpr const char* kEmptyText = "";

}  // namespace

const char* infoText(unsigned index) {
  static constexpr const char* kInfo[] = {
      "Korvo", "Korvo developers", "0.93", "2005", "2007-01-25", "", "korvo@localhost",
      "RSS reader plugin"};
  return index < sizeof kInfo / sizeof kInfo[0] ? kInfo[index] : kEmptyText;
}

const char* paramText(std::string_view name) {
  static constexpr std::string_view kItemQueries[] = {"GetItemTitle", "GetItemLink",
                                                      "GetItemDescription", "GetItemPubDate"};
  static constexpr std::string_view kListQueries[] = {"GetTitleOfItems", "GetTitleOfItemsNT"};
  for (auto q : kItemQueries)
    if (equalsIgnoringCase(name, q)) return "Item number.|";
  for (auto q : kListQueries)
    if (equalsIgnoringCase(name, q)) return "Number of items:|";
  return kEmptyText;
}

// The meter operations below answer safely until meters and feeds exist.
int createMeter(Context& ctx) { return ctx.takeMeterId(); }
void removeMeter(Context&, int) {}
void loadMeterSettings(Context&, int, std::string_view, std::string_view) {}
void saveMeterSettings(Context&, int, std::string_view, std::string_view) {}
void pasteMeter(Context&, int, int) {}
void clickMeter(Context&, int) {}
void configureMeter(Context&, int) {}
const char* channelQuery(Context&, int, std::string_view) { return kEmptyText; }
const char* itemQuery(Context&, int, std::string_view, std::string_view) { return kEmptyText; }
const char* titleListQuery(Context& ctx, int, std::string_view, bool) { return ctx.publish(""); }

}  // namespace korvo
