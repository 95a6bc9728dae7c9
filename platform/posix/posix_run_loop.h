#pragma once

#include <chrono>
#include <functional>
#include <vector>

namespace platform::posix {

/// Monotonic time and sleeping, so that tests can drive the run loop with a clock of their own.
class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using duration = std::chrono::steady_clock::duration;
  virtual ~Clock() = default;
  /// The current monotonic time.
  virtual TimePoint now() = 0;
  /// Sleeps until `when` or a little later; may also return early (on a signal).
  virtual void sleepUntil(TimePoint when) = 0;
};

/// The system's monotonic clock.
Clock& systemClock();

/// A run loop that serves repeating timers the way the system's run loop does: each timer keeps
/// to the grid of its interval counted from when it was scheduled; ticks missed while the loop
/// was not running (or while a tick ran long) are not made up: the tick runs once, at once, and
/// the next tick is the next point of the grid. `run` returns only when no timer is scheduled.
class RunLoop {
 public:
  explicit RunLoop(Clock& clock) : clock_(clock) {}

  void scheduleRepeating(double interval, std::function<void()> tick);
  void run();

 private:
  struct Timer {
    Clock::TimePoint start;
    Clock::duration interval;
    Clock::TimePoint due;
    std::function<void()> tick;
  };

  Clock& clock_;
  std::vector<Timer> timers_;
};

}  // namespace platform::posix
