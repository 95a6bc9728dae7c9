#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "probe/selection.h"
#include "tests/support/fake_probe_services.h"
#include "tests/support/window_fixtures.h"

namespace {

using namespace testing_support;
using probe::Bounds;
using probe::Result;
using probe::Snapshot;

constexpr std::int32_t kSettings = 500;
constexpr std::int32_t kParent = 4242;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Every result the walk offers when no offer is taken.
std::vector<Result> offers(const Snapshot& snapshot) {
  std::vector<Result> seen;
  probe::walk(snapshot, kParent, [&](const Result& r) {
    seen.push_back(r);
    return false;
  });
  return seen;
}

Snapshot withWindows(std::vector<Value> windows) {
  Snapshot snapshot;
  snapshot.pids = {kSettings};
  snapshot.windows = std::move(windows);
  return snapshot;
}

TEST(WindowSelection, ReadsOwnerLayerAndBoundsByTheRules) {
  const Value good = bounds(10, 20, 800, 600);
  const struct {
    const char* what;
    Value window;
    bool qualifies;
  } cases[] = {
      {"plain", window(kSettings, 10, 20, 800, 600), true},
      {"owner as 500.0", window(floating(kSettings), integer(0), good), true},
      {"owner as 500.5", window(floating(500.5), integer(0), good), false},
      {"owner as text", window(text("500"), integer(0), good), false},
      {"owner as boolean", window(Value::ofBoolean(true), integer(0), good), false},
      {"owner beyond 32 bits, 500 when wrapped",
       window(integer((1LL << 32) + kSettings), integer(0), good), false},
      {"owner below 32 bits, 500 when wrapped",
       window(integer(kSettings - (1LL << 32)), integer(0), good), false},
      {"owner INT32_MAX", window(integer(INT32_MAX), integer(0), good), true},
      {"owner INT32_MIN", window(integer(INT32_MIN), integer(0), good), true},
      {"owner INT32_MAX + 1, INT32_MIN when wrapped",
       window(integer(INT32_MAX + 1LL), integer(0), good), false},
      {"owner INT32_MIN - 1, INT32_MAX when wrapped",
       window(integer(INT32_MIN - 1LL), integer(0), good), false},
      {"owner of another application", window(integer(501), integer(0), good), false},
      {"no owner", map({{"kCGWindowLayer", integer(0)}, {"kCGWindowBounds", good}}), false},
      {"layer 0.0", window(integer(kSettings), floating(0.0), good), true},
      {"layer -0.0", window(integer(kSettings), floating(-0.0), good), true},
      {"layer 8", window(integer(kSettings), integer(8), good), false},
      {"layer 0.5", window(integer(kSettings), floating(0.5), good), false},
      {"layer 2^64 as a double", window(integer(kSettings), floating(18446744073709551616.0), good),
       false},
      {"layer NaN", window(integer(kSettings), floating(kNaN), good), false},
      {"layer as text", window(integer(kSettings), text("0"), good), false},
      {"no layer", map({{"kCGWindowOwnerPID", integer(kSettings)}, {"kCGWindowBounds", good}}),
       false},
      {"bounds with an extra number",
       window(integer(kSettings), integer(0),
              map({{"X", floating(1)},
                   {"Y", floating(2)},
                   {"Width", floating(300)},
                   {"Height", floating(200)},
                   {"Depth", integer(3)}})),
       true},
      {"bounds with an extra text",
       window(integer(kSettings), integer(0),
              map({{"X", floating(1)},
                   {"Y", floating(2)},
                   {"Width", floating(300)},
                   {"Height", floating(200)},
                   {"Name", text("x")}})),
       false},
      {"bounds with a key that is no text",
       window(integer(kSettings), integer(0),
              Value::ofMap({{text("X"), floating(1)},
                            {text("Y"), floating(2)},
                            {text("Width"), floating(300)},
                            {text("Height"), floating(200)},
                            {integer(1), floating(0)}})),
       false},
      {"bounds with integers",
       window(integer(kSettings), integer(0),
              map({{"X", integer(-5)},
                   {"Y", integer(9007199254740992)},
                   {"Width", integer(300)},
                   {"Height", integer(200)}})),
       true},
      {"bounds at the 64-bit ends a double holds",
       window(integer(kSettings), integer(0),
              map({{"X", integer(INT64_MIN)},
                   {"Y", integer(9223372036854774784)},
                   {"Width", integer(300)},
                   {"Height", integer(200)}})),
       true},
      {"bounds with INT64_MAX, which a double cannot hold",
       window(integer(kSettings), integer(0),
              map({{"X", integer(0)},
                   {"Y", integer(INT64_MAX)},
                   {"Width", integer(300)},
                   {"Height", integer(200)}})),
       false},
      {"bounds with an integer a double cannot hold",
       window(integer(kSettings), integer(0),
              map({{"X", integer(9007199254740993)},
                   {"Y", integer(0)},
                   {"Width", integer(300)},
                   {"Height", integer(200)}})),
       false},
      {"bounds without Height",
       window(integer(kSettings), integer(0),
              map({{"X", floating(1)}, {"Y", floating(2)}, {"Width", floating(300)}})),
       false},
      {"bounds with lower-case keys",
       window(integer(kSettings), integer(0),
              map({{"x", floating(1)},
                   {"y", floating(2)},
                   {"width", floating(300)},
                   {"height", floating(200)}})),
       false},
      {"bounds as a list", window(integer(kSettings), integer(0), Value::ofList({floating(1)})),
       false},
      {"no bounds",
       map({{"kCGWindowOwnerPID", integer(kSettings)}, {"kCGWindowLayer", integer(0)}}), false},
      {"exactly 300 x 200", window(kSettings, 0, 0, 300, 200), true},
      {"299.5 wide", window(kSettings, 0, 0, 299.5, 200), false},
      {"199.99 high", window(kSettings, 0, 0, 300, 199.99), false},
      {"NaN wide", window(kSettings, 0, 0, kNaN, 200), false},
      {"NaN high", window(kSettings, 0, 0, 300, kNaN), false},
      {"infinitely wide", window(kSettings, 0, 0, kInf, 200),
       true},  // qualifies; cannot be encoded
      {"negative and NaN X", window(kSettings, kNaN, -3000, 300, 200), true},
  };
  for (const auto& c : cases) {
    // Settings instances at both ends of the pid range too, for the owners that reach them.
    Snapshot snapshot = withWindows({c.window});
    snapshot.pids.insert({INT32_MIN, INT32_MAX});
    EXPECT_EQ(offers(snapshot).size(), c.qualifies ? 1u : 0u) << c.what;
  }
}

TEST(WindowSelection, ReportsTheFrameExactlyAsRead) {
  const auto seen = offers(withWindows({window(kSettings, -1440.25, 0.1, 715.5, 560)}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].bounds.x, -1440.25);
  EXPECT_EQ(seen[0].bounds.y, 0.1);
  EXPECT_EQ(seen[0].bounds.width, 715.5);
  EXPECT_EQ(seen[0].bounds.height, 560);
}

TEST(WindowSelection, OffersInListOrderAndStopsAtTheFirstOfferTaken) {
  Snapshot snapshot = withWindows({
      window(kSettings, 1, 0, 100, 100),  // too small
      window(9, 2, 0, 800, 600),          // another application
      window(kSettings, 3, 0, 800, 600),
      window(kSettings, 4, 0, 800, 600),
  });
  EXPECT_EQ(offers(snapshot).size(), 2u);

  std::vector<double> taken;
  probe::walk(snapshot, kParent, [&](const Result& r) {
    taken.push_back(r.bounds.x);
    return true;
  });
  EXPECT_EQ(taken, std::vector<double>{3});

  // An offer that is declined lets the walk go on with the next window.
  std::vector<double> declinedFirst;
  probe::walk(snapshot, kParent, [&](const Result& r) {
    declinedFirst.push_back(r.bounds.x);
    return declinedFirst.size() == 2;
  });
  EXPECT_EQ(declinedFirst, (std::vector<double>{3, 4}));
}

TEST(WindowSelection, WindowsOfAnyRunningSettingsInstanceQualify) {
  Snapshot snapshot = withWindows({window(600, 1, 0, 800, 600), window(700, 2, 0, 800, 600),
                                   window(kSettings, 3, 0, 800, 600)});
  snapshot.pids = {kSettings, 600};
  const auto seen = offers(snapshot);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].bounds.x, 1);
  EXPECT_EQ(seen[1].bounds.x, 3);

  snapshot.pids.clear();  // settings not running: nothing qualifies
  EXPECT_TRUE(offers(snapshot).empty());
}

