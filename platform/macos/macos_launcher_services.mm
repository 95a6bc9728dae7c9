// The parent pid, and the launcher's services as the core is handed them.
#include <unistd.h>

#include "platform/launcher_services.h"
#include "platform/macos/macos_launcher.h"

namespace platform {

std::int32_t macos::MacLauncherServices::parentPid() {
  return static_cast<std::int32_t>(getppid());
}

std::unique_ptr<LauncherServices> makeLauncherServices() {
  return std::make_unique<macos::MacLauncherServices>();
}

}  // namespace platform
