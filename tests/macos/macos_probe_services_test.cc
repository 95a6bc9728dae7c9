// The window services (platform/macos/macos_probe_services.mm): the probe with the settings
// window open, and the window list as CoreGraphics hands it over, keys and number types. Each test
// prints what it saw, so that the log answers the question; where there is no Mac they are skipped.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef __APPLE__
#include <CoreGraphics/CoreGraphics.h>
#endif

#include "probe/selection.h"
#include "tests/macos/macos_support.h"

namespace {

using macos_testing::describe;
using macos_testing::desktop;
using macos_testing::DesktopFacts;
using macos_testing::kPelsor;
using macos_testing::kSettings;
using macos_testing::Outcome;
using macos_testing::runBounded;
using macos_testing::seen;
using macos_testing::within;
using testing_support::me;
using namespace std::chrono_literals;

TEST(MacDesktop, ProbeReportsTheOpenSettingsWindow) {
  SKIP_WITHOUT_DESKTOP();
  const macos_testing::StartedApplications started(kSettings);
  ASSERT_EQ(runBounded("/usr/bin/open", {"-b", kSettings}).status, 0);

  Outcome probe;
  EXPECT_TRUE(within(20s, [&] {
    probe = runBounded(kPelsor, {me()});
    return probe.status != 0 || probe.out != "null\n";
  })) << "no settings window appeared";
  seen("first answer: " + describe(probe));
  // The activation that "open" asked for comes in its own time: until the settings application is
  // in front (or 10 s have passed), the answer could change under the test.
  const bool settled = within(10s, [] { return desktop(kSettings).inFront(); });
  // The answer is compared with the desktop just before and just after it was given.
  const DesktopFacts before = desktop(kSettings);
  probe = runBounded(kPelsor, {me()});
  const DesktopFacts after = desktop(kSettings);
  seen(std::string("settings in front within 10 s: ") + (settled ? "yes" : "no") +
       "; before the probe: " + before.text() + "; after it: " + after.text());
  seen("pelsor -> " + describe(probe));

  ASSERT_EQ(probe.status, 0);
  EXPECT_EQ(probe.err, "");
  const nlohmann::json result = nlohmann::json::parse(probe.out);
  const nlohmann::json& bounds = result.at("bounds");
  EXPECT_EQ(bounds.size(), 4u) << bounds;
  EXPECT_TRUE(bounds.at("x").is_number());
  EXPECT_TRUE(bounds.at("y").is_number());
  EXPECT_GE(bounds.at("width").get<double>(), 300.0);
  EXPECT_GE(bounds.at("height").get<double>(), 200.0);
  // This process is no application, so only the settings application in front makes it visible:
  // as it was when the probe started or as it was when it had answered.
  const nlohmann::json& visible = result.at("visible");
  EXPECT_TRUE(visible == before.inFront() || visible == after.inFront())
      << "visible " << visible << "; settings in front before: " << before.inFront()
      << ", after: " << after.inFront();
}

TEST(MacWindowKeys, AreTheTextsTheProbeReads) {
#ifdef __APPLE__
  const struct {
    CFStringRef key;
    std::string_view text;
  } cases[] = {{kCGWindowOwnerPID, probe::kOwnerPidKey},
               {kCGWindowLayer, probe::kLayerKey},
               {kCGWindowBounds, probe::kBoundsKey}};
  for (const auto& c : cases) {
    char buffer[64];
    ASSERT_TRUE(CFStringGetCString(c.key, buffer, sizeof buffer, kCFStringEncodingUTF8));
    EXPECT_EQ(std::string_view(buffer), c.text);
  }
#else
  GTEST_SKIP() << "needs macOS";
#endif
}

#ifdef __APPLE__
std::string numberTypeName(CFNumberRef number) {
  static const std::map<CFNumberType, const char*> kNames = {
      {kCFNumberSInt8Type, "SInt8"},
      {kCFNumberSInt16Type, "SInt16"},
      {kCFNumberSInt32Type, "SInt32"},
      {kCFNumberSInt64Type, "SInt64"},
      {kCFNumberFloat32Type, "Float32"},
      {kCFNumberFloat64Type, "Float64"},
      {kCFNumberCharType, "Char"},
      {kCFNumberShortType, "Short"},
      {kCFNumberIntType, "Int"},
      {kCFNumberLongType, "Long"},
      {kCFNumberLongLongType, "LongLong"},
      {kCFNumberFloatType, "Float"},
      {kCFNumberDoubleType, "Double"},
      {kCFNumberCFIndexType, "CFIndex"},
      {kCFNumberNSIntegerType, "NSInteger"},
      {kCFNumberCGFloatType, "CGFloat"},
  };
  const CFNumberType type = CFNumberGetType(number);
  const auto found = kNames.find(type);
  std::string name = found == kNames.end() ? "type " + std::to_string(type) : found->second;
  return name + (CFNumberIsFloatType(number) ? " (floating point)" : " (integer)");
}

std::string textOf(CFTypeRef ref) {
  char buffer[256];
  if (ref == nullptr || CFGetTypeID(ref) != CFStringGetTypeID() ||
      !CFStringGetCString(static_cast<CFStringRef>(ref), buffer, sizeof buffer,
                          kCFStringEncodingUTF8)) {
    return "?";
  }
  return buffer;
}
#endif

// The window list as the probe receives it: which CFNumber types carry each window's owner pid,
// layer and bounds. The owner pid and the layer are documented as integers (an int), the bounds
// as a rectangle's dictionary of four numbers (X, Y, Width, Height). What came is printed per key.
TEST(MacWindowList, NumberTypesAsTheProbeReceivesThem) {
  SKIP_WITHOUT_DESKTOP();
#ifdef __APPLE__
  const CFArrayRef list =
      CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
  ASSERT_NE(list, nullptr) << "the window list went away";
  std::map<std::string, std::map<std::string, int>> types;  // key, then type name, to a count
  const CFIndex count = CFArrayGetCount(list);
  for (CFIndex i = 0; i < count; ++i) {
    const CFTypeRef item = CFArrayGetValueAtIndex(list, i);
    if (item == nullptr || CFGetTypeID(item) != CFDictionaryGetTypeID()) {
      ADD_FAILURE() << "window " << i << " is no dictionary";
      continue;
    }
    const auto window = static_cast<CFDictionaryRef>(item);
    for (const auto& [key, name] : {std::pair{kCGWindowOwnerPID, "kCGWindowOwnerPID"},
                                    std::pair{kCGWindowLayer, "kCGWindowLayer"}}) {
      const CFTypeRef value = CFDictionaryGetValue(window, key);
      if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) {
        ADD_FAILURE() << name << " of window " << i << " is missing or no number";
        continue;
      }
      const auto number = static_cast<CFNumberRef>(value);
      types[name][numberTypeName(number)] += 1;
      EXPECT_FALSE(CFNumberIsFloatType(number)) << name << " of window " << i;
    }
    const CFTypeRef bounds = CFDictionaryGetValue(window, kCGWindowBounds);
    if (bounds == nullptr || CFGetTypeID(bounds) != CFDictionaryGetTypeID()) {
      ADD_FAILURE() << "kCGWindowBounds of window " << i << " is missing or no dictionary";
      continue;
    }
    const auto rectangle = static_cast<CFDictionaryRef>(bounds);
    const CFIndex fields = CFDictionaryGetCount(rectangle);
    EXPECT_EQ(fields, 4) << "kCGWindowBounds of window " << i;
    std::vector<const void*> keys(static_cast<std::size_t>(fields));
    std::vector<const void*> values(static_cast<std::size_t>(fields));
    CFDictionaryGetKeysAndValues(rectangle, keys.data(), values.data());
    for (std::size_t f = 0; f < keys.size(); ++f) {
      const std::string field = textOf(keys[f]);
      EXPECT_TRUE(field == "X" || field == "Y" || field == "Width" || field == "Height") << field;
      if (values[f] == nullptr || CFGetTypeID(values[f]) != CFNumberGetTypeID()) {
        ADD_FAILURE() << "kCGWindowBounds." << field << " of window " << i << " is no number";
        continue;
      }
      types["kCGWindowBounds." + field][numberTypeName(static_cast<CFNumberRef>(values[f]))] += 1;
    }
  }
  CFRelease(list);
  seen(std::to_string(count) + " windows on screen");
  EXPECT_GT(count, 0);
  for (const auto& [key, counts] : types) {
    std::string text = key + ":";
    for (const auto& [type, n] : counts) text += " " + type + " x" + std::to_string(n);
    seen(text);
  }
#endif
}

}  // namespace
