#include "plugin/entry_points.h"

#include <climits>
#include <string>

#include "base/version.h"
#include "dialog/options_dialog.h"
#include "platform/ascii.h"
#include "dialog/dialog_runner.h"

namespace korvo {
namespace {

constexpr const char* kEmptyText = "";
// The result buffer, emptied before the first piece is added, so that an
// answer with no piece leaves it as it was.
class Publication {
 public:
  explicit Publication(ResultBuffer& out) : out_(out) {}
  void append(std::string_view text) {
    if (!started_) out_.clear();
    started_ = true;
    out_.append(text);
  }
  const char* result() const { return started_ ? out_.c_str() : kEmptyText; }

 private:
  ResultBuffer& out_;
  bool started_ = false;
};

// Publishes text and then the meter's tooltip part. The text is copied
// before the tooltip source is read, since reading it may refresh the feed
// that text lives in.
const char* publishWithTooltip(Context& ctx, Meter& meter, const std::string& text) {
  Publication out(ctx.result());
  if (!text.empty()) out.append(text);
  meter.appendTooltip(ctx.meterEnv(), out);
  return out.result();
}

}  // namespace

const char* infoText(unsigned index) {
  static constexpr const char* kInfo[] = {
      "Korvo", "Korvo developers", KORVO_VERSION, "2005", "2007-01-25", "", "korvo@localhost",
      "RSS reader plugin"};
  return index < sizeof kInfo / sizeof kInfo[0] ? kInfo[index] : kEmptyText;
}

const char* paramText(std::string_view name) {
  static constexpr std::string_view kItemQueries[] = {"GetItemTitle", "GetItemLink",
                                                      "GetItemDescription", "GetItemPubDate"};
  static constexpr std::string_view kListQueries[] = {"GetTitleOfItems", "GetTitleOfItemsNT"};
  for (auto q : kItemQueries)
    if (ascii::equalsIgnoringCase(name, q)) return "Item number.|";
  for (auto q : kListQueries)
    if (ascii::equalsIgnoringCase(name, q)) return "Number of items:|";
  return kEmptyText;
}

int parseNumber(std::string_view text) {
  // Out of range gives the nearest end, as a stream extraction does.
  return static_cast<int>(ascii::parseDecimal(text, INT_MIN, INT_MAX).value);
}

int createMeter(Context& ctx) { return ctx.registry().createMeter(); }

void removeMeter(Context& ctx, int id) {
  ctx.registry().removeMeter(id);
  if (ctx.registry().size() == 0) ctx.downloads().stop(BackgroundDownloads::kStopWait);
}

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
