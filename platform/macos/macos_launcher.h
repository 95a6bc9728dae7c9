#pragma once

// The macOS services of the launcher, one file each; macos_launcher_services.mm hands them to the
// core as one object.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/launcher_services.h"

namespace platform::macos {

// macos_run_loop.mm
void scheduleRepeating(double interval, std::function<void()> block);
void runCurrentRunLoop();

// macos_workspace.mm
std::optional<std::string> applicationForIdentifier(const std::string& bundleId);
void openApplication(const std::string& path, const OpenConfiguration& configuration,
                     std::function<void(const OpenReport&)> completion);

// macos_bundles.mm
std::optional<std::string> homeFolder();
std::vector<std::string> folderEntries(const std::string& folder);
std::string pathExtension(const std::string& path);
std::unique_ptr<Bundle> openBundle(const std::string& path);

}  // namespace platform::macos
