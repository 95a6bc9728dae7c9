#include "probe/selection.h"

#include <cmath>
#include <limits>

namespace probe {
namespace {

// 2^63 as a double: the first value past the signed 64-bit range.
constexpr double kTwoTo63 = 9223372036854775808.0;

std::optional<std::int64_t> integralValue(double v) {
  if (!(v >= -kTwoTo63 && v < kTwoTo63) || std::trunc(v) != v) return std::nullopt;
  return static_cast<std::int64_t>(v);
}

const Value* lookup(const Value& map, std::string_view key) {
  for (const Value::Entry& entry : map.entries) {
    if (entry.key.kind == Value::Kind::text && entry.key.text == key) return &entry.value;
  }
  return nullptr;
}

bool hasOnlyTextKeys(const Value& value) {
  if (value.kind != Value::Kind::map) return false;
  for (const auto& entry : value.entries) {
    if (entry.key.kind != Value::Kind::text) return false;
  }
  return true;
}

// The bounds entry reads all or nothing: every key text, every value a number a double holds.
std::optional<Bounds> readBounds(const Value& value) {
  if (!hasOnlyTextKeys(value)) return std::nullopt;
  for (const auto& entry : value.entries) {
    if (!readDouble(entry.value)) return std::nullopt;
  }
  const Value* x = lookup(value, "X");
  const Value* y = lookup(value, "Y");
  const Value* width = lookup(value, "Width");
  const Value* height = lookup(value, "Height");
  if (!x || !y || !width || !height) return std::nullopt;
  return Bounds{*readDouble(*x), *readDouble(*y), *readDouble(*width), *readDouble(*height)};
}

}  // namespace

std::optional<std::int64_t> readInt64(const Value& value) {
  if (value.kind == Value::Kind::integer) return value.integer;
  if (value.kind == Value::Kind::floating) return integralValue(value.floating);
  return std::nullopt;
}

std::optional<std::int32_t> readInt32(const Value& value) {
  const std::optional<std::int64_t> v = readInt64(value);
  if (!v || *v < std::numeric_limits<std::int32_t>::min() ||
      *v > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(*v);
}

std::optional<double> readDouble(const Value& value) {
  if (value.kind == Value::Kind::floating) return value.floating;
  if (value.kind == Value::Kind::integer) {
    const double d = static_cast<double>(value.integer);
    if (integralValue(d) == value.integer) return d;
  }
  return std::nullopt;
}

Snapshot gather(platform::ProbeServices& services) {
  Snapshot snapshot;
  for (const std::int32_t pid : services.runningApplicationPids(kSettingsBundleIdentifier)) {
    snapshot.pids.insert(pid);
  }
  snapshot.front = services.frontmostApplicationPid();
  std::optional<Value> list = services.windowList(kWindowListOptions, kNoRelativeWindow);
  if (!list || list->kind != Value::Kind::list) return snapshot;
  for (const Value& window : list->items) {
    if (!hasOnlyTextKeys(window)) return snapshot;  // one unreadable description empties it all
  }
  snapshot.windows = std::move(list->items);
  return snapshot;
}

void walk(const Snapshot& snapshot, std::int32_t parent,
          const std::function<bool(const Result&)>& offer) {
  for (const Value& window : snapshot.windows) {
    const Value* ownerEntry = lookup(window, kOwnerPidKey);
    if (!ownerEntry) continue;
    const std::optional<std::int32_t> owner = readInt32(*ownerEntry);
    if (!owner || !snapshot.pids.contains(*owner)) continue;

    const Value* layerEntry = lookup(window, kLayerKey);
    if (!layerEntry || readInt64(*layerEntry) != 0) continue;

    const Value* boundsEntry = lookup(window, kBoundsKey);
    if (!boundsEntry) continue;
    const std::optional<Bounds> bounds = readBounds(*boundsEntry);
    // NaN compares false, so a NaN width or height fails too.
    if (!bounds || !(bounds->width >= kMinimumWidth) || !(bounds->height >= kMinimumHeight)) {
      continue;
    }

    const bool visible = snapshot.front && (*snapshot.front == *owner || *snapshot.front == parent);
    if (offer(Result{*bounds, visible})) return;
  }
}

}  // namespace probe