TEST(WindowSelection, VisibleWhenTheOwnerOrTheParentIsInFront) {
  const struct {
    std::optional<std::int32_t> front;
    bool visible;
  } cases[] = {{kSettings, true}, {kParent, true}, {77, false}, {std::nullopt, false}};
  for (const auto& c : cases) {
    Snapshot snapshot = withWindows({window(kSettings, 0, 0, 800, 600)});
    snapshot.front = c.front;
    const auto seen = offers(snapshot);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].visible, c.visible) << c.front.value_or(-1);
  }
  // A frontmost application's own qualifying window is still not the settings window.
  Snapshot snapshot = withWindows({window(77, 0, 0, 800, 600)});
  snapshot.front = 77;
  EXPECT_TRUE(offers(snapshot).empty());
}

TEST(WindowSelection, GathersOnceInOrderAndReadsTheListAllOrNothing) {
  FakeProbeServices services;
  services.settingsPids = {kSettings, kSettings, 600};
  services.front = 77;
  services.windows =
      Value::ofList({window(kSettings, 0, 0, 800, 600), window(600, 0, 0, 800, 600)});
  const Snapshot snapshot = probe::gather(services);
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{"runningApplicationPids com.apple.systempreferences",
                                      "frontmostApplicationPid", "windowList 17 0"}));
  EXPECT_EQ(snapshot.pids, (std::set<std::int32_t>{kSettings, 600}));
  EXPECT_EQ(snapshot.front, 77);
  EXPECT_EQ(snapshot.windows.size(), 2u);

  const struct {
    const char* what;
    std::optional<Value> list;
  } unreadable[] = {
      {"no list", std::nullopt},
      {"not a list", map({{"kCGWindowOwnerPID", integer(kSettings)}})},
      {"an element that is no map",
       Value::ofList({window(kSettings, 0, 0, 800, 600), text("window")})},
      {"an element with a key that is no text",
       Value::ofList(
           {window(kSettings, 0, 0, 800, 600), Value::ofMap({{integer(1), integer(2)}})})},
  };
  for (const auto& c : unreadable) {
    services.windows = c.list;
    EXPECT_TRUE(probe::gather(services).windows.empty()) << c.what;
  }
}

}  // namespace
