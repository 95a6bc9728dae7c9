// The probe's window walk over value trees built from the bytes. Whatever the tree, the walk
// offers exactly the windows that a plain reading of the rules lets through, in list order, and
// stops at the first one the answer step takes.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include "check.h"
#include "platform/probe_services.h"
#include "probe/result.h"
#include "probe/selection.h"

namespace {

using probe::Value;

// Texts that the walk looks for, so that the fuzzer reaches the deeper tests often.
const char* const kKeys[] = {"kCGWindowOwnerPID",
                             "kCGWindowLayer",
                             "kCGWindowBounds",
                             "X",
                             "Y",
                             "Width",
                             "Height",
                             "width",
                             ""};

class TreeBuilder {
 public:
  explicit TreeBuilder(FuzzedDataProvider& input) : input_(input) {}

  // Pids come from a small pool shared with the snapshot, so owners match now and then.
  std::int32_t pid() { return input_.PickValueInArray({2, 3, 100, -1, 0, INT32_MAX}); }

  double floating() {
    switch (input_.ConsumeIntegralInRange(0, 4)) {
      case 0: return std::numeric_limits<double>::quiet_NaN();
      case 1: return input_.ConsumeBool() ? HUGE_VAL : -HUGE_VAL;
      case 2: return static_cast<double>(input_.ConsumeIntegralInRange<std::int32_t>(-1000, 1000));
      case 3: return static_cast<double>(pid());
      default: return input_.ConsumeFloatingPoint<double>();
    }
  }

  Value value(int depth) {
    switch (input_.ConsumeIntegralInRange(0, depth > 6 ? 4 : 7)) {
      case 0: return Value::ofInteger(input_.ConsumeIntegral<std::int64_t>());
      case 1: return Value::ofInteger(input_.ConsumeIntegralInRange<std::int64_t>(-2, 1000));
      case 2: return Value::ofFloating(floating());
      case 3: return Value::ofText(input_.ConsumeRandomLengthString(16));
      case 4: return Value::ofBoolean(input_.ConsumeBool());
      case 5: {
        std::vector<Value> items;
        const int count = input_.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < count; ++i) items.push_back(value(depth + 1));
        return Value::ofList(std::move(items));
      }
      case 6: return map(depth + 1, false);
      default: return Value::ofInteger(pid());
    }
  }

  Value key() {
    if (input_.ConsumeIntegralInRange(0, 15) == 0) return value(7);  // now and then not text
    if (input_.ConsumeBool()) return Value::ofText(input_.PickValueInArray(kKeys));
    return Value::ofText(input_.ConsumeRandomLengthString(8));
  }

  // A number near the thresholds and limits the reading rules care about.
  Value edgeNumber() {
    static const double kEdges[] = {300.0, 299.5, 299.99999999999994, 200.0, 199.5, 0.0, -0.0,
                                    1e6,   -1e6,  9007199254740993.0, 1e308};
    switch (input_.ConsumeIntegralInRange(0, 3)) {
      case 0: return Value::ofFloating(input_.PickValueInArray(kEdges));
      case 1:
        return Value::ofInteger(input_.PickValueInArray<std::int64_t>(
            {300, 299, 200, 199, 0, 9007199254740993, INT64_MAX}));
      default: return value(7);
    }
  }

  // A window description that comes close to qualifying: each entry the walk reads is there
  // most of the time, holding a value near what passes, and anything may follow.
  Value window() {
    std::vector<Value::Entry> entries;
    if (input_.ConsumeIntegralInRange(0, 7) != 0) {
      entries.push_back({Value::ofText("kCGWindowOwnerPID"),
                         input_.ConsumeBool() ? Value::ofInteger(pid()) : value(7)});
    }
    if (input_.ConsumeIntegralInRange(0, 7) != 0) {
      entries.push_back({Value::ofText("kCGWindowLayer"),
                         input_.ConsumeBool() ? Value::ofInteger(0) : edgeNumber()});
    }
    if (input_.ConsumeIntegralInRange(0, 7) != 0) {
      std::vector<Value::Entry> bounds;
      for (const char* key : {"X", "Y", "Width", "Height"}) {
        if (input_.ConsumeIntegralInRange(0, 15) != 0) {
          bounds.push_back({Value::ofText(key), edgeNumber()});
        }
      }
      if (input_.ConsumeIntegralInRange(0, 3) == 0) bounds.push_back({key(), value(7)});
      entries.push_back({Value::ofText("kCGWindowBounds"), Value::ofMap(std::move(bounds))});
    }
    Value extra = map(1, true);
    for (auto& entry : extra.entries) {
      const bool clash = entry.key.kind == Value::Kind::text &&
                         std::any_of(entries.begin(), entries.end(), [&](const Value::Entry& e) {
                           return e.key.text == entry.key.text;
                         });
      if (!clash) entries.push_back(std::move(entry));
    }
    return Value::ofMap(std::move(entries));
  }

