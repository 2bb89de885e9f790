#include "text/feed_date.h"

#include "platform/ascii.h"

namespace korvo {

std::optional<std::int64_t> readFeedDate(std::string_view) { return std::nullopt; }

DateFormat DateFormat::fromSetting(std::string_view setting) {
  DateFormat format;
  if (setting.empty()) return format;
  if (ascii::equalsIgnoringCase(setting, "local"))
    format.kind = Kind::Local;
  else if (ascii::equalsIgnoringCase(setting, "relative"))
    format.kind = Kind::Relative;
  else
    format = DateFormat{Kind::Pattern, std::string(setting)};
  return format;
}

std::string formatFeedDate(std::string_view written, const DateFormat&, const Clock&) {
  return std::string(written);
}

}  // namespace korvo
