#include <chrono>
#include <ctime>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/posix_run_loop.h"

namespace {

using platform::posix::Clock;
using platform::posix::RunLoop;
using namespace std::chrono_literals;

// A clock that jumps to each deadline the loop sleeps for, and stops the loop after a number of
// sleeps by throwing (the loop itself never returns while a timer is scheduled).
class FakeClock final : public Clock {
 public:
  struct Stop {};
  explicit FakeClock(int sleeps) : sleepsLeft_(sleeps) {}
  TimePoint now() override { return time_; }
  void sleepUntil(TimePoint when) override {
    if (sleepsLeft_-- == 0) throw Stop{};
    time_ = when;
  }
  void advance(Clock::duration by) { time_ += by; }
  double seconds() const { return std::chrono::duration<double>(time_.time_since_epoch()).count(); }

 private:
  TimePoint time_{};
  int sleepsLeft_;
};

TEST(PosixRunLoop, KeepsToTheGridCountedFromScheduling) {
  const struct {
    double interval;
    std::vector<double> ticks;  // when the first three ticks run, in seconds
  } cases[] = {
      {0.1, {0.1, 0.2, 0.3}},
      // No interval is shorter than the clock's smallest step: a grid of zero would never move.
      {0, {1e-9, 2e-9, 3e-9}},
  };
  for (const auto& c : cases) {
    FakeClock clock(3);
    RunLoop loop(clock);
    std::vector<double> seen;
    loop.scheduleRepeating(c.interval, [&] { seen.push_back(clock.seconds()); });
    EXPECT_THROW(loop.run(), FakeClock::Stop);
    ASSERT_EQ(seen.size(), c.ticks.size()) << c.interval;
    for (std::size_t i = 0; i < seen.size(); ++i) {
      EXPECT_NEAR(seen[i], c.ticks[i], 1e-12) << c.interval << " tick " << i;
    }
  }
}

TEST(PosixRunLoop, MissedTicksRunOnceAtOnceThenTheGridResumes) {
  FakeClock clock(2);
  RunLoop loop(clock);
  std::vector<double> seen;
  loop.scheduleRepeating(0.1, [&] { seen.push_back(clock.seconds()); });
  clock.advance(350ms);  // the loop starts late: three ticks are due
  EXPECT_THROW(loop.run(), FakeClock::Stop);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_NEAR(seen[0], 0.35, 1e-9);  // once, at once, not three times
  EXPECT_NEAR(seen[1], 0.4, 1e-9);   // back on the grid
  EXPECT_NEAR(seen[2], 0.5, 1e-9);
}

TEST(PosixRunLoop, ABlockThatRunsLongSkipsTheTicksItMissed) {
  FakeClock clock(2);
  RunLoop loop(clock);
  std::vector<double> seen;
  loop.scheduleRepeating(0.1, [&] {
    seen.push_back(clock.seconds());
    if (seen.size() == 1) clock.advance(250ms);
  });
  EXPECT_THROW(loop.run(), FakeClock::Stop);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_NEAR(seen[0], 0.1, 1e-9);
  EXPECT_NEAR(seen[1], 0.4, 1e-9);
}

TEST(PosixRunLoop, ServesSeveralTimersInTheOrderTheyFallDue) {
  const struct {
    double second;           // the second timer's interval; the first's is 0.1 s
    std::vector<int> order;  // which timer ran, over the first five sleeps
  } cases[] = {
      {0.25, {1, 1, 2, 1, 1}},
      // Due at the same moment, timers run in the order they were scheduled.
      {0.2, {1, 1, 2, 1, 1, 2, 1}},
  };
  for (const auto& c : cases) {
    FakeClock clock(5);
    RunLoop loop(clock);
    std::vector<int> order;
    loop.scheduleRepeating(0.1, [&] { order.push_back(1); });
    loop.scheduleRepeating(c.second, [&] { order.push_back(2); });
    EXPECT_THROW(loop.run(), FakeClock::Stop);
    EXPECT_EQ(order, c.order) << c.second;
  }
}

TEST(PosixRunLoop, ReturnsOnlyWhenNoTimerIsScheduled) {
  FakeClock clock(0);
  RunLoop empty(clock);
  empty.run();  // nothing scheduled: returns at once

  RunLoop real(platform::posix::systemClock());
  int seen = 0;
  real.scheduleRepeating(0.001, [&] {
    if (++seen == 3) throw std::runtime_error("stop");
  });
  EXPECT_THROW(real.run(), std::runtime_error);
  EXPECT_EQ(seen, 3);
}

// The launcher waits in this loop for as long as the launch takes: between ticks it sleeps. A
// sleep that fell short of its deadline (one rounded to whole seconds, say) would spin instead.
TEST(PosixRunLoop, SleepsBetweenTicksWithTheSystemClock) {
  const auto cpu = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
  };
  RunLoop loop(platform::posix::systemClock());
  int ticks = 0;
  loop.scheduleRepeating(0.1, [&] {
    if (++ticks == 5) throw std::runtime_error("stop");
  });
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = cpu();
  EXPECT_THROW(loop.run(), std::runtime_error);
  const double cpuUsed = cpu() - cpuStart;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  EXPECT_GE(wall, 0.45);
  EXPECT_LT(cpuUsed, 0.1 * wall) << cpuUsed << " s of processor time in " << wall << " s";
}

}  // namespace
