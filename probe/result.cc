#include "probe/result.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace probe {

std::string_view keyText(Bounds::CodingKeys key) {
  switch (key) {
    case Bounds::CodingKeys::x: return "x";
    case Bounds::CodingKeys::y: return "y";
    case Bounds::CodingKeys::width: return "width";
    case Bounds::CodingKeys::height: return "height";
  }
  return {};
}

std::string_view keyText(Result::CodingKeys key) {
  switch (key) {
    case Result::CodingKeys::bounds: return "bounds";
    case Result::CodingKeys::visible: return "visible";
  }
  return {};
}

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
  out += keyText(Result::CodingKeys::bounds);
  out += "\":{";
  const struct {
    Bounds::CodingKeys key;
    double value;
  } members[] = {{Bounds::CodingKeys::x, b.x},
                 {Bounds::CodingKeys::y, b.y},
                 {Bounds::CodingKeys::width, b.width},
                 {Bounds::CodingKeys::height, b.height}};
  bool first = true;
  for (const auto& m : members) {
    if (!first) out += ',';
    first = false;
    out += '"';
    out += keyText(m.key);
    out += "\":";
    out += numberText(m.value);
  }
  out += "},\"";
  out += keyText(Result::CodingKeys::visible);
  out += "\":";
  out += result.visible ? "true" : "false";
  out += '}';
  return out;
}

}  // namespace probe
