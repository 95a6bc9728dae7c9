// The launcher's services on macOS, gathered into the one object the core is handed.
#include <unistd.h>

#include "platform/launcher_services.h"
#include "platform/macos/macos_launcher.h"

namespace platform {
namespace {

class MacLauncherServices final : public LauncherServices {
 public:
  std::int32_t parentPid() override { return static_cast<std::int32_t>(getppid()); }

  void scheduleRepeating(double interval, std::function<void()> block) override {
    macos::scheduleRepeating(interval, std::move(block));
  }

  void run() override { macos::runCurrentRunLoop(); }

  std::optional<std::string> applicationForIdentifier(const std::string& bundleId) override {
    return macos::applicationForIdentifier(bundleId);
  }

  std::optional<std::string> homeFolder() override { return macos::homeFolder(); }

  std::vector<std::string> folderEntries(const std::string& folder) override {
    return macos::folderEntries(folder);
  }

  std::string pathExtension(const std::string& path) override {
    return macos::pathExtension(path);
  }

  std::unique_ptr<Bundle> openBundle(const std::string& path) override {
    return macos::openBundle(path);
  }

  void openApplication(const std::string& path, const OpenConfiguration& configuration,
                       std::function<void(const OpenReport&)> completion) override {
    macos::openApplication(path, configuration, std::move(completion));
  }
};

}  // namespace

std::unique_ptr<LauncherServices> makeLauncherServices() {
  return std::make_unique<MacLauncherServices>();
}

}  // namespace platform
