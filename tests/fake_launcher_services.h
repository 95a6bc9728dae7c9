#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/launcher_services.h"

namespace testing_support {

// Launcher services whose parent and run loop are scripted: the parent pid is `parent` until the
// run loop runs; then each tick first takes the next pid of `parentDuringRun` and runs every
// scheduled block. When the script is used up, `run` returns.
class FakeLauncherServices : public platform::LauncherServices {
 public:
  std::int32_t parent = 4242;
  std::vector<std::int32_t> parentDuringRun;

  std::vector<double> intervals;  ///< what was scheduled, in order
  int ticks = 0;                  ///< ticks served so far
  bool running = false;

  std::int32_t parentPid() override { return parent; }

  void scheduleRepeating(double interval, std::function<void()> block) override {
    intervals.push_back(interval);
    blocks_.push_back(std::move(block));
  }

  void run() override {
    running = true;
    for (const std::int32_t next : parentDuringRun) {
      parent = next;
      ++ticks;
      for (const auto& block : blocks_) block();
    }
  }

 private:
  std::vector<std::function<void()>> blocks_;
};

}  // namespace testing_support
