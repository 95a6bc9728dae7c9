#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace probe {

/// The frame of the chosen window, in screen coordinates.
struct Bounds {
  // The JSON key of each field: exactly the field's name.
  static constexpr std::string_view kXKey = "x";
  static constexpr std::string_view kYKey = "y";
  static constexpr std::string_view kWidthKey = "width";
  static constexpr std::string_view kHeightKey = "height";

  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

/// The probe's answer: the frame, and whether the settings application or the parent is in front.
struct Result {
  // The JSON key of each field: exactly the field's name.
  static constexpr std::string_view kBoundsKey = "bounds";
  static constexpr std::string_view kVisibleKey = "visible";

  Bounds bounds;
  bool visible = false;
};

/// The result as compact JSON with the fields in order. No value when one of the four numbers is
/// NaN or infinite, which JSON cannot express.
std::optional<std::string> encodeResult(const Result& result);

/// JSON number text that reads back as exactly `value`: an integral value below 1e17 in magnitude
/// as plain digits, any other in C's `%g` form with the fewest significant digits (at most 17)
/// that read back exactly (`0.5`, `1e-05`, `1e+17`). `value` must be finite.
std::string numberText(double value);

}  // namespace probe
