#include "text/feed_date.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>

#include "base/limits.h"
#include "support/offset_clock.h"

namespace korvo {
namespace {

using test::OffsetClock;

// Thu, 10 Dec 2026 14:03:00 UTC.
constexpr std::int64_t kDec10 = 1796911380;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;

TEST(FeedDateTest, ReadsTheFormsOfRfc822) {
  struct Case {
    const char* text;
    std::int64_t seconds;
  } cases[] = {
      {"Thu, 10 Dec 2026 14:03:00 +0000", kDec10},
      {"Thu, 10 Dec 2026 14:03:00 GMT", kDec10},
      {"10 Dec 2026 14:03:00 GMT", kDec10},
      {"Thu 10 Dec 2026 14:03:00 UT", kDec10},
      {"Thursday, 10 December 2026 14:03:00 UTC", kDec10},
      {"thu, 10 DEC 2026 14:03:00 gmt", kDec10},
      {"Thu, 10 Dec 2026 14:03 GMT", kDec10},
      {"Thu, 10 Dec 2026 14:03:07 Z", kDec10 + 7},
      {"  Thu ,  10   Dec\t2026 \n 14:03:00   +0000  ", kDec10},
      {"Thu, 10 Dec 2026 14:03:00", kDec10},
      {"Thu, 10 Dec 2026 4:03:00 GMT", kDec10 - 10 * kHour},
      {"Thu, 10 Dec 2026 14:03:00 +0000 (UTC)", kDec10},
      // Numeric zones: east of UTC is earlier in UTC.
      {"Thu, 10 Dec 2026 15:33:00 +0130", kDec10},
      {"Thu, 10 Dec 2026 09:03:00 -0500", kDec10},
      {"Thu, 10 Dec 2026 15:03:00 +01:00", kDec10},
      {"Thu, 10 Dec 2026 15:03:00 +01", kDec10},
      {"Thu, 10 Dec 2026 14:03:00 -0000", kDec10},
      // The named US zones.
      {"Thu, 10 Dec 2026 09:03:00 EST", kDec10},
      {"Thu, 10 Dec 2026 10:03:00 EDT", kDec10},
      {"Thu, 10 Dec 2026 08:03:00 CST", kDec10},
      {"Thu, 10 Dec 2026 09:03:00 CDT", kDec10},
      {"Thu, 10 Dec 2026 07:03:00 MST", kDec10},
      {"Thu, 10 Dec 2026 08:03:00 MDT", kDec10},
      {"Thu, 10 Dec 2026 06:03:00 PST", kDec10},
      {"Thu, 10 Dec 2026 07:03:00 pdt", kDec10},
      // Military letters and names without a sure offset: UTC.
      {"Thu, 10 Dec 2026 14:03:00 A", kDec10},
      {"Thu, 10 Dec 2026 14:03:00 CET", kDec10},
      {"Thu, 10 Dec 2026 14:03:00 ACDT", kDec10},
      // One-digit days; the weekday is not checked against the date.
      {"Sat, 5 Dec 2026 14:03:00 GMT", kDec10 - 5 * kDay},
      {"Mon, 05 Dec 2026 14:03:00 GMT", kDec10 - 5 * kDay},
      // Two-digit years: 00-49 in this century, 50-99 in the last; three
      // digits from 1900.
      {"01 Jan 49 00:00:00 GMT", 2493072000},
      {"01 Jan 50 00:00:00 GMT", -631152000},
      {"31 Dec 99 23:59:59 GMT", 946684799},
      {"10 Dec 26 14:03:00 GMT", kDec10},
      {"10 Dec 126 14:03:00 GMT", kDec10},
      // Leap days, leap seconds and midnight at the end of the day.
      {"29 Feb 2024 00:00:00 GMT", 1709164800},
      {"Thu, 10 Dec 2026 23:59:60 GMT", kDec10 - 14 * kHour - 3 * 60 + kDay},
      {"Thu, 10 Dec 2026 24:00:00 GMT", kDec10 - 14 * kHour - 3 * 60 + kDay},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(readFeedDate(c.text), std::optional<std::int64_t>(c.seconds));
  }
}

TEST(FeedDateTest, ReadsTheFormsOfRfc3339AndIso8601) {
  struct Case {
    const char* text;
    std::int64_t seconds;
  } cases[] = {
      {"2026-12-10T14:03:00Z", kDec10},
      {"2026-12-10t14:03:00z", kDec10},
      {"2026-12-10T14:03Z", kDec10},
      {"2026-12-10T14:03:00", kDec10},
      {"2026-12-10 14:03:00", kDec10},
      {"2026-12-10 14:03:00 UTC", kDec10},
      {"2026-12-10T14:03:00.123456789123Z", kDec10},
      {"2026-12-10T14:03:00,5Z", kDec10},
      {"2026-12-10T15:03:00+01:00", kDec10},
      {"2026-12-10T15:03:00+0100", kDec10},
      {"2026-12-10T15:03:00+01", kDec10},
      {"2026-12-10T08:33:00-05:30", kDec10},
      {"2026-12-10T14:03:00 +00:00", kDec10},
      {"  2026-12-10T14:03:00Z\n", kDec10},
      {"2026-12-10", kDec10 - 14 * kHour - 3 * 60},
      {"2026-12-10T24:00:00Z", kDec10 - 14 * kHour - 3 * 60 + kDay},
      {"2024-02-29T00:00:00Z", 1709164800},
      {"1970-01-01T00:00:00Z", 0},
      {"1969-12-31T23:59:59Z", -1},
      {"0001-01-01T00:00:00Z", -62135596800},
      {"9999-12-31T23:59:59Z", 253402300799},
      {"2106-02-07T06:28:16Z", std::int64_t{1} << 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(readFeedDate(c.text), std::optional<std::int64_t>(c.seconds));
  }
}

TEST(FeedDateTest, ReadsNothingFromTextThatIsNoDate) {
  // clang-format off
  const char* cases[] = {
      "", "   ", "garbage", "yesterday", "12345", "Thu,", "10 Dec", "10 Dec 2026",
      // Truncated.
      "Thu, 10 Dec 2026 14", "Thu, 10 Dec 2026 14:", "Thu, 10 Dec 2026 14:03:", "2026",
      "2026-12", "2026-12-", "2026-12-10T", "2026-12-10T14", "2026-12-10T14:0",
      "2026-12-10T14:03:0", "2026-12-10T14:03:00.", "2026-12-10T14:03:00+", "2026-12-10T14:03+1",
      "Thu, 10 Dec 2026 14:03:00 (UTC",
      // Out of range.
      "2026-13-10T14:03:00Z", "2026-00-10T14:03:00Z", "2026-12-32T14:03:00Z",
      "2026-12-00T14:03:00Z", "2026-04-31T14:03:00Z", "2023-02-29T00:00:00Z",
      "1900-02-29T00:00:00Z", "2026-12-10T25:00:00Z", "2026-12-10T24:00:01Z",
      "2026-12-10T24:01:00Z", "2026-12-10T14:60:00Z", "2026-12-10T14:03:61Z",
      "2026-12-10T14:03:00+24:00", "2026-12-10T14:03:00+01:60", "Thu, 31 Apr 2026 14:03:00 GMT",
      "Thu, 10 Dec 2026 14:03:00 +2400", "Thu, 0 Dec 2026 14:03:00 GMT",
      // Huge numbers and years past four digits (beyond 32 bits too).
      "Thu, 100 Dec 2026 14:03:00 GMT", "Thu, 10 Dec 20261 14:03:00 GMT",
      "Thu, 10 Dec 4294967297 14:03:00 GMT", "Thu, 10 Dec 99999999999999999999 14:03:00 GMT",
      "Thu, 10 Dec 2026 999999999999:03:00 GMT", "Thu, 10 Dec 2026 14:03:00 +99999999999",
      "4294967297-12-10T14:03:00Z", "20261-12-10T14:03:00Z", "2026-012-10T14:03:00Z",
      "2026-12-10T014:03:00Z", "2026-12-10T14:03:00+001:00",
      // Names and separators that are not ours.
      "Thx, 10 Dec 2026 14:03:00 GMT", "Thu, 10 Dez 2026 14:03:00 GMT",
      "Thu, 10 De 2026 14:03:00 GMT", "Thu, 10 Decem 2026 14:03:00 GMT",
      "Thu, 10 Dec 2026 14.03.00 GMT", "Thu, 10 Dec 2026 14:03:00 Europe/Berlin",
      "Thu, 10 Dec 2026 14:03:00 GMT+1", "Thu, 10 Dec 2026 14:03:00 GMT trailing",
      "Thu, 10 Dec 2026 14:03:00 garbage", "2026/12/10 14:03:00", "2026-12-10X14:03:00Z",
      "2026-12-10T14:03:00Z trailing", "2026-12-10T14:03:00ZZ", "2026-12-1014:03:00",
      "20261210T140300Z", "Tue Dec 10 14:03:00 2026", "-2026-12-10T14:03:00Z",
  };
  // clang-format on
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(readFeedDate(text), std::nullopt);
  }
  // Bytes past a zero byte are part of the text.
  EXPECT_EQ(readFeedDate(std::string("2026-12-10\0T14:03:00Z", 21)), std::nullopt);
}

// Walks the calendar day by day from 1899 to 2101 (the leap-year rules of
// 1900 and 2000 and every month's length): each day reads 86400 seconds
// after the one before, and the day after a month's last is no date.
TEST(FeedDateTest, EveryDayOfTwoCenturiesIsOneDayAfterTheOneBefore) {
  constexpr int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::optional<std::int64_t> previous;
  for (int year = 1899; year <= 2101; ++year) {
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    for (int month = 1; month <= 12; ++month) {
      const int length = kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
      for (int day = 1; day <= length + 1; ++day) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
        const auto seconds = readFeedDate(text);
        if (day > length) {
          ASSERT_EQ(seconds, std::nullopt) << text;
          continue;
        }
        ASSERT_TRUE(seconds.has_value()) << text;
        if (previous) {
          ASSERT_EQ(*seconds - *previous, kDay) << text;
        }
        previous = seconds;
      }
    }
  }
  EXPECT_EQ(readFeedDate("1970-01-01"), 0);
}

TEST(FeedDateTest, TheSettingNamesTheFormat) {
  struct Case {
    const char* setting;
    DateFormat::Kind kind;
  } cases[] = {
      {"", DateFormat::Kind::AsWritten},        {"local", DateFormat::Kind::Local},
      {"LOCAL", DateFormat::Kind::Local},       {"Relative", DateFormat::Kind::Relative},
      {"%H:%M", DateFormat::Kind::Pattern},     {" local", DateFormat::Kind::Pattern},
      {"localtime", DateFormat::Kind::Pattern}, {"as written", DateFormat::Kind::Pattern},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    const DateFormat format = DateFormat::fromSetting(c.setting);
    EXPECT_EQ(format.kind, c.kind);
    EXPECT_EQ(format.pattern, c.kind == DateFormat::Kind::Pattern ? c.setting : "");
  }
}

std::string shown(const char* written, const char* setting, const Clock& clock) {
  return formatFeedDate(written, DateFormat::fromSetting(setting), clock);
}

TEST(FeedDateTest, WhatCannotBeShownIsShownAsWritten) {
  const ManualClock clock(static_cast<std::uint32_t>(kDec10));
  const char* settings[] = {"", "local", "relative", "%Y"};
  for (const char* setting : settings) {
    SCOPED_TRACE(setting);
    EXPECT_EQ(shown("sometime last week", setting, clock), "sometime last week");
    EXPECT_EQ(shown("", setting, clock), "");
    EXPECT_EQ(shown("2026-13-01", setting, clock), "2026-13-01");
  }
  EXPECT_EQ(shown(" Thu, 10 Dec 2026 14:03:00 GMT ", "", clock), " Thu, 10 Dec 2026 14:03:00 GMT ");
  // The clock's 32 bits hold no local time before 1970 or after 2106.
  for (const char* setting : {"local", "%Y"}) {
    SCOPED_TRACE(setting);
    EXPECT_EQ(shown("1969-12-31T23:59:59Z", setting, clock), "1969-12-31T23:59:59Z");
    EXPECT_EQ(shown("2106-02-07T06:28:16Z", setting, clock), "2106-02-07T06:28:16Z");
  }
  EXPECT_EQ(shown("2106-02-07T06:28:15Z", "%Y", clock), "2106");
}

// A clock whose local time fails (as a C library's does for a time it
// cannot take) leaves its fields out of range.
class BrokenLocalTimeClock final : public Clock {
 public:
  std::uint32_t now() const override { return static_cast<std::uint32_t>(kDec10); }
  std::tm localTime(std::uint32_t) const override {
    std::tm broken{};
    broken.tm_mon = broken.tm_mday = broken.tm_wday = broken.tm_hour = -1;
    return broken;
  }
};

TEST(FeedDateTest, ALocalTimeTheClockCannotGiveShowsTheDateAsWritten) {
  const BrokenLocalTimeClock clock;
  for (const char* setting : {"local", "%a %b %H"}) {
    SCOPED_TRACE(setting);
    EXPECT_EQ(shown("2026-12-10T14:03:00Z", setting, clock), "2026-12-10T14:03:00Z");
  }
  EXPECT_EQ(shown("2026-12-10T14:00:00Z", "relative", clock), "3 min ago");
}

struct LocalCase {
  const char* written;
  const char* local;
};

void expectLocal(const Clock& clock, std::initializer_list<LocalCase> cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(shown(c.written, "local", clock), c.local);
  }
}

