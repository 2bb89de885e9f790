#pragma once
// A test clock in a time zone a fixed number of seconds east of UTC (no
// daylight saving): it stands still until told, like ManualClock, whose
// UTC local time it shifts.
#include <cstdint>
#include <ctime>

#include "platform/clock.h"

namespace korvo::test {

class OffsetClock final : public Clock {
 public:
  OffsetClock(std::uint32_t now, long offsetSeconds) : utc_(now), offset_(offsetSeconds) {}
  std::uint32_t now() const override { return utc_.now(); }
  // seconds plus the offset must lie within the 32-bit range of the clock.
  std::tm localTime(std::uint32_t seconds) const override {
    return utc_.localTime(static_cast<std::uint32_t>(std::int64_t{seconds} + offset_));
  }
  void set(std::uint32_t seconds) { utc_.set(seconds); }

 private:
  ManualClock utc_;
  long offset_;
};

}  // namespace korvo::test
