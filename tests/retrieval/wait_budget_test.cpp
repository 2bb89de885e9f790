// The budget of the host thread's waits, by a clock the test moves: at
// every moment the waits of the last second add up to at most the budget.
#include "retrieval/wait_budget.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvo {
namespace {

using std::chrono::milliseconds;
using TimePoint = WaitBudget::TimePoint;

TimePoint at(long long ms) { return TimePoint(milliseconds(ms)); }

// A query at `at` ms asks how long it may wait, then waits `waits` ms (or
// its whole allowance, -1).
struct Step {
  long long at;
  long long allowed;  // expected allowance, ms
  long long waits = -1;
};

TEST(WaitBudgetTest, EachQueryMayWaitOnlyWhatTheLastSecondLeft) {
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"a fresh budget", {{0, 250}}},
      // A fast feed opens the budget at 0; two silent ones follow at 0.74 s
      // and 1.005 s: within 0.74..1.74 s they may wait 250 ms together.
      {"two silent feeds across a second's edge", {{0, 250, 5}, {740, 245}, {1005, 5}}},
      {"spent: nothing until the first wait leaves the window", {{0, 250}, {300, 0}, {999, 0}}},
      {"each millisecond of an old wait that leaves the window frees one",
       {{0, 250}, {1100, 250}}},
      {"a wait ending now frees the budget a second later",
       {{0, 250}, {1000, 0}, {1001, 250}}},
      {"short waits add up", {{0, 250, 100}, {200, 150, 100}, {400, 50}, {500, 0}, {1100, 200}}},
      {"a wait that ran over its allowance counts whole", {{0, 250, 260}, {1000, 0}, {1011, 250}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WaitBudget budget(milliseconds(250));
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.at);
      const WaitBudget::Duration allowed = budget.allowance(at(step.at));
      EXPECT_EQ(std::chrono::duration_cast<milliseconds>(allowed).count(), step.allowed);
      const WaitBudget::Duration waited =
          step.waits < 0 ? allowed : WaitBudget::Duration(milliseconds(step.waits));
      if (waited > WaitBudget::Duration::zero())
        budget.record(at(step.at), at(step.at) + waited);
    }
  }
}

// Queries every 7 ms for ten seconds, each waiting all it may: no window
// of one second ever holds more than the budget, and every second gets it
// all.
TEST(WaitBudgetTest, BusyQueriesNeverWaitMoreThanTheBudgetInAnySecond) {
  WaitBudget budget(milliseconds(250));
  std::vector<long long> waitedPerSecond(10, 0);
  for (long long now = 0; now < 10000;) {
    const WaitBudget::Duration allowed = budget.allowance(at(now));
    const long long ms = std::chrono::duration_cast<milliseconds>(allowed).count();
    if (ms > 0) budget.record(at(now), at(now + ms));
    waitedPerSecond[static_cast<std::size_t>(now / 1000)] += ms;
    now += ms + 7;
  }
  EXPECT_LE(std::chrono::duration_cast<milliseconds>(budget.busiestWindow()).count(), 250);
  for (std::size_t second = 0; second < waitedPerSecond.size(); ++second)
    EXPECT_GE(waitedPerSecond[second], 200) << "second " << second;
}

}  // namespace
}  // namespace korvo