TEST(FeedDateTest, LocalIsShortestForTheLatestDates) {
  // Now: Thu, 10 Dec 2026 14:03 in UTC and here.
  const ManualClock clock(static_cast<std::uint32_t>(kDec10));
  expectLocal(clock, {
                         {"Thu, 10 Dec 2026 14:03:00 GMT", "14:03"},
                         {"2026-12-10T00:00:00Z", "00:00"},
                         {"2026-12-10T23:59:59Z", "23:59"},
                         {"2026-12-09T23:59:59Z", "Wed 23:59"},
                         {"2026-12-04T00:00:00Z", "Fri 00:00"},
                         {"2026-12-03T23:59:59Z", "3 Dec"},
                         {"2026-01-01T00:00:00Z", "1 Jan"},
                         {"2025-12-31T23:59:59Z", "31 Dec 2025"},
                         {"Sat, 1 Jan 2000 10:00:00 GMT", "1 Jan 2000"},
                         {"2026-12-11T00:00:00Z", "11 Dec"},
                         {"2027-01-01T00:00:00Z", "1 Jan 2027"},
                         {"Thu, 10 Dec 2026 09:05:00 -0500", "14:05"},
                     });
}

TEST(FeedDateTest, LocalDaysAreTheDaysOfTheLocalZone) {
  // Now: 10 Dec 2026 10:00 UTC, 12:00 two hours east.
  const std::uint32_t now = static_cast<std::uint32_t>(kDec10 - 4 * kHour - 3 * 60);
  const OffsetClock east(now, 2 * kHour);
  expectLocal(east, {
                        // Yesterday in UTC, today here.
                        {"2026-12-09T23:30:00Z", "01:30"},
                        {"2026-12-09T21:59:00Z", "Wed 23:59"},
                        {"2026-12-10T08:00:00+0000", "10:00"},
                        // Tomorrow in UTC: the same day here.
                        {"2026-12-10T23:00:00Z", "11 Dec"},
                    });
  // Now: 10 Dec 2026 02:00 UTC, 9 Dec 21:00 five hours west.
  const OffsetClock west(static_cast<std::uint32_t>(kDec10 - 12 * kHour - 3 * 60), -5 * kHour);
  expectLocal(west, {
                        // Today in UTC, yesterday there... and so today.
                        {"2026-12-10T01:00:00Z", "20:00"},
                        {"2026-12-09T04:59:00Z", "Tue 23:59"},
                        {"2026-12-03T05:00:00Z", "Thu 00:00"},
                        {"2026-12-03T04:59:00Z", "2 Dec"},
                    });
  // Now: 1 Jan 2027 00:30 an hour east (31 Dec 23:30 UTC).
  const OffsetClock newYear(static_cast<std::uint32_t>(1798761600 - 30 * 60), kHour);
  expectLocal(newYear, {
                           {"2026-12-31T22:00:00Z", "Thu 23:00"},
                           {"2026-12-31T23:10:00Z", "00:10"},
                           {"2026-12-20T12:00:00Z", "20 Dec 2026"},
                           {"2027-02-01T12:00:00Z", "1 Feb"},
                       });
}

