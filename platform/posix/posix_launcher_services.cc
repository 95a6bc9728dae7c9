// The stand-in for the operating system's services on hosts other than macOS.
#include <unistd.h>

#include "platform/launcher_services.h"
#include "platform/posix/posix_run_loop.h"

namespace platform {
namespace {

class PosixLauncherServices final : public LauncherServices {
 public:
  std::int32_t parentPid() override { return static_cast<std::int32_t>(getppid()); }

  void scheduleRepeating(double interval, std::function<void()> block) override {
    loop_.scheduleRepeating(interval, std::move(block));
  }

  void run() override { loop_.run(); }

 private:
  posix::RunLoop loop_{posix::systemClock()};
};

}  // namespace

std::unique_ptr<LauncherServices> makeLauncherServices() {
  return std::make_unique<PosixLauncherServices>();
}

}  // namespace platform
