#pragma once
// Clock service: whole seconds since 1970 in 32 bits, and local time for the
// log. Code that needs the time takes a Clock so tests can move it by hand.
#include <atomic>
#include <cstdint>
#include <ctime>

namespace korvo {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t now() const = 0;
  // Broken-down local time of a reading of this clock.
  virtual std::tm localTime(std::uint32_t seconds) const;
};

// The operating system's clock. Stateless; lives for the whole process.
const Clock& systemClock();

// A clock that stands still until told (and may be read from any thread); local time is UTC so that tests
// give the same text in every time zone.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::uint32_t start = 1000000000u) : now_(start) {}
  std::uint32_t now() const override { return now_; }
  std::tm localTime(std::uint32_t seconds) const override;
  void set(std::uint32_t seconds) { now_ = seconds; }
  void advance(std::uint32_t seconds) { now_ += seconds; }
  ManualClock(const ManualClock& other) : Clock(), now_(other.now()) {}

 private:
  std::atomic<std::uint32_t> now_;
};

}  // namespace korvo
