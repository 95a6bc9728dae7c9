// The stand-in for the window services on hosts other than macOS: there is no system settings
// application and no window server, so nothing runs, nothing is in front and no window is listed.
#include <unistd.h>

#include "platform/probe_services.h"

namespace platform {
namespace {

class PosixProbeServices final : public ProbeServices {
 public:
  std::int32_t parentPid() override { return static_cast<std::int32_t>(getppid()); }

  std::vector<std::int32_t> runningApplicationPids(std::string_view) override { return {}; }

  std::optional<std::int32_t> frontmostApplicationPid() override { return std::nullopt; }

  std::optional<WindowValue> windowList(std::uint32_t, std::uint32_t) override {
    return std::nullopt;
  }
};

}  // namespace

std::unique_ptr<ProbeServices> makeProbeServices() {
  return std::make_unique<PosixProbeServices>();
}

}  // namespace platform
