// The stand-in for the operating system's services on hosts other than macOS.
#include <unistd.h>

#include "common/application_folders.h"
#include "platform/launcher_services.h"
#include "platform/posix/posix_bundles.h"
#include "platform/posix/posix_open.h"
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

  std::optional<std::string> applicationForIdentifier(const std::string& bundleId) override {
    // There is no application database here: the applications it would know are those installed
    // where the system installs them.
    return posix::findApplication(
        bundleId, common::folderPaths(common::applicationFolders(), posix::homeFolder));
  }

  std::optional<std::string> homeFolder() override { return posix::homeFolder(); }

  std::vector<std::string> folderEntries(const std::string& folder) override {
    return posix::folderEntries(folder);
  }

  std::string pathExtension(const std::string& path) override {
    return posix::pathExtension(path);
  }

  std::unique_ptr<Bundle> openBundle(const std::string& path) override {
    return posix::openBundle(path);
  }

  void openApplication(const std::string& path, const OpenConfiguration&,
                       std::function<void(const OpenReport&)> completion) override {
    posix::openApplication(path, std::move(completion));
  }

 private:
  posix::RunLoop loop_{posix::systemClock()};
};

}  // namespace

std::unique_ptr<LauncherServices> makeLauncherServices() {
  return std::make_unique<PosixLauncherServices>();
}

}  // namespace platform
