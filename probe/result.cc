#include "probe/result.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace probe {

std::string numberText(double value) {
  // Floating-point to_chars is missing from the oldest C++ library we ship against, so take the
  // smallest %g precision that reads back exactly; 17 digits always do.
  char buffer[32];
  if (std::trunc(value) == value && std::fabs(value) < 1e17) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);  // an integral value, digit by digit
    return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

std::optional<std::string> encodeResult(const Result& result) {
  const Bounds& b = result.bounds;
  for (const double v : {b.x, b.y, b.width, b.height}) {
    if (!std::isfinite(v)) return std::nullopt;
  }
  std::string out = "{\"";
  out += Result::kBoundsKey;
  out += "\":{";
  const struct {
    std::string_view key;
    double value;
  } members[] = {{Bounds::kXKey, b.x},
                 {Bounds::kYKey, b.y},
                 {Bounds::kWidthKey, b.width},
                 {Bounds::kHeightKey, b.height}};
  bool first = true;
  for (const auto& m : members) {
    if (!first) out += ',';
    first = false;
    out += '"';
    out += m.key;
    out += "\":";
    out += numberText(m.value);
  }
  out += "},\"";
  out += Result::kVisibleKey;
  out += "\":";
  out += result.visible ? "true" : "false";
  out += '}';
  return out;
}

}  // namespace probe
