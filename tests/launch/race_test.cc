// The completion handler and the parent watch deciding at the same moment, on two threads: every
// run must end with exactly one whole decision, its line and its status belonging together.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/launch_with_fakes.h"

namespace {

using namespace std::chrono;
using testing_support::FakeLauncherServices;
using testing_support::Outcome;

void spinFor(microseconds span) {
  const auto until = steady_clock::now() + span;
  while (steady_clock::now() < until) {
  }
}

// Once the run loop runs, the handler reports a launched application after `handlerDelay` while
// the parent dies after `deathDelay`, and the watch looks at the parent as fast as it can.
struct RacingServices : FakeLauncherServices {
  std::atomic<std::int32_t> currentParent{4242};
  microseconds handlerDelay{0};
  microseconds deathDelay{0};

  std::int32_t parentPid() override { return currentParent.load(); }

  void run() override {
    std::atomic<bool> go{false};
    std::thread handler([this, &go] {
      while (!go.load()) {
      }
      spinFor(handlerDelay);
      platform::OpenReport report;
      report.applicationPid = 777;
      completion_(report);
    });
    go.store(true);
    spinFor(deathDelay);
    currentParent.store(1);
    for (;;) {
      for (const auto& tick : scheduled_) tick();
    }
  }
};

TEST(LaunchRace, TheHandlerAndTheParentWatchNeverBothEndTheProcess) {
  const std::string success = "{\"bundleId\":\"org.example.app\",\"name\":\"App\",\"pid\":777}\n";
  int successes = 0, silences = 0;
  constexpr int kRuns = 400;
  for (int run = 0; run < kRuns; ++run) {
    RacingServices services;
    services.addApplication(
        "/Applications", "App.app",
        {"org.example.app", {{"CFBundleName", testing_support::textValue("App")}}});
    // From the handler well ahead to the parent's death well ahead, through a close race.
    const int skew = (run % 41) - 20;  // -20 .. 20
    services.handlerDelay = microseconds(skew < 0 ? 0 : skew * 25);
    services.deathDelay = microseconds(skew > 0 ? 0 : -skew * 100);
    const Outcome outcome =
        testing_support::launchWithFakes(services, {R"({"name":"App"})", "4242"});
    ASSERT_EQ(outcome.err, "") << "run " << run;
    if (outcome.out == success && outcome.status == 0) {
      ++successes;
    } else if (outcome.out.empty() && outcome.status == 1) {
      ++silences;
    } else {
      FAIL() << "run " << run << ": status " << outcome.status.value_or(-1) << ", signal "
             << outcome.signal.value_or(0) << ", output " << testing::PrintToString(outcome.out);
    }
  }
  // Both decisions must have won some of the runs, or the race was never run.
  EXPECT_GT(successes, 0);
  EXPECT_GT(silences, 0);
  RecordProperty("successes", successes);
  RecordProperty("silences", silences);
}

}  // namespace
