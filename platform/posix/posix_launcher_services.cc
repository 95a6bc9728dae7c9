#include "platform/posix/posix_launcher_services.h"

#include <unistd.h>

#include <utility>

#include "common/application_folders.h"

namespace platform {

namespace posix {

std::int32_t PosixLauncherServices::parentPid() { return static_cast<std::int32_t>(getppid()); }

// The parent watch's timer and the wait: the stand-in's own run loop, on the system's clock.
void PosixLauncherServices::scheduleRepeating(double interval, std::function<void()> tick) {
  loop_.scheduleRepeating(interval, std::move(tick));
}

void PosixLauncherServices::run() { loop_.run(); }

std::optional<std::string> PosixLauncherServices::applicationForIdentifier(
    const std::string& bundleId) {
  return findApplication(
      bundleId, common::folderPaths(common::applicationFolders(), [this] { return homeFolder(); }));
}

}  // namespace posix

std::unique_ptr<LauncherServices> makeLauncherServices() {
  return std::make_unique<posix::PosixLauncherServices>();
}

}  // namespace platform
