#pragma once
// The host thread's waits for downloads, bounded in any sliding second:
// at every moment the waits of the last 1000 ms add up to at most the
// budget. Times are readings of a monotonic clock that the caller gives,
// so tests drive it by hand. One thread only.
#include <chrono>
#include <vector>

namespace korvo {

class WaitBudget {
 public:
  using Duration = std::chrono::steady_clock::duration;
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::chrono::milliseconds kWindow{1000};

  explicit WaitBudget(Duration budget) : budget_(budget) {}

  // How long a wait that starts at now may last (zero: none may start).
  Duration allowance(TimePoint now);
  // A wait from start to end (end not before start, after every earlier
  // wait's end).
  void record(TimePoint start, TimePoint end);
  // The most that the recorded waits add up to within any 1000 ms.
  Duration busiestWindow() const { return busiest_; }

 private:
  struct Wait {
    TimePoint start;
    TimePoint end;
  };
  // The recorded waits' time within [from, to].
  Duration waitedWithin(TimePoint from, TimePoint to) const;

  Duration budget_;
  std::vector<Wait> waits_;  // in order; none ended more than kWindow before the last reading
  Duration busiest_{0};
};

}  // namespace korvo