  // A map with keys that differ from each other, as a platform dictionary's do.
  Value map(int depth, bool window) {
    std::vector<Value::Entry> entries;
    std::set<std::string> texts;
    const int count = input_.ConsumeIntegralInRange(0, window ? 6 : 5);
    for (int i = 0; i < count && input_.remaining_bytes() > 0; ++i) {
      Value k = key();
      if (k.kind == Value::Kind::text && !texts.insert(k.text).second) continue;
      entries.push_back({std::move(k), value(depth)});
    }
    return Value::ofMap(std::move(entries));
  }

 private:
  FuzzedDataProvider& input_;
};

class Services final : public platform::ProbeServices {
 public:
  std::vector<std::int32_t> pids;
  std::optional<std::int32_t> front;
  std::optional<Value> windows;

  std::int32_t parentPid() override { return 0; }
  std::vector<std::int32_t> runningApplicationPids(std::string_view) override { return pids; }
  std::optional<std::int32_t> frontmostApplicationPid() override { return front; }
  std::optional<Value> windowList(std::uint32_t, std::uint32_t) override { return windows; }
};

// --- the rules, read plainly ---

const Value* find(const Value& map, const std::string& key) {
  for (const Value::Entry& entry : map.entries) {
    if (entry.key.kind == Value::Kind::text && entry.key.text == key) return &entry.value;
  }
  return nullptr;
}

std::optional<double> asDouble(const Value& v) {
  if (v.kind == Value::Kind::floating) return v.floating;
  // A long double holds every 64-bit integer exactly here, so it tells whether a double does.
  if (v.kind == Value::Kind::integer && static_cast<long double>(static_cast<double>(v.integer)) ==
                                            static_cast<long double>(v.integer)) {
    return static_cast<double>(v.integer);
  }
  return std::nullopt;
}

std::optional<std::int32_t> asInt32(const Value& v) {
  long double n = 0;
  if (v.kind == Value::Kind::integer) {
    n = static_cast<long double>(v.integer);
  } else if (v.kind == Value::Kind::floating && std::isfinite(v.floating) &&
             std::floor(v.floating) == v.floating) {
    n = v.floating;
  } else {
    return std::nullopt;
  }
  if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(n);
}

bool isZeroLayer(const Value& v) {
  return (v.kind == Value::Kind::integer && v.integer == 0) ||
         (v.kind == Value::Kind::floating && v.floating == 0.0);
}

bool textKeyedMap(const Value& v) {
  if (v.kind != Value::Kind::map) return false;
  for (const auto& entry : v.entries) {
    if (entry.key.kind != Value::Kind::text) return false;
  }
  return true;
}

std::optional<probe::Result> qualifies(const Value& window, const std::set<std::int32_t>& pids,
                                       std::optional<std::int32_t> front, std::int32_t parent) {
  const Value* ownerValue = find(window, "kCGWindowOwnerPID");
  const std::optional<std::int32_t> owner = ownerValue ? asInt32(*ownerValue) : std::nullopt;
  if (!owner || !pids.contains(*owner)) return std::nullopt;
  const Value* layer = find(window, "kCGWindowLayer");
  if (!layer || !isZeroLayer(*layer)) return std::nullopt;
  const Value* bounds = find(window, "kCGWindowBounds");
  if (!bounds || !textKeyedMap(*bounds)) return std::nullopt;
  for (const auto& entry : bounds->entries) {
    if (!asDouble(entry.value)) return std::nullopt;
  }
  const Value* x = find(*bounds, "X");
  const Value* y = find(*bounds, "Y");
  const Value* width = find(*bounds, "Width");
  const Value* height = find(*bounds, "Height");
  if (!x || !y || !width || !height) return std::nullopt;
  probe::Result result{{*asDouble(*x), *asDouble(*y), *asDouble(*width), *asDouble(*height)},
                       front.has_value() && (*front == *owner || *front == parent)};
  if (!(result.bounds.width >= 300.0) || !(result.bounds.height >= 200.0)) return std::nullopt;
  return result;
}

