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
// not a date in one of the forms feeds use, or names no real moment (month,
// day of the month, hour up to 24:00, minute, second up to 60). Reads
// RFC 822/2822 (weekday optional, seconds optional, two-, three- or
// four-digit year, zone +hhmm or a name: UT, GMT and the US zones by their
// offsets, other names as UTC, none as UTC) and RFC 3339/ISO 8601 (date
// alone, with time after T or a blank, with or without seconds and
// fraction, zone Z, +hh:mm, +hhmm or +hh, none as UTC). Blanks around the
// parts, names in any letter case. No allocation, no locale.
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
// zone: Local "14:03" (today), "Tue 14:03" (the six days before), "10 Dec"
// (this year), "10 Dec 2025"; Relative "just now", "5 min ago", "3 h ago",
// "2 days ago", "in 5 min"; a Pattern by appendDatePattern (the same text
// on every system). written itself when it is not a readable date, when
// format is AsWritten, when the clock cannot take the date (Local and
// Pattern: before 1970 or after 2106), or when the text would be empty or
// longer than limits::kMaxDateTextBytes. The result is ASCII apart from
// what a pattern writes itself.
std::string formatFeedDate(std::string_view written, const DateFormat& format, const Clock& clock);

}  // namespace korvo
