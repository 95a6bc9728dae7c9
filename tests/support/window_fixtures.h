#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/probe_services.h"

namespace testing_support {

using Value = platform::WindowValue;

inline Value integer(std::int64_t v) { return Value::ofInteger(v); }
inline Value floating(double v) { return Value::ofFloating(v); }
inline Value text(std::string v) { return Value::ofText(std::move(v)); }

/// A map with text keys.
inline Value map(std::vector<std::pair<std::string, Value>> entries) {
  std::vector<Value::Entry> converted;
  for (auto& [key, value] : entries) converted.push_back({text(key), std::move(value)});
  return Value::ofMap(std::move(converted));
}

/// A bounds entry with floating values, as the window server gives them.
inline Value bounds(double x, double y, double width, double height) {
  return map({{"X", floating(x)},
              {"Y", floating(y)},
              {"Width", floating(width)},
              {"Height", floating(height)}});
}

/// A window description with the three entries the probe reads.
inline Value window(Value owner, Value layer, Value frame) {
  return map({{"kCGWindowOwnerPID", std::move(owner)},
              {"kCGWindowLayer", std::move(layer)},
              {"kCGWindowBounds", std::move(frame)},
              {"kCGWindowName", text("Settings")}});
}

/// A window of `owner` at layer 0 with the given frame.
inline Value window(std::int32_t owner, double x, double y, double width, double height) {
  return window(integer(owner), integer(0), bounds(x, y, width, height));
}

}  // namespace testing_support
