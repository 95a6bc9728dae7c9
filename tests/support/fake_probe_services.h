#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/probe_services.h"

namespace testing_support {

// Probe services that answer from fields and record every question, in order.
class FakeProbeServices : public platform::ProbeServices {
 public:
  std::int32_t parent = 4242;
  std::vector<std::int32_t> settingsPids;
  std::optional<std::int32_t> front;
  std::optional<platform::WindowValue> windows;

  std::vector<std::string> calls;

  std::int32_t parentPid() override {
    calls.push_back("parentPid");
    return parent;
  }
  std::vector<std::int32_t> runningApplicationPids(std::string_view bundleIdentifier) override {
    calls.push_back("runningApplicationPids " + std::string(bundleIdentifier));
    return settingsPids;
  }
  std::optional<std::int32_t> frontmostApplicationPid() override {
    calls.push_back("frontmostApplicationPid");
    return front;
  }
  std::optional<platform::WindowValue> windowList(std::uint32_t options,
                                                  std::uint32_t relative) override {
    calls.push_back("windowList " + std::to_string(options) + " " + std::to_string(relative));
    return windows;
  }
};

}  // namespace testing_support
