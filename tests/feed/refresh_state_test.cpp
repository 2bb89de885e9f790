#include "feed/refresh_state.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace korvo {
namespace {

constexpr std::uint32_t kT = 1000000;

TEST(RefreshStateTest, StartsAsANewFeed) {
  const RefreshState state(kT);
  EXPECT_EQ(state.lastUpdate, kT);
  EXPECT_EQ(state.lastError, kT);
  EXPECT_FALSE(state.errorPending);
  EXPECT_FALSE(state.hasData);
  EXPECT_FALSE(state.notModified);
  EXPECT_TRUE(state.firstRun);
}

struct DueCase {
  const char* name;
  bool firstRun;
  bool errorPending;
  bool hasData;
  std::uint32_t lastUpdate;
  std::uint32_t lastError;
  int interval;
  std::uint32_t now;
  bool due;
  bool pendingAfter;
};

const DueCase kDueCases[] = {
    {"first run, at once", true, false, false, kT, kT, 180, kT, true, false},
    {"first run wins over a pending failure", true, true, true, kT, kT, 180, kT, true, true},
    {"failure, 9 s later", false, true, false, kT, kT, 180, kT + 9, false, true},
    {"failure, 10 s later", false, true, false, kT, kT, 180, kT + 10, true, false},
    {"failure with data ignores the interval", false, true, true, kT - 1000, kT, 180, kT + 9, false,
     true},
    {"failure retried before the interval", false, true, true, kT, kT, 180, kT + 10, true, false},
    {"data, interval not yet passed", false, false, true, kT, 0, 180, kT + 179, false, false},
    {"data, interval passed", false, false, true, kT, 0, 180, kT + 180, true, false},
    {"data, short interval", false, false, true, kT, 0, 1, kT + 1, true, false},
    {"data, clock set back", false, false, true, kT, 0, 180, kT - 1, true, false},
    {"failure, clock set back", false, true, false, kT, kT, 180, kT - 1, true, false},
    {"data across the 32-bit wrap", false, false, true, 0xFFFFFFF0u, 0, 180, 0x000000A4u, true,
     false},
    // Neither data nor a failure pending: retried as after a failure, never stuck.
    {"empty state, 9 s after", false, false, false, kT, kT, 180, kT + 9, false, false},
    {"empty state, 10 s after", false, false, false, kT, kT, 180, kT + 10, true, false},
    {"empty state, long after", false, false, false, kT, kT, 180, kT + 100000, true, false},
    {"empty state, interval 0", false, false, false, kT, kT, 0, kT, false, false},
};

TEST(RefreshStateTest, IsDueByTheFirstMatchingRule) {
  for (const auto& c : kDueCases) {
    SCOPED_TRACE(c.name);
    RefreshState state(0);
    state.setFirstRun(c.firstRun);
    state.setErrorPending(c.errorPending);
    state.setHasData(c.hasData);
    state.stampUpdate(c.lastUpdate);
    state.stampError(c.lastError);
    EXPECT_EQ(state.isDue(c.interval, c.now), c.due);
    EXPECT_EQ(state.errorPending, c.pendingAfter);
    EXPECT_EQ(state.hasData, c.hasData);
    EXPECT_EQ(state.firstRun, c.firstRun);
  }
}

TEST(RefreshStateTest, FailuresAreRetriedEveryTenSeconds) {
  RefreshState state(kT);
  state.setFirstRun(false);
  std::uint32_t now = kT;
  int downloads = 0;
  for (int second = 0; second < 60; ++second, ++now) {
    if (!state.isDue(180, now)) continue;
    ++downloads;  // and it fails again
    state.setErrorPending(true);
    state.stampError(now);
  }
  // Neither data nor a failure pending, a state no refresh leaves: it is
  // never stuck, but retried like a failure at 10, 20, ..., 50 seconds.
  EXPECT_EQ(downloads, 5);
  downloads = 0;

  state.setErrorPending(true);
  state.stampError(now);
  const std::uint32_t failedAt = now;
  for (int second = 0; second < 60; ++second, ++now) {
    if (!state.isDue(180, now)) continue;
    ++downloads;
    EXPECT_EQ((now - failedAt) % 10, 0u);
    state.setErrorPending(true);
    state.stampError(now);
  }
  EXPECT_EQ(downloads, 5);  // 10, 20, ..., 50 seconds after the failure
}

}  // namespace
}  // namespace korvo
