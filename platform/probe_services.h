#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// A platform-neutral copy of what the window services give: numbers keep whether they were
// integral or floating point and their exact value, and maps keep keys of any kind, so that the
// probe's reading rules can be applied to exactly what the platform said.
struct WindowValue {
  enum class Kind { integer, floating, text, boolean, list, map, other };
  struct Entry;

  Kind kind = Kind::other;
  std::int64_t integer = 0;        ///< when `integer`
  double floating = 0;             ///< when `floating`
  std::string text;                ///< when `text`
  bool boolean = false;            ///< when `boolean`
  std::vector<WindowValue> items;  ///< when `list`
  std::vector<Entry> entries;      ///< when `map`, in the platform's order

  static WindowValue ofInteger(std::int64_t v);
  static WindowValue ofFloating(double v);
  static WindowValue ofText(std::string v);
  static WindowValue ofBoolean(bool v);
  static WindowValue ofList(std::vector<WindowValue> v);
  static WindowValue ofMap(std::vector<Entry> v);
};

/// One key and its value in a map.
struct WindowValue::Entry {
  WindowValue key;
  WindowValue value;
};

inline WindowValue WindowValue::ofInteger(std::int64_t v) {
  WindowValue value;
  value.kind = Kind::integer;
  value.integer = v;
  return value;
}

inline WindowValue WindowValue::ofFloating(double v) {
  WindowValue value;
  value.kind = Kind::floating;
  value.floating = v;
  return value;
}

inline WindowValue WindowValue::ofText(std::string v) {
  WindowValue value;
  value.kind = Kind::text;
  value.text = std::move(v);
  return value;
}

inline WindowValue WindowValue::ofBoolean(bool v) {
  WindowValue value;
  value.kind = Kind::boolean;
  value.boolean = v;
  return value;
}

inline WindowValue WindowValue::ofList(std::vector<WindowValue> v) {
  WindowValue value;
  value.kind = Kind::list;
  value.items = std::move(v);
  return value;
}

inline WindowValue WindowValue::ofMap(std::vector<Entry> v) {
  WindowValue value;
  value.kind = Kind::map;
  value.entries = std::move(v);
  return value;
}

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
  virtual std::optional<WindowValue> windowList(std::uint32_t options,
                                                std::uint32_t relativeToWindow) = 0;
};

/// The services of the backend this program was built with.
std::unique_ptr<ProbeServices> makeProbeServices();

}  // namespace platform
