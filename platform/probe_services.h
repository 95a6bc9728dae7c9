#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "probe/value.h"

namespace platform {

// What the window probe needs from the operating system. A backend only fetches and converts
// facts; every decision about them is the probe's. Making the services does no work: nothing is
// asked of the system before the first call.
class ProbeServices {
 public:
  virtual ~ProbeServices() = default;

  /// The pid that the operating system reports as this process's parent right now.
  virtual std::int32_t parentPid() = 0;

  /// The process ids of the running applications with this bundle identifier, in the platform's
  /// order, one per application; empty when none runs.
  virtual std::vector<std::int32_t> runningApplicationPids(std::string_view bundleIdentifier) = 0;

  /// The process id of the frontmost application, or none when there is no frontmost application.
  virtual std::optional<std::int32_t> frontmostApplicationPid() = 0;

  /// The window list query with these options, relative to this window, converted whole into a
  /// value tree; none when the query gives nothing.
  virtual std::optional<probe::Value> windowList(std::uint32_t options,
                                                 std::uint32_t relativeToWindow) = 0;
};

/// The services of the backend this program was built with.
std::unique_ptr<ProbeServices> makeProbeServices();

}  // namespace platform
