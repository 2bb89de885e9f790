#include "plugin/entry_points.h"

#include <climits>
#include <string>

#include "dialog/options_dialog.h"
#include "platform/dialog_runner.h"

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
constexpr std::string_view kTooltipMarker = "%tt";

// Publishes text and then the meter's tooltip part. The text is copied
// before the tooltip source is read, since reading it may refresh the feed
// that text lives in.
const char* publishWithTooltip(Context& ctx, Meter& meter, const std::string& text) {
  ResultBuffer& out = ctx.result();
  bool published = false;
  if (!text.empty()) {
    out.clear();
    out.append(text);
    published = true;
  }
  if (const std::string* tip = meter.tooltipSource(ctx.meterEnv())) {
    if (!published) out.clear();
    out.append(kTooltipMarker);
    out.append(*tip);
    published = true;
  }
  return published ? out.c_str() : kEmptyText;
}

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

int parseNumber(std::string_view text) {
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  // Out of range gives the nearest end, as a stream extraction does.
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

int createMeter(Context& ctx) { return ctx.registry().createMeter(); }

void removeMeter(Context& ctx, int id) { ctx.registry().removeMeter(id); }

void loadMeterSettings(Context& ctx, int id, std::string_view file, std::string_view section) {
  ctx.registry().getMeter(id).loadSettings(ctx.meterEnv(), std::string(file), std::string(section));
}

void saveMeterSettings(Context& ctx, int id, std::string_view file, std::string_view section) {
  ctx.registry().getMeter(id).saveSettings(ctx.meterEnv(), std::string(file), std::string(section));
}

void pasteMeter(Context& ctx, int source, int destination) {
  ctx.registry().pasteSettings(source, destination);
}

void clickMeter(Context& ctx, int id) { ctx.registry().getMeter(id).click(ctx.meterEnv()); }

void configureMeter(Context& ctx, int id) {
  OptionsDialog dialog(ctx.registry(), ctx.meterEnv(), id);
  if (!runOptionsDialog(dialog))
    ctx.logger().writeLine(
        "Options dialog: no window could be shown (no display, or the window system refused it)");
}

const char* channelQuery(Context& ctx, int id, std::string_view field) {
  Meter& meter = ctx.registry().getMeter(id);
  return publishWithTooltip(ctx, meter, meter.channelText(ctx.meterEnv(), field));
}

const char* itemQuery(Context& ctx, int id, std::string_view field, std::string_view number) {
  int n = parseNumber(number);
  if (n < 0) return kEmptyText;
  Meter& meter = ctx.registry().getMeter(id);
  return publishWithTooltip(ctx, meter, meter.itemText(ctx.meterEnv(), field, n));
}

const char* titleListQuery(Context& ctx, int id, std::string_view count, bool withoutTitle) {
  int n = parseNumber(count);
  if (n < 0) n = 0;
  Meter& meter = ctx.registry().getMeter(id);
  std::string list = meter.titleList(ctx.meterEnv(), n, ResultBuffer::kCapacity, withoutTitle);
  std::string_view shown = list;
  if (withoutTitle) {
    std::size_t lf = shown.find('\n');
    if (lf != std::string_view::npos) shown.remove_prefix(lf + 1);
  }
  return ctx.publish(shown);
}

}  // namespace korvo