// Exactly the same double: a NaN is reported as read, so it matches a NaN.
bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

bool same(const probe::Result& a, const probe::Result& b) {
  return same(a.bounds.x, b.bounds.x) && same(a.bounds.y, b.bounds.y) &&
         same(a.bounds.width, b.bounds.width) && same(a.bounds.height, b.bounds.height) &&
         a.visible == b.visible;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  TreeBuilder build(input);
  Services services;
  for (int i = input.ConsumeIntegralInRange(0, 3); i > 0; --i) services.pids.push_back(build.pid());
  if (input.ConsumeBool()) services.front = build.pid();
  const std::int32_t parent = build.pid();
  switch (input.ConsumeIntegralInRange(0, 7)) {
    case 0: break;                                     // the query gives nothing
    case 1: services.windows = build.value(0); break;  // anything at all
    default: {                                         // a list of window descriptions
      std::vector<Value> windows;
      while (input.remaining_bytes() > 0 && windows.size() < 16) {
        switch (input.ConsumeIntegralInRange(0, 15)) {
          case 0: windows.push_back(build.value(1)); break;
          case 1:
          case 2:
          case 3: windows.push_back(build.map(1, true)); break;
          default: windows.push_back(build.window());
        }
      }
      services.windows = Value::ofList(std::move(windows));
    }
  }

  // The plain reading: a list whose every element is a text-keyed map, else nothing to walk.
  std::vector<probe::Result> expected;
  const std::set<std::int32_t> pids(services.pids.begin(), services.pids.end());
  if (services.windows && services.windows->kind == Value::Kind::list) {
    bool readable = true;
    for (const Value& w : services.windows->items) readable = readable && textKeyedMap(w);
    if (readable) {
      for (const Value& w : services.windows->items) {
        if (auto result = qualifies(w, pids, services.front, parent)) expected.push_back(*result);
      }
    }
  }

  const probe::Snapshot snapshot = probe::gather(services);
  std::vector<probe::Result> offered;
  std::optional<std::string> written;
  probe::walk(snapshot, parent, [&](const probe::Result& result) {
    offered.push_back(result);
    written = probe::encodeResult(result);
    return written.has_value();
  });

  FUZZ_CHECK(offered.size() <= expected.size());
  for (std::size_t i = 0; i < offered.size(); ++i) FUZZ_CHECK(same(offered[i], expected[i]));
  if (written) {
    // The written answer is the last offer, and its numbers read back exactly.
    const probe::Result& chosen = offered.back();
    nlohmann::json json = nlohmann::json::parse(*written, nullptr, false);
    FUZZ_CHECK(json.is_object() && json.size() == 2);
    FUZZ_CHECK(json.contains("bounds") && json.contains("visible"));
    nlohmann::json& b = json["bounds"];
    FUZZ_CHECK(b.is_object() && b.size() == 4);
    for (const char* key : {"x", "y", "width", "height"}) FUZZ_CHECK(b.contains(key));
    FUZZ_CHECK(b["x"].get<double>() == chosen.bounds.x && b["y"].get<double>() == chosen.bounds.y);
    FUZZ_CHECK(b["width"].get<double>() == chosen.bounds.width);
    FUZZ_CHECK(b["height"].get<double>() == chosen.bounds.height);
    FUZZ_CHECK(json["visible"] == chosen.visible);
    FUZZ_CHECK(chosen.bounds.width >= 300.0 && chosen.bounds.height >= 200.0);
  } else {
    // Every offer was declined, and only an offer JSON cannot hold is declined.
    FUZZ_CHECK(offered.size() == expected.size());
    for (const auto& r : offered) {
      FUZZ_CHECK(!std::isfinite(r.bounds.x) || !std::isfinite(r.bounds.y) ||
                 !std::isfinite(r.bounds.width) || !std::isfinite(r.bounds.height));
    }
  }
  return 0;
}
