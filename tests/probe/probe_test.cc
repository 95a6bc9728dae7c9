#include <fcntl.h>
#include <unistd.h>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "probe/probe.h"
#include "tests/support/bundle_builders.h"
#include "tests/support/child.h"
#include "tests/support/fake_probe_services.h"
#include "tests/support/window_fixtures.h"

namespace {

using namespace testing_support;

// A fake that complains on standard error if anything but the parent is asked for, so that a run
// refused at the parent check can show it asked the system nothing else.
struct WatchedProbeServices : FakeProbeServices {
  std::vector<std::int32_t> runningApplicationPids(std::string_view id) override {
    (void)write(STDERR_FILENO, "asked", 5);
    return FakeProbeServices::runningApplicationPids(id);
  }
};

Outcome probeRun(std::vector<std::string> args, FakeProbeServices& services) {
  args.insert(args.begin(), "pelsor");
  return runEntryInChild(probe::runProbe, args, services);
}

TEST(Probe, RefusesSilentlyWithStatusOne) {
  const struct {
    std::vector<std::string> args;
    std::int32_t actual;
  } cases[] = {
      {{}, 4242},           {{"4242", "4242"}, 4242},
      {{"4243"}, 4242},     {{"1"}, 1},
      {{"0"}, 0},           {{"-4242"}, -4242},
      {{" 4242"}, 4242},    {{"4242.0"}, 4242},
      {{"4242\xFF"}, 4242}, {{""}, 4242},
  };
  for (const auto& c : cases) {
    WatchedProbeServices services;
    services.parent = c.actual;
    services.settingsPids = {500};
    services.windows = Value::ofList({window(500, 0, 0, 800, 600)});
    const Outcome outcome = probeRun(c.args, services);
    EXPECT_EQ(outcome.out, "") << testing::PrintToString(c.args);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
  }
}

TEST(Probe, AnswersTheFirstWindowThatCanBeWritten) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* what;
    std::vector<Value> windows;
    const char* out;
  } cases[] = {
      {"one window",
       {window(500, 120, 80, 715, 560)},
       "{\"bounds\":{\"x\":120,\"y\":80,\"width\":715,\"height\":560},\"visible\":true}\n"},
      {"infinite X passed over",
       {window(500, inf, 0, 800, 600), window(500, 1.5, -2, 300, 200)},
       "{\"bounds\":{\"x\":1.5,\"y\":-2,\"width\":300,\"height\":200},\"visible\":true}\n"},
      {"infinite width and nothing else", {window(500, 0, 0, inf, 600)}, "null\n"},
      {"no window", {}, "null\n"},
  };
  for (const auto& c : cases) {
    FakeProbeServices services;
    services.settingsPids = {500};
    services.front = 4242;  // the parent is in front
    services.windows = Value::ofList(c.windows);
    for (const char* pid : {"4242", "+004242"}) {
      const Outcome outcome = probeRun({pid}, services);
      EXPECT_EQ(outcome.out, c.out) << c.what;
      EXPECT_EQ(outcome.err, "");
      EXPECT_EQ(outcome.status, 0);
    }
  }
}

// Started with standard output closed, the probe must give that number to /dev/null before the
// system's services can open a file: here the first question after the parent check opens one, and
// the answer line must not end up in it.
TEST(Probe, ReservesTheStandardDescriptorsBeforeItAsksTheSystem) {
  const TempFolder folder;
  struct OpensAFileFirst : FakeProbeServices {
    std::string path;
    std::vector<std::int32_t> runningApplicationPids(std::string_view id) override {
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      if (fd < 0 || write(fd, "opened\n", 7) != 7) _exit(90);
      return FakeProbeServices::runningApplicationPids(id);
    }
  } services;
  services.path = folder / "file";
  services.settingsPids = {500};
  services.windows = Value::ofList({window(500, 0, 0, 800, 600)});
  const Outcome outcome = runInChild([&] {
    close(STDOUT_FILENO);
    const char* argv[] = {"pelsor", "4242"};
    probe::runProbe(2, argv, services);
  });
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(readFile(folder / "file"), "opened\n");
}

}  // namespace
