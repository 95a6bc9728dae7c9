// The shared workspace (platform/macos/macos_workspace.mm) through the shipped launcher: the
// lookup by identifier, and the open call with real system applications on the desktop, in the
// background. Each test prints what it saw, so that the log answers the question; where there is
// no Mac they are skipped.
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/macos/macos_support.h"
#include "tests/support/requests.h"

namespace {

using macos_testing::describe;
using macos_testing::desktop;
using macos_testing::DesktopFacts;
using macos_testing::kCalculator;
using macos_testing::kTovrin;
using macos_testing::Outcome;
using macos_testing::runBounded;
using macos_testing::seen;
using macos_testing::StartedApplications;
using macos_testing::within;
using testing_support::idRequest;
using testing_support::me;
using testing_support::nameRequest;
using namespace std::chrono_literals;

TEST(MacDesktop, LaunchesASystemApplicationInTheBackgroundByNameAndByIdentifier) {
  SKIP_WITHOUT_DESKTOP();
  const std::string name = macos_testing::displayNameOf(kCalculator);
  ASSERT_FALSE(name.empty()) << "no display name for " << kCalculator;
  const std::string requests[] = {nameRequest(name), idRequest(kCalculator)};
  for (const std::string& request : requests) {
    SCOPED_TRACE(request);
    const StartedApplications started(kCalculator);  // stopped before the next request
    const Outcome outcome = runBounded(kTovrin, {request, me()});
    seen(request + " -> " + describe(outcome));
    ASSERT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_EQ(outcome.err, "");
    const nlohmann::json reply = nlohmann::json::parse(outcome.out);
    EXPECT_EQ(reply.at("bundleId"), kCalculator);
    EXPECT_EQ(reply.at("name"), name);
    const std::int32_t pid = reply.at("pid").get<std::int32_t>();

    EXPECT_TRUE(within(10s, [pid] { return desktop(kCalculator).runs(pid); }));
    // An application that was going to come to the front would have done so by now.
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(desktop(kCalculator).front, started.before().front);
  }
}

// The system's lookup by identifier ignores letter case, and the launcher then tells the
// difference itself: nothing is launched.
TEST(MacWorkspace, LookupByIdentifierIgnoresLetterCase) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  const Outcome outcome = runBounded(kTovrin, {R"({"bundleId":"COM.APPLE.CALCULATOR"})", me()});
  seen("{\"bundleId\":\"COM.APPLE.CALCULATOR\"} -> " + describe(outcome));
  EXPECT_EQ(outcome.out, "{\"error\":\"APPLICATION_ID_MISMATCH\"}\n");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "");
}

// An application that already runs, asked for by identifier: the system's open call hands back
// the running instance, whose pid is the answer, and the application stays behind the frontmost
// one (no second instance, no activation).
TEST(MacDesktop, AnApplicationAlreadyRunningIsReusedAndStaysBehind) {
  SKIP_WITHOUT_DESKTOP();
  const StartedApplications started(kCalculator);
  // Started in the background, as a user might have it open already.
  ASSERT_EQ(runBounded("/usr/bin/open", {"-g", "-b", kCalculator}).status, 0);
  DesktopFacts running;
  ASSERT_TRUE(within(15s, [&] {
    running = desktop(kCalculator);
    return !running.running.empty();
  })) << "Calculator did not start";
  std::this_thread::sleep_for(2s);  // until it has settled where it is going to be
  running = desktop(kCalculator);
  seen("before the launch: " + running.text());
  ASSERT_EQ(running.running.size(), 1u);

  const std::string request = idRequest(kCalculator);
  const Outcome outcome = runBounded(kTovrin, {request, me()});
  seen(request + " -> " + describe(outcome));
  std::this_thread::sleep_for(2s);
  const DesktopFacts after = desktop(kCalculator);
  seen("after the launch: " + after.text());

  ASSERT_EQ(outcome.status, 0) << outcome.out;
  EXPECT_EQ(outcome.err, "");
  const nlohmann::json reply = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(reply.at("pid").get<std::int32_t>(), running.running.front());
  EXPECT_EQ(after.running, running.running);
  EXPECT_EQ(after.front, running.front);
}

// The success path with standard output closed: the application is launched, nobody hears the
// line, and the status is still 0.
TEST(MacDesktop, LaunchKeepsItsStatusWithStandardOutputClosed) {
  SKIP_WITHOUT_DESKTOP();
  const StartedApplications started(kCalculator);
  const std::string request = idRequest(kCalculator);
  const Outcome closed = testing_support::runBinary(
      kTovrin, {request, me()},
      {.limit = macos_testing::kLimitSeconds, .output = testing_support::StandardOutput::closed});
  seen(request + ", output closed -> " + describe(closed));
  EXPECT_TRUE(within(10s, [] { return !desktop(kCalculator).running.empty(); }))
      << "Calculator does not run";
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.signal, std::nullopt);
  EXPECT_EQ(closed.err, "");
}

}  // namespace
