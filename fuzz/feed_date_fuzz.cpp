// The date reader and the date forms on any text: the input read as a date
// and used as a pattern. A date read lies within the years 0000-9999 and
// reads again from its own ISO 8601 form; every form's text is the date as
// written or stays within its bound (a date the clock cannot take, such as
// one before 1970, is shown as written, however long).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/limits.h"
#include "fuzz_check.h"
#include "platform/clock.h"
#include "text/feed_date.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using korvo::DateFormat;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const korvo::ManualClock clock(1796911380u);  // Thu, 10 Dec 2026 14:03:00 UTC

  // 0000-01-01 and 9999-12-31 24:00, each a day further for the zone.
  constexpr std::int64_t kEarliest = -62167219200 - 86400;
  constexpr std::int64_t kLatest = 253402300800 + 86400;
  const auto seconds = korvo::readFeedDate(input);
  if (seconds) {
    FUZZ_CHECK(*seconds >= kEarliest && *seconds <= kLatest);
    const DateFormat iso{DateFormat::Kind::Pattern, "%Y-%m-%dT%H:%M:%SZ"};
    const std::string again = korvo::formatFeedDate(input, iso, clock);
    if (*seconds >= 0 && *seconds <= 0xFFFFFFFFll)
      FUZZ_CHECK(korvo::readFeedDate(again) == seconds);
  }

  for (const char* setting : {"local", "relative"}) {
    const std::string text = korvo::formatFeedDate(input, DateFormat::fromSetting(setting), clock);
    FUZZ_CHECK(text == input || (seconds && text.size() <= korvo::limits::kMaxDateTextBytes));
  }
  const std::string_view written = "2026-12-10T14:03:00Z";
  const std::string patterned = korvo::formatFeedDate(
      written, DateFormat{DateFormat::Kind::Pattern, std::string(input)}, clock);
  FUZZ_CHECK(patterned == written || patterned.size() <= korvo::limits::kMaxDateTextBytes);
  return 0;
}
