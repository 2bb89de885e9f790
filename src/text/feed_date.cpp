#include "text/feed_date.h"

#include "platform/ascii.h"
#include "text/civil_date.h"
#include "text/date_pattern.h"
#include "text/date_text.h"

namespace korvo {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads a date from left to right; every step says whether it found what
// it wanted, and a date is read only when every step did.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool atEnd() const { return at_ == text_.size(); }
  char peek(std::size_t ahead = 0) const {
    return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
  }
  void skipBlanks() {
    while (!atEnd() && isBlank(text_[at_])) ++at_;
  }
  bool take(char c) {
    if (peek() != c || atEnd()) return false;
    ++at_;
    return true;
  }
  // A whole run of digits, of minDigits to maxDigits of them (at most 9).
  bool number(int minDigits, int maxDigits, int& value, int* digitCount = nullptr) {
    int count = 0;
    value = 0;
    while (!atEnd() && isDigit(text_[at_])) {
      if (++count <= maxDigits) value = value * 10 + (text_[at_] - '0');
      ++at_;
    }
    if (digitCount != nullptr) *digitCount = count;
    return count >= minDigits && count <= maxDigits;
  }
  std::string_view letters() {
    const std::size_t start = at_;
    while (!atEnd() && isLetter(text_[at_])) ++at_;
    return text_.substr(start, at_ - start);
  }
  // Everything up to and with the next c; false when there is none.
  bool skipPast(char c) {
    const std::size_t found = text_.find(c, at_);
    if (found == std::string_view::npos) return false;
    at_ = found + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

struct Moment {
  int year = 0;  // with the century
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int offsetSeconds = 0;  // east of UTC
};

std::optional<std::int64_t> secondsOf(const Moment& m) {
  if (m.month < 1 || m.month > 12 || m.day < 1 || m.day > civil::daysInMonth(m.year, m.month))
    return std::nullopt;
  const bool midnightAtEnd = m.hour == 24 && m.minute == 0 && m.second == 0;
  if ((m.hour > 23 && !midnightAtEnd) || m.minute > 59 || m.second > 60) return std::nullopt;
  return civil::daysFromCivil(m.year, m.month, m.day) * kSecondsPerDay + m.hour * 3600 +
         m.minute * 60 + m.second - m.offsetSeconds;
}

// A full English name or its first three letters, in any letter case:
// the index in names, or -1.
template <std::size_t N>
int indexOfName(std::string_view word, const char* const (&names)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    const std::string_view name = names[i];
    if ((word.size() == 3 && ascii::startsWithIgnoringCase(name, word)) ||
        ascii::equalsIgnoringCase(word, name))
      return static_cast<int>(i);
  }
  return -1;
}

// hh:mm with optional :ss; and where fraction, an optional fraction of the
// second (dropped).
bool readTimeOfDay(Cursor& in, Moment& m, int hourDigitsMin, bool fraction) {
  if (!in.number(hourDigitsMin, 2, m.hour) || !in.take(':') || !in.number(2, 2, m.minute))
    return false;
  if (!in.take(':')) return true;
  if (!in.number(2, 2, m.second)) return false;
  if (fraction && (in.take('.') || in.take(','))) {
    int ignored = 0, digits = 0;
    in.number(1, 9, ignored, &digits);
    if (digits == 0) return false;
  }
  return true;
}

// The zone names RFC 822 gives offsets for; other names (military letters,
// local abbreviations) mean nothing certain and read as UTC.
struct NamedZone {
  const char* name;
  int hours;
};
constexpr NamedZone kNamedZones[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                                     {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
// Longer runs of letters are words, not zone names.
constexpr std::size_t kMaxZoneNameLetters = 6;

// A zone (+hhmm, +hh:mm, +hh, a name) and what may follow it to the end of
// the text: blanks and one parenthesised comment.
bool readZoneToEnd(Cursor& in, Moment& m) {
  in.skipBlanks();
  if (in.atEnd()) return true;
  if (in.peek() == '+' || in.peek() == '-') {
    const int sign = in.peek() == '-' ? -1 : 1;
    in.take(in.peek());
    int hours = 0, minutes = 0, digits = 0;
    in.number(2, 4, hours, &digits);
    if (digits == 4) {
      minutes = hours % 100;
      hours /= 100;
    } else if (digits != 2 || (in.take(':') && !in.number(2, 2, minutes))) {
      return false;
    }
    if (hours > 23 || minutes > 59) return false;
    m.offsetSeconds = sign * (hours * 3600 + minutes * 60);
  } else {
    const std::string_view name = in.letters();
    if (name.empty() || name.size() > kMaxZoneNameLetters) return false;
    for (const auto& zone : kNamedZones)
      if (ascii::equalsIgnoringCase(name, zone.name)) m.offsetSeconds = zone.hours * 3600;
  }
  in.skipBlanks();
  if (in.take('(') && !in.skipPast(')')) return false;
  in.skipBlanks();
  return in.atEnd();
}

// [weekday[,]] day month year hh:mm[:ss] [zone]
std::optional<std::int64_t> readRfc822(Cursor& in) {
  Moment m;
  if (isLetter(in.peek())) {
    if (indexOfName(in.letters(), civil::kWeekdayNames) < 0) return std::nullopt;
    in.skipBlanks();
    in.take(',');
    in.skipBlanks();
  }
  if (!in.number(1, 2, m.day)) return std::nullopt;
  in.skipBlanks();
  const int month = indexOfName(in.letters(), civil::kMonthNames);
  if (month < 0) return std::nullopt;
  m.month = month + 1;
  in.skipBlanks();
  int yearDigits = 0;
  if (!in.number(2, 4, m.year, &yearDigits)) return std::nullopt;
  // Two digits: 00-49 are 2000-2049, 50-99 1950-1999; three: from 1900.
  if (yearDigits == 2) m.year += m.year < 50 ? 2000 : 1900;
  if (yearDigits == 3) m.year += 1900;
  in.skipBlanks();
  if (!readTimeOfDay(in, m, 1, false) || !readZoneToEnd(in, m)) return std::nullopt;
  return secondsOf(m);
}

// YYYY-MM-DD, alone or with [T or blanks]hh:mm[:ss[.fraction]][zone]
std::optional<std::int64_t> readIso8601(Cursor& in) {
  Moment m;
  if (!in.number(4, 4, m.year) || !in.take('-') || !in.number(2, 2, m.month) || !in.take('-') ||
      !in.number(2, 2, m.day))
    return std::nullopt;
  if (!in.take('T') && !in.take('t')) {
    in.skipBlanks();
    if (in.atEnd()) return secondsOf(m);
  }
  if (!readTimeOfDay(in, m, 2, true)) return std::nullopt;
  if (in.take('Z') || in.take('z')) {
    in.skipBlanks();
    if (!in.atEnd()) return std::nullopt;
  } else if (!readZoneToEnd(in, m)) {
    return std::nullopt;
  }
  return secondsOf(m);
}

// The moment's broken-down local time and the zone's offset; nothing when
// the clock cannot take the moment or gives no valid time for it.
struct LocalMoment {
  std::tm time;
  std::int64_t day;
  long utcOffsetSeconds;
};
std::optional<LocalMoment> localMoment(std::int64_t seconds, const Clock& clock) {
  if (seconds < 0 || seconds > std::int64_t{UINT32_MAX}) return std::nullopt;
  const std::tm time = clock.localTime(static_cast<std::uint32_t>(seconds));
  const auto split = civil::splitBrokenDown(time);
  if (!split) return std::nullopt;
  const std::int64_t offset = split->day * kSecondsPerDay + split->seconds - seconds;
  return LocalMoment{time, split->day, static_cast<long>(offset)};
}

void appendTimeOfDay(const std::tm& t, DateText& out) {
  out.appendNumber(t.tm_hour, 2);
  out.append(':');
  out.appendNumber(t.tm_min, 2);
}

// "14:03" today, "Tue 14:03" in the six days before, "10 Dec" within the
// year, "10 Dec 2025" otherwise.
bool appendLocal(std::int64_t seconds, const Clock& clock, DateText& out) {
  const auto then = localMoment(seconds, clock);
  const auto now = localMoment(clock.now(), clock);
  if (!then || !now) return false;
  const std::int64_t daysBefore = now->day - then->day;
  if (daysBefore == 0) {
    appendTimeOfDay(then->time, out);
  } else if (daysBefore > 0 && daysBefore <= 6) {
    out.append(std::string_view(civil::kWeekdayNames[then->time.tm_wday], 3));
    out.append(' ');
    appendTimeOfDay(then->time, out);
  } else {
    out.appendNumber(then->time.tm_mday);
    out.append(' ');
    out.append(std::string_view(civil::kMonthNames[then->time.tm_mon], 3));
    if (then->time.tm_year != now->time.tm_year) {
      out.append(' ');
      out.appendNumber(std::int64_t{then->time.tm_year} + 1900);
    }
  }
  return true;
}

void appendCount(std::int64_t count, std::string_view unit, DateText& out) {
  out.appendNumber(count);
  out.append(' ');
  out.append(unit);
}

// "just now", "5 min ago", "3 h ago", "2 days ago"; ahead of now by more
// than a minute "in 5 min", "in 3 h", "in 2 days".
void appendRelative(std::int64_t seconds, const Clock& clock, DateText& out) {
  const std::int64_t before = std::int64_t{clock.now()} - seconds;
  const bool future = before < -60;
  const std::int64_t span = future ? -before : before;
  if (span < 60) {
    out.append("just now");
    return;
  }
  if (future) out.append("in ");
  if (span < 3600)
    appendCount(span / 60, "min", out);
  else if (span < kSecondsPerDay)
    appendCount(span / 3600, "h", out);
  else
    appendCount(span / kSecondsPerDay, span < 2 * kSecondsPerDay ? "day" : "days", out);
  if (!future) out.append(" ago");
}

}  // namespace

std::optional<std::int64_t> readFeedDate(std::string_view text) {
  Cursor in(text);
  in.skipBlanks();
  if (isDigit(in.peek()) && isDigit(in.peek(1)) && isDigit(in.peek(2)) && isDigit(in.peek(3)) &&
      in.peek(4) == '-')
    return readIso8601(in);
  return readRfc822(in);
}

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

std::string formatFeedDate(std::string_view written, const DateFormat& format, const Clock& clock) {
  if (format.kind == DateFormat::Kind::AsWritten) return std::string(written);
  const auto seconds = readFeedDate(written);
  if (!seconds) return std::string(written);
  DateText out;
  switch (format.kind) {
    case DateFormat::Kind::Local:
      if (!appendLocal(*seconds, clock, out)) return std::string(written);
      break;
    case DateFormat::Kind::Relative:
      appendRelative(*seconds, clock, out);
      break;
    case DateFormat::Kind::Pattern: {
      const auto local = localMoment(*seconds, clock);
      if (!local) return std::string(written);
      appendDatePattern(format.pattern, local->time, local->utcOffsetSeconds, out);
      break;
    }
    case DateFormat::Kind::AsWritten:
      break;
  }
  if (out.overflowed() || out.size() == 0) return std::string(written);
  return std::string(out.view());
}

}  // namespace korvo