// The moment (within the clock's range) as a feed writes it.
std::string iso8601(std::int64_t seconds) {
  const std::tm t = ManualClock().localTime(static_cast<std::uint32_t>(seconds));
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

TEST(FeedDateTest, RelativeCountsWholeUnitsBackOrAhead) {
  const ManualClock clock(static_cast<std::uint32_t>(kDec10));
  struct Case {
    std::int64_t before;  // seconds before now; negative: ahead
    const char* relative;
  } cases[] = {
      {0, "just now"},
      {59, "just now"},
      {60, "1 min ago"},
      {119, "1 min ago"},
      {3599, "59 min ago"},
      {3600, "1 h ago"},
      {3 * kHour + 59 * 60, "3 h ago"},
      {kDay - 1, "23 h ago"},
      {kDay, "1 day ago"},
      {2 * kDay - 1, "1 day ago"},
      {2 * kDay, "2 days ago"},
      {400 * kDay, "400 days ago"},
      {-60, "just now"},
      {-61, "in 1 min"},
      {-3599, "in 59 min"},
      {-3600, "in 1 h"},
      {-kDay + 1, "in 23 h"},
      {-kDay, "in 1 day"},
      {-2 * kDay, "in 2 days"},
  };
  for (const auto& c : cases) {
    const std::string written = iso8601(kDec10 - c.before);
    SCOPED_TRACE(written);
    EXPECT_EQ(shown(written.c_str(), "relative", clock), c.relative);
  }
  // Long before the clock's range: still a count of days.
  EXPECT_EQ(shown("1926-12-10T14:03:00Z", "relative", clock), "36525 days ago");
  EXPECT_EQ(shown("9999-12-31T23:59:59Z", "relative", clock), "in 2912099 days");
}

// Patterns come from the INI file as the user wrote them: the same text on
// every system, and any sequence that is no conversion written as it stands.
TEST(FeedDateTest, PatternsWriteTheLocalTimeAndKeepWhatTheyDoNotKnow) {
  // Local: Thu, 10 Dec 2026 15:03:07 (an hour east); and Sun, 3 Jan 2027
  // 09:04:05.
  const OffsetClock clock(static_cast<std::uint32_t>(kDec10), kHour);
  const char* december = "2026-12-10T14:03:07Z";
  const char* january = "Sun, 03 Jan 2027 08:04:05 +0000";
  struct Case {
    const char* written;
    const char* pattern;
    const char* text;
  } cases[] = {
      {december, "%Y-%m-%d %H:%M:%S", "2026-12-10 15:03:07"},
      {december, "%F %T", "2026-12-10 15:03:07"},
      {december, "%a %A %b %h %B", "Thu Thursday Dec Dec December"},
      {december, "%c", "Thu Dec 10 15:03:07 2026"},
      {january, "%c", "Sun Jan  3 09:04:05 2027"},
      {december, "%D|%x|%X|%R|%r", "12/10/26|12/10/26|15:03:07|15:03|03:03:07 PM"},
      {december, "%I|%l|%p|%P|%k|%C|%y", "03| 3|PM|pm|15|20|26"},
      {january, "%I|%l|%p|%P|%k", "09| 9|AM|am| 9"},
      {january, "%e|%-d|%_d|%0e|%-m|%-H|%_H|%-j", " 3|3| 3|03|1|9| 9|3"},
      {december, "%^a %^B %^p", "THU DECEMBER PM"},
      {december, "%EY %Ey %Od %OH %OS", "2026 26 10 15 07"},
      {december, "%z", "+0100"},
      {december, "%s", "1796911387"},
      {december, "at %H%Z", "at 15"},
      {december, "%n%t", "\n\t"},
      {december, "Zeit: %H.%M Uhr \xc3\xa4", "Zeit: 15.03 Uhr \xc3\xa4"},
      // Not conversions: written as they stand.
      {december, "%%", "%"},
      {december, "%%H", "%H"},
      {december, "100%", "100%"},
      {december, "%", "%"},
      {december, "%Q", "%Q"},
      {december, "%Q%H", "%Q15"},
      {december, "%E", "%E"},
      {december, "%EQ", "%EQ"},
      {december, "%-", "%-"},
      {december, "%#d %5d %+Y", "%#d %5d %+Y"},
      {december, "%\xc3\xa4", "%\xc3\xa4"},
      // Nothing to show: the date as written.
      {december, "%Z", december},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(shown(c.written, c.pattern, clock), c.text);
  }
}

TEST(FeedDateTest, PatternWeekNumbersFollowCAndIso8601AcrossTheNewYear) {
  const ManualClock clock(static_cast<std::uint32_t>(kDec10));
  struct Case {
    const char* written;
    const char* weeks;  // %j %U %W %V %G %g %u %w
  } cases[] = {
      {"2026-12-10T01:00:00Z", "344 49 49 50 2026 26 4 4"},
      {"2027-01-03T01:00:00Z", "003 01 00 53 2026 26 7 0"},
      {"2026-01-01T01:00:00Z", "001 00 00 01 2026 26 4 4"},
      {"2021-01-01T01:00:00Z", "001 00 00 53 2020 20 5 5"},
      {"2020-12-31T01:00:00Z", "366 52 52 53 2020 20 4 4"},
      {"2024-12-30T01:00:00Z", "365 52 53 01 2025 25 1 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(shown(c.written, "%j %U %W %V %G %g %u %w", clock), c.weeks);
  }
}

TEST(FeedDateTest, PatternZonesAreTheClocksOffsets) {
  struct Case {
    long offset;
    const char* text;
  } cases[] = {
      {0, "14:03 +0000"},          {5 * kHour + 30 * 60, "19:33 +0530"},
      {-8 * kHour, "06:03 -0800"}, {-(9 * kHour + 30 * 60), "04:33 -0930"},
      {14 * kHour, "04:03 +1400"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offset);
    const OffsetClock clock(static_cast<std::uint32_t>(kDec10), c.offset);
    EXPECT_EQ(shown("2026-12-10T14:03:00Z", "%H:%M %z", clock), c.text);
  }
}

TEST(FeedDateTest, APatternsTextIsBounded) {
  const ManualClock clock(static_cast<std::uint32_t>(kDec10));
  const char* written = "2026-12-10T14:03:00Z";
  const std::size_t bound = limits::kMaxDateTextBytes;
  const std::string longest(bound, 'x');
  EXPECT_EQ(shown(written, longest.c_str(), clock), longest);
  EXPECT_EQ(shown(written, (longest + "x").c_str(), clock), written);
  EXPECT_EQ(shown(written, (std::string(bound - 4, 'x') + "%Y").c_str(), clock),
            std::string(bound - 4, 'x') + "2026");
  EXPECT_EQ(shown(written, (std::string(bound - 3, 'x') + "%Y").c_str(), clock), written);
  // Ten kilobytes of each kind.
  std::string years, percents, unknown, plain(10240, 'y');
  for (int i = 0; i < 5120; ++i) years += "%Y", percents += "%%", unknown += "%Q";
  for (const std::string& pattern : {years, percents, unknown, plain}) {
    SCOPED_TRACE(pattern.substr(0, 4));
    EXPECT_EQ(shown(written, pattern.c_str(), clock), written);
  }
  EXPECT_EQ(shown(written, percents.substr(0, 2 * bound).c_str(), clock), std::string(bound, '%'));
}

}  // namespace
}  // namespace korvo
