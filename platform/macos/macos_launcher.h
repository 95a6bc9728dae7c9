#pragma once

// The launcher's services on macOS. Each member is defined in the file of its topic: the timer and
// the wait in macos_run_loop.mm, the lookup by identifier and the open call in
// macos_workspace.mm, folders and bundles in macos_bundles.mm, the parent pid in
// macos_launcher_services.mm.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/launcher_services.h"

namespace platform::macos {

class MacLauncherServices final : public LauncherServices {
 public:
  std::int32_t parentPid() override;

  // macos_run_loop.mm
  void scheduleRepeating(double interval, std::function<void()> tick) override;
  void run() override;

  // macos_workspace.mm
  std::optional<std::string> applicationForIdentifier(const std::string& bundleId) override;
  void openApplication(const std::string& path, const OpenConfiguration& configuration,
                       std::function<void(const OpenReport&)> completion) override;

  // macos_bundles.mm
  std::optional<std::string> homeFolder() override;
  std::vector<std::string> folderEntries(const std::string& folder) override;
  std::string pathExtension(const std::string& path) override;
  std::unique_ptr<Bundle> openBundle(const std::string& path) override;
};

}  // namespace platform::macos
