#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "platform/probe_services.h"
#include "probe/result.h"

namespace probe {

/// The window services' value tree, as the reading rules below name it.
using Value = platform::WindowValue;

/// The bundle identifier of the system settings application.
inline constexpr std::string_view kSettingsBundleIdentifier = "com.apple.systempreferences";
/// On-screen windows only (1), desktop elements left out (16); relative to no window (0).
inline constexpr std::uint32_t kWindowListOptions = 1 | 16;
inline constexpr std::uint32_t kNoRelativeWindow = 0;
/// The keys of a window description that the walk reads.
inline constexpr std::string_view kOwnerPidKey = "kCGWindowOwnerPID";
inline constexpr std::string_view kLayerKey = "kCGWindowLayer";
inline constexpr std::string_view kBoundsKey = "kCGWindowBounds";
/// The smallest frame that counts as the settings window.
inline constexpr double kMinimumWidth = 300.0;
inline constexpr double kMinimumHeight = 200.0;

/// What the probe learns from the system, once, before it walks the windows.
struct Snapshot {
  std::set<std::int32_t> pids;        ///< the running settings applications
  std::optional<std::int32_t> front;  ///< the frontmost application, if any
  std::vector<Value> windows;         ///< the window descriptions, all maps with text keys
};

/// Asks the services for the settings applications, the frontmost application and the window
/// list, in that order. A window list that is not a list of maps with text keys counts as empty.
Snapshot gather(platform::ProbeServices& services);

/// Offers each qualifying window, in list order, as a `Result`; stops at the first offer that
/// `offer` takes (returns true).
void walk(const Snapshot& snapshot, std::int32_t parent,
          const std::function<bool(const Result&)>& offer);

// The reading rules: a value reads as an integer type only when it is a number that the type
// holds exactly, and as a double only when it is a number that a double holds exactly.
std::optional<std::int32_t> readInt32(const Value& value);
std::optional<std::int64_t> readInt64(const Value& value);
std::optional<double> readDouble(const Value& value);

}  // namespace probe
