#include "text/date_pattern.h"

#include <cstdint>

#include "text/civil_date.h"

namespace korvo {
namespace {

constexpr int kSecondsPerDay = 86400;

std::int64_t fullYear(const std::tm& t) { return std::int64_t{t.tm_year} + 1900; }

// Weeks of the ISO week-based year: 53 when it starts or ends on a Thursday.
int isoWeeksInYear(std::int64_t year) {
  auto weekdayOfDecember31 = [](std::int64_t y) {
    return ((y + y / 4 - y / 100 + y / 400) % 7 + 7) % 7;
  };
  return weekdayOfDecember31(year) == 4 || weekdayOfDecember31(year - 1) == 3 ? 53 : 52;
}

struct IsoWeek {
  std::int64_t year;
  int week;
};

IsoWeek isoWeek(const std::tm& t) {
  const int mondayBased = (t.tm_wday + 6) % 7;
  std::int64_t year = fullYear(t);
  int week = (t.tm_yday - mondayBased + 10) / 7;
  if (week < 1) {
    --year;
    week = isoWeeksInYear(year);
  } else if (week > isoWeeksInYear(year)) {
    ++year;
    week = 1;
  }
  return {year, week};
}

class PatternWriter {
 public:
  PatternWriter(const std::tm& local, long utcOffsetSeconds, DateText& out)
      : t_(local), offset_(utcOffsetSeconds), out_(out) {}

  void write(std::string_view pattern) {
    std::size_t i = 0;
    while (i < pattern.size() && !out_.overflowed()) {
      if (pattern[i] != '%') {
        out_.append(pattern[i++]);
        continue;
      }
      const std::size_t start = i++;
      char flag = '\0';
      if (i < pattern.size() && isFlag(pattern[i])) flag = pattern[i++];
      if (i < pattern.size() && (pattern[i] == 'E' || pattern[i] == 'O')) ++i;
      const std::size_t before = out_.size();
      if (i >= pattern.size() || !convert(pattern[i], flag)) {
        // Unknown: the sequence as it stands (up to and with its letter).
        const std::size_t end = i < pattern.size() ? i + 1 : i;
        out_.append(pattern.substr(start, end - start));
        i = end;
        continue;
      }
      if (flag == '^') out_.upperCaseFrom(before);
      ++i;
    }
  }

 private:
  static bool isFlag(char c) { return c == '-' || c == '_' || c == '0' || c == '^'; }

  // A number of at least width digits, padded as the flag says.
  void number(std::int64_t value, int width, char flag, char pad = '0') {
    if (flag == '-') pad = '\0';
    if (flag == '_') pad = ' ';
    if (flag == '0') pad = '0';
    out_.appendNumber(value, width, pad);
  }

  int hour12() const { return t_.tm_hour % 12 == 0 ? 12 : t_.tm_hour % 12; }

  bool convert(char conversion, char flag) {
    const char* weekday = civil::kWeekdayNames[t_.tm_wday];
    const char* month = civil::kMonthNames[t_.tm_mon];
    // clang-format off
    switch (conversion) {
      case 'a': out_.append(std::string_view(weekday, 3)); break;
      case 'A': out_.append(weekday); break;
      case 'b':
      case 'h': out_.append(std::string_view(month, 3)); break;
      case 'B': out_.append(month); break;
      case 'c': write("%a %b %e %H:%M:%S %Y"); break;
      case 'C': number(fullYear(t_) / 100, 2, flag); break;
      case 'd': number(t_.tm_mday, 2, flag); break;
      case 'D':
      case 'x': write("%m/%d/%y"); break;
      case 'e': number(t_.tm_mday, 2, flag, ' '); break;
      case 'F': write("%Y-%m-%d"); break;
      case 'g': number(isoWeek(t_).year % 100, 2, flag); break;
      case 'G': number(isoWeek(t_).year, 0, flag); break;
      case 'H': number(t_.tm_hour, 2, flag); break;
      case 'I': number(hour12(), 2, flag); break;
      case 'j': number(t_.tm_yday + 1, 3, flag); break;
      case 'k': number(t_.tm_hour, 2, flag, ' '); break;
      case 'l': number(hour12(), 2, flag, ' '); break;
      case 'm': number(t_.tm_mon + 1, 2, flag); break;
      case 'M': number(t_.tm_min, 2, flag); break;
      case 'n': out_.append('\n'); break;
      case 'p': out_.append(t_.tm_hour < 12 ? "AM" : "PM"); break;
      case 'P': out_.append(t_.tm_hour < 12 ? "am" : "pm"); break;
      case 'r': write("%I:%M:%S %p"); break;
      case 'R': write("%H:%M"); break;
      case 's': number(secondsSince1970(), 0, flag); break;
      case 'S': number(t_.tm_sec, 2, flag); break;
      case 't': out_.append('\t'); break;
      case 'T':
      case 'X': write("%H:%M:%S"); break;
      case 'u': number(t_.tm_wday == 0 ? 7 : t_.tm_wday, 0, flag); break;
      case 'U': number((t_.tm_yday + 7 - t_.tm_wday) / 7, 2, flag); break;
      case 'V': number(isoWeek(t_).week, 2, flag); break;
      case 'w': number(t_.tm_wday, 0, flag); break;
      case 'W': number((t_.tm_yday + 7 - (t_.tm_wday + 6) % 7) / 7, 2, flag); break;
      case 'y': number(fullYear(t_) % 100, 2, flag); break;
      case 'Y': number(fullYear(t_), 0, flag); break;
      case 'z': zone(); break;
      case 'Z': break;
      case '%': out_.append('%'); break;
      default: return false;
    }
    // clang-format on
    return true;
  }

  std::int64_t secondsSince1970() const {
    const auto split = civil::splitBrokenDown(t_);
    return split->day * kSecondsPerDay + split->seconds - offset_;
  }

  void zone() {
    const long minutes = (offset_ < 0 ? -offset_ : offset_) / 60;
    out_.append(offset_ < 0 ? '-' : '+');
    out_.appendNumber(minutes / 60, 2);
    out_.appendNumber(minutes % 60, 2);
  }

  const std::tm& t_;
  const long offset_;
  DateText& out_;
};

}  // namespace

void appendDatePattern(std::string_view pattern, const std::tm& local, long utcOffsetSeconds,
                       DateText& out) {
  PatternWriter(local, utcOffsetSeconds, out).write(pattern);
}

}  // namespace korvo
