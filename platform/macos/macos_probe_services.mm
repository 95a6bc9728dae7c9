// The window services of macOS: running applications and the frontmost one from AppKit, the
// on-screen window list from CoreGraphics, converted whole into the probe's value tree.
#import <AppKit/AppKit.h>
#import <CoreGraphics/CoreGraphics.h>

#include <unistd.h>

#include <cstdint>
#include <vector>

#include "platform/macos/macos_text.h"
#include "platform/probe_services.h"

namespace platform {
namespace {

using Value = WindowValue;

// Keeps what the reading rules need: whether a number is floating point and its exact value
// (a conversion that would lose anything gives a value no rule accepts), booleans apart from
// numbers, and dictionary keys of any kind.
Value convert(CFTypeRef ref) {
  if (ref == nullptr) return Value{};
  const CFTypeID type = CFGetTypeID(ref);
  if (type == CFBooleanGetTypeID()) {
    return Value::ofBoolean(CFBooleanGetValue(static_cast<CFBooleanRef>(ref)));
  }
  if (type == CFNumberGetTypeID()) {
    const auto number = static_cast<CFNumberRef>(ref);
    if (CFNumberIsFloatType(number)) {
      double value = 0;
      if (CFNumberGetValue(number, kCFNumberDoubleType, &value)) return Value::ofFloating(value);
    } else {
      std::int64_t value = 0;
      if (CFNumberGetValue(number, kCFNumberSInt64Type, &value)) return Value::ofInteger(value);
      // Beyond 64 bits no integer reading can succeed, but a double may still hold it exactly.
      double wide = 0;
      if (CFNumberGetValue(number, kCFNumberDoubleType, &wide)) return Value::ofFloating(wide);
    }
    return Value{};
  }
  if (type == CFStringGetTypeID()) {
    return Value::ofText(macos::utf8((__bridge NSString*)ref));
  }
  if (type == CFArrayGetTypeID()) {
    const auto array = static_cast<CFArrayRef>(ref);
    const CFIndex count = CFArrayGetCount(array);
    std::vector<Value> items;
    items.reserve(static_cast<std::size_t>(count));
    for (CFIndex i = 0; i < count; ++i) {
      @autoreleasepool {
        items.push_back(convert(CFArrayGetValueAtIndex(array, i)));
      }
    }
    return Value::ofList(std::move(items));
  }
  if (type == CFDictionaryGetTypeID()) {
    const auto dictionary = static_cast<CFDictionaryRef>(ref);
    const CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void*> keys(static_cast<std::size_t>(count));
    std::vector<const void*> values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    std::vector<Value::Entry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < keys.size(); ++i) {
      @autoreleasepool {
        entries.push_back({convert(keys[i]), convert(values[i])});
      }
    }
    return Value::ofMap(std::move(entries));
  }
  return Value{};
}

class MacProbeServices final : public ProbeServices {
 public:
  std::int32_t parentPid() override { return static_cast<std::int32_t>(getppid()); }

  std::vector<std::int32_t> runningApplicationPids(std::string_view bundleIdentifier) override {
    std::vector<std::int32_t> pids;
    @autoreleasepool {
      NSString* identifier = macos::nsString(bundleIdentifier);
      if (identifier == nil) return pids;
      for (id application in
           [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier]) {
        if (![application isKindOfClass:[NSRunningApplication class]]) continue;
        const pid_t pid = static_cast<NSRunningApplication*>(application).processIdentifier;
        pids.push_back(static_cast<std::int32_t>(pid));
      }
    }
    return pids;
  }

  std::optional<std::int32_t> frontmostApplicationPid() override {
    @autoreleasepool {
      const id front = [[NSWorkspace sharedWorkspace] frontmostApplication];
      if (![front isKindOfClass:[NSRunningApplication class]]) return std::nullopt;
      return static_cast<std::int32_t>(static_cast<NSRunningApplication*>(front).processIdentifier);
    }
  }

  std::optional<Value> windowList(std::uint32_t options, std::uint32_t relativeToWindow) override {
    // The probe reads the entries by the texts "kCGWindowOwnerPID", "kCGWindowLayer" and
    // "kCGWindowBounds", which are the values of CoreGraphics' key constants.
    @autoreleasepool {
      const CFArrayRef list = CGWindowListCopyWindowInfo(options, relativeToWindow);
      if (list == nullptr) return std::nullopt;  // for example outside a login session
      Value value = convert(list);
      CFRelease(list);
      return value;
    }
  }
};

}  // namespace

std::unique_ptr<ProbeServices> makeProbeServices() { return std::make_unique<MacProbeServices>(); }

}  // namespace platform
