#pragma once
// The proleptic Gregorian calendar in plain arithmetic, the same on every
// system and in every time zone, and the English names of its days and
// months.
#include <cstdint>
#include <ctime>
#include <optional>

namespace korvo::civil {

inline constexpr const char* kWeekdayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                 "Thursday", "Friday", "Saturday"};
inline constexpr const char* kMonthNames[12] = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};

constexpr bool isLeapYear(std::int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// month 1-12.
constexpr int daysInMonth(std::int64_t year, int month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of year-month-day (month 1-12, day 1-31); the
// well-known era algorithm, exact for every year an int64 day count holds.
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;  // [0, 399]
  const std::int64_t dayOfYear =
      (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;  // [0, 365]
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The day number (as daysFromCivil) and seconds of the day of a broken-down
// time; nothing when its fields are out of their ranges (a failed
// conversion may leave them so).
struct DayAndSeconds {
  std::int64_t day;
  int seconds;
};
inline std::optional<DayAndSeconds> splitBrokenDown(const std::tm& time) {
  if (time.tm_mon < 0 || time.tm_mon > 11 || time.tm_mday < 1 || time.tm_hour < 0 ||
      time.tm_hour > 23 || time.tm_min < 0 || time.tm_min > 59 || time.tm_sec < 0 ||
      time.tm_sec > 60 || time.tm_wday < 0 || time.tm_wday > 6 || time.tm_yday < 0 ||
      time.tm_yday > 365)
    return std::nullopt;
  const std::int64_t year = std::int64_t{time.tm_year} + 1900;
  if (time.tm_mday > daysInMonth(year, time.tm_mon + 1)) return std::nullopt;
  return DayAndSeconds{daysFromCivil(year, time.tm_mon + 1, time.tm_mday),
                       time.tm_hour * 3600 + time.tm_min * 60 + time.tm_sec};
}

}  // namespace korvo::civil
