#include "platform/clock.h"

#include <new>

namespace korvo {
namespace {

class SystemClock final : public Clock {
 public:
  std::uint32_t now() const override {
    return static_cast<std::uint32_t>(_time64(nullptr));
  }
};

}  // namespace

// The 64-bit calls: a 32-bit program's time_t is 32 bits and signed, so
// it would take readings from 2038 on (up to 2106) for dates before 1970.
std::tm Clock::localTime(std::uint32_t seconds) const {
  const __time64_t t = seconds;
  std::tm out{};
  _localtime64_s(&out, &t);
  return out;
}

std::tm ManualClock::localTime(std::uint32_t seconds) const {
  const __time64_t t = seconds;
  std::tm out{};
  _gmtime64_s(&out, &t);
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
