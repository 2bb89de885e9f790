#pragma once
// Dates as feeds write them (RFC 822/2822 and RFC 3339/ISO 8601), read into
// seconds since 1970 UTC, and shown again in the form a meter asks for.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace korvo {

// The moment text names, in seconds since 1970 UTC; nothing when text is
// not a date in one of the forms feeds use. Reads RFC 822/2822 (weekday
// optional, seconds optional, two- or four-digit year, named or numeric
// zone, surrounding blanks) and RFC 3339/ISO 8601 (date alone, with time,
// with or without seconds, fraction and zone; no zone: UTC).
std::optional<std::int64_t> readFeedDate(std::string_view text);

// How a meter shows a date: as the feed wrote it, in the host's local time
// in a short form, relative to now, or by a strftime pattern.
struct DateFormat {
  enum class Kind { AsWritten, Local, Relative, Pattern };
  Kind kind = Kind::AsWritten;
  std::string pattern;  // of Kind::Pattern

  // The meaning of a DateFormat setting: empty = AsWritten, "local",
  // "relative" (any letter case), anything else a pattern.
  static DateFormat fromSetting(std::string_view setting);
};

// written shown as format asks, with clock giving now and the local time
// zone; written itself when it is not a readable date or format is
// AsWritten. The result is ASCII apart from what a pattern writes itself.
std::string formatFeedDate(std::string_view written, const DateFormat& format, const Clock& clock);

}  // namespace korvo
