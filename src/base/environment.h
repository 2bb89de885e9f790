#pragma once
// What a feed needs from the process: the log, the clock and the bounds of
// a download. The plug-in's context owns one for all feeds; tests make
// their own with a manual clock and small bounds.
#include <atomic>

#include "base/limits.h"
#include "base/logger.h"
#include "base/moved_feeds.h"
#include "platform/clock.h"

namespace korvo {

struct Environment {
  Logger* log = nullptr;               // null: log lines are dropped
  const Clock* clock = &systemClock();
  DownloadLimits limits;
  MovedFeeds* moved = nullptr;         // null: permanent redirects are not remembered
  // When set and true, a download in progress ends soon ("Download cancelled.").
  const std::atomic<bool>* cancel = nullptr;

  void writeLine(std::string_view message) const {
    if (log) log->writeLine(message);
  }
};

// An environment with no log, the system clock and the standard bounds.
const Environment& defaultEnvironment();

}  // namespace korvo
