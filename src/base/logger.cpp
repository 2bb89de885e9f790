#include "base/logger.h"

#include <algorithm>
#include <cstdio>

namespace korvo {

std::string formatTimestamp(const std::tm& t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = (t.tm_wday >= 0 && t.tm_wday < 7) ? kDays[t.tm_wday] : "???";
  const char* month = (t.tm_mon >= 0 && t.tm_mon < 12) ? kMonths[t.tm_mon] : "???";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d", day, month, t.tm_mday % 100,
                t.tm_hour % 100, t.tm_min % 100, t.tm_sec % 100, (t.tm_year + 1900) % 10000);
  return buf;
}

std::string urlForLog(std::string_view url) {
  const std::size_t scheme = url.find("://");
  const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::size_t end = std::min(url.find_first_of("/?#", start), url.size());
  const std::size_t at = url.substr(start, end - start).rfind('@');
  if (at == std::string_view::npos) return std::string(url);
  std::string shown(url.substr(0, start));
  shown += url.substr(start + at + 1);
  return shown;
}

void Logger::openLog(const std::string& directory) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (file_.open(directory + "Korvolog.txt")) oldPath_ = directory + "Korvolog.old.txt";
}

void Logger::closeLog() {
  const std::lock_guard<std::mutex> lock(mutex_);
  file_.close();
}

void Logger::writeLine(std::string_view message) {
  if (!enabled_) return;
  std::string line = formatTimestamp(clock_.localTime(clock_.now()));
  line += " --> ";
  line += message;
  line += '\n';
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!file_.isOpen()) return;
  file_.append(line, maxBytes_, oldPath_);
}

}  // namespace korvo
