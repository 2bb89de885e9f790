// Dates in a time zone with daylight saving, through the system's own
// local time (the C library's zone data under TZ): POSIX only.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "support/prerequisite.h"
#include "text/feed_date.h"

namespace korvo {
namespace {

// Now stands still; local time is the system's.
class SystemZoneClock final : public Clock {
 public:
  explicit SystemZoneClock(std::uint32_t now) : now_(now) {}
  std::uint32_t now() const override { return now_; }

 private:
  std::uint32_t now_;
};

class FeedDateZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat info;
    if (stat("/usr/share/zoneinfo/Europe/Berlin", &info) != 0) {
      KORVO_SKIP_FOR_PREREQUISITE() << "no zone data for Europe/Berlin (Debian's tzdata)";
    }
    if (const char* zone = std::getenv("TZ")) saved_ = zone;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_)
      setenv("TZ", saved_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(FeedDateZoneTest, TheOffsetChangesWithDaylightSaving) {
  // Sun, 29 Mar 2026 12:00 UTC: summer time began at 01:00 UTC that day.
  const SystemZoneClock spring(1774785600);
  // Sun, 25 Oct 2026 12:00 UTC: it ended at 01:00 UTC that day.
  const SystemZoneClock autumn(1792929600);
  struct Case {
    const Clock& clock;
    const char* written;
    const char* pattern;
    const char* local;
  } cases[] = {
      {spring, "2026-03-29T00:30:00Z", "29 Mar 01:30 +0100", "01:30"},
      {spring, "2026-03-29T01:30:00Z", "29 Mar 03:30 +0200", "03:30"},
      // Yesterday in UTC, today here.
      {spring, "Sat, 28 Mar 2026 23:30:00 GMT", "29 Mar 00:30 +0100", "00:30"},
      {spring, "2026-01-15T12:00:00Z", "15 Jan 13:00 +0100", "15 Jan"},
      // 02:30 comes twice.
      {autumn, "2026-10-25T00:30:00Z", "25 Oct 02:30 +0200", "02:30"},
      {autumn, "2026-10-25T01:30:00Z", "25 Oct 02:30 +0100", "02:30"},
      {autumn, "2026-10-24T21:59:00Z", "24 Oct 23:59 +0200", "Sat 23:59"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(formatFeedDate(c.written, DateFormat::fromSetting("%d %b %H:%M %z"), c.clock),
              c.pattern);
    EXPECT_EQ(formatFeedDate(c.written, DateFormat::fromSetting("local"), c.clock), c.local);
  }
}

}  // namespace
}  // namespace korvo
