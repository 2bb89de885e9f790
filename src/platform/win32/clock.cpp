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
  localtime_s(&out, &t);
  return out;
}

std::tm ManualClock::localTime(std::uint32_t seconds) const {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm out{};
  gmtime_s(&out, &t);
  return out;
}

const Clock& systemClock() {
  // Never destroyed: the static destructors of the DLL run before its
  // process-detach notification, which may still log through this clock.
  alignas(SystemClock) static unsigned char storage[sizeof(SystemClock)];
  static const SystemClock* const clock = new (storage) SystemClock;
  return *clock;
}

}  // namespace korvo
