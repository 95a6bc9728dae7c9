#include "platform/posix/posix_run_loop.h"

#include <algorithm>
#include <thread>

namespace platform::posix {
namespace {

class SystemClock final : public Clock {
 public:
  TimePoint now() override { return std::chrono::steady_clock::now(); }

  void sleepUntil(TimePoint when) override { std::this_thread::sleep_until(when); }
};

}  // namespace

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

void RunLoop::scheduleRepeating(double interval, std::function<void()> tick) {
  const auto step = std::max<Clock::duration>(
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval)),
      Clock::duration{1});
  const Clock::TimePoint start = clock_.now();
  timers_.push_back(Timer{start, step, start + step, std::move(tick)});
}

void RunLoop::run() {
  while (!timers_.empty()) {
    const auto next =
        std::min_element(timers_.begin(), timers_.end(),
                         [](const Timer& a, const Timer& b) { return a.due < b.due; });
    const std::size_t index = static_cast<std::size_t>(next - timers_.begin());
    if (clock_.now() < next->due) {
      clock_.sleepUntil(next->due);
      continue;
    }
    // The tick may schedule further timers, so copy what we need before calling it.
    std::function<void()> tick = timers_[index].tick;
    tick();
    Timer& timer = timers_[index];
    const auto elapsed = clock_.now() - timer.start;
    timer.due = timer.start + (elapsed / timer.interval + 1) * timer.interval;
  }
}

}  // namespace platform::posix
