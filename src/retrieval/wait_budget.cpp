#include "retrieval/wait_budget.h"

#include <algorithm>

namespace korvo {

WaitBudget::Duration WaitBudget::waitedWithin(TimePoint from, TimePoint to) const {
  Duration sum{0};
  for (const Wait& w : waits_) {
    const TimePoint a = std::max(w.start, from);
    const TimePoint b = std::min(w.end, to);
    if (b > a) sum += b - a;
  }
  return sum;
}

// A wait of length d from now adds d to the window that ends with it and
// lets the waits before now + d - 1000 ms drop out of it:
// f(d) = d + waitedWithin(now + d - window, now) must stay within the
// budget. Waits never overlap, so f rises with slope 1 while the window's
// start lies outside every recorded wait and stays flat inside one: the
// largest d is found by walking the points where that start crosses the
// end of a recorded wait or its start.
WaitBudget::Duration WaitBudget::allowance(TimePoint now) {
  const TimePoint horizon = now - kWindow;
  waits_.erase(std::remove_if(waits_.begin(), waits_.end(),
                              [&](const Wait& w) { return w.end <= horizon; }),
               waits_.end());
  const auto f = [&](Duration d) { return d + waitedWithin(now + d - kWindow, now); };
  std::vector<Duration> breaks;
  for (const Wait& w : waits_)
    for (TimePoint edge : {w.start, w.end}) {
      const Duration d = edge - horizon;
      if (d > Duration::zero() && d < budget_) breaks.push_back(d);
    }
  std::sort(breaks.begin(), breaks.end());
  breaks.push_back(budget_);
  Duration at{0};
  Duration value = f(at);
  if (value >= budget_) return Duration::zero();
  for (Duration next : breaks) {
    const Duration nextValue = f(next);
    // Between two breaks f is linear: flat, or rising with slope 1.
    if (nextValue > budget_) return at + (budget_ - value);
    at = next;
    value = nextValue;
  }
  return budget_;
}

void WaitBudget::record(TimePoint start, TimePoint end) {
  if (end < start) end = start;
  waits_.push_back(Wait{start, end});
  // The busiest window begins where a wait begins or ends where one ends.
  for (const Wait& w : waits_)
    busiest_ = std::max({busiest_, waitedWithin(w.start, w.start + kWindow),
                         waitedWithin(w.end - kWindow, w.end)});
}

}  // namespace korvo
