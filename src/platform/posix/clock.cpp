#include "platform/clock.h"

#include <new>

namespace korvo {
namespace {

class SystemClock final : public Clock {
 public:
  std::uint32_t now() const override {
    return static_cast<std::uint32_t>(std::time(nullptr));
  }
};

}  // namespace

std::tm Clock::localTime(std::uint32_t seconds) const {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

std::tm ManualClock::localTime(std::uint32_t seconds) const {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm out{};
  gmtime_r(&t, &out);
  return out;
}

const Clock& systemClock() {
  // Never destroyed: at process exit the static destructors run before the
  // plug-in's detach, which may still log through this clock.
  alignas(SystemClock) static unsigned char storage[sizeof(SystemClock)];
  static const SystemClock* const clock = new (storage) SystemClock;
  return *clock;
}

}  // namespace korvo
