#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// What the launcher needs from the operating system. A backend only fetches and converts facts;
// every decision about them is the launcher's.
class LauncherServices {
 public:
  virtual ~LauncherServices() = default;

  /// The pid that the operating system reports as this process's parent right now.
  virtual std::int32_t parentPid() = 0;

  /// Schedules `block` on the calling thread's run loop to run every `interval` seconds, on a grid
  /// counted from now. Ticks that fall due while the run loop is not running are not made up: the
  /// block runs once as soon as the loop runs, then keeps to the grid. The timer is never stopped.
  virtual void scheduleRepeating(double interval, std::function<void()> block) = 0;

  /// Runs the calling thread's run loop without a time limit. It does not return while a timer is
  /// scheduled on it.
  virtual void run() = 0;
};

/// The services of the backend this program was built with.
std::unique_ptr<LauncherServices> makeLauncherServices();

}  // namespace platform
