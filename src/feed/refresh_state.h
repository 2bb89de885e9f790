#pragma once
// The refresh time stamps and status flags at the head of every feed, and
// the rule that says when the feed is due for a download.
#include <cstdint>

#include "base/limits.h"

namespace korvo {

struct RefreshState {
  explicit RefreshState(std::uint32_t now = 0) : lastUpdate(now), lastError(now) {}

  std::uint32_t lastUpdate;  // last download and parse that both succeeded
  std::uint32_t lastError;   // last failed download or parse
  bool errorPending = false;
  bool hasData = false;
  bool notModified = false;
  bool firstRun = true;

  void stampUpdate(std::uint32_t now) { lastUpdate = now; }
  void stampError(std::uint32_t now) { lastError = now; }
  void setErrorPending(bool on) { errorPending = on; }
  void setHasData(bool on) { hasData = on; }
  void setNotModified(bool on) { notModified = on; }
  void setFirstRun(bool on) { firstRun = on; }

  // First run: due. Failure pending: due (and no longer pending) once the
  // retry delay has passed. With data: due once `interval` seconds have
  // passed since the last success. Neither data nor a failure pending (no
  // refresh leaves a feed so): due like a failure, once the retry delay
  // has passed since the last failure. Differences are unsigned 32-bit, so
  // a clock set back makes the feed due.
  bool isDue(int interval, std::uint32_t now) {
    if (firstRun) return true;
    if (errorPending) {
      if (static_cast<std::uint32_t>(now - lastError) < limits::kRetryDelaySeconds) return false;
      errorPending = false;
      return true;
    }
    if (hasData)
      return static_cast<std::int64_t>(static_cast<std::uint32_t>(now - lastUpdate)) >= interval;
    return static_cast<std::uint32_t>(now - lastError) >= limits::kRetryDelaySeconds;
  }
};

}  // namespace korvo
