// The shipped programs on a Mac, with real system applications: launches in the background and
// the probe with the settings window open. Where there is no Mac every test is skipped.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef __APPLE__
#include <CoreGraphics/CoreGraphics.h>
#endif

#include "child.h"
#include "probe/selection.h"

namespace {

using testing_support::Outcome;
using testing_support::runProgram;
using namespace std::chrono_literals;

const std::string kTovrin = TOVRIN_PATH;
const std::string kPelsor = PELSOR_PATH;
const std::string kDesktopFacts = DESKTOP_FACTS_PATH;

std::string me() { return std::to_string(getpid()); }

struct DesktopFacts {
  std::optional<std::int32_t> front;
  std::vector<std::int32_t> running;  ///< pids of the applications with the identifier asked for

  bool runs(std::int32_t pid) const {
    return std::find(running.begin(), running.end(), pid) != running.end();
  }
};

DesktopFacts desktop(const std::string& bundleId) {
  const Outcome outcome = runProgram(kDesktopFacts, {bundleId});
  EXPECT_EQ(outcome.status, 0);
  std::istringstream lines(outcome.out);
  std::string front;
  lines >> front;
  DesktopFacts facts;
  if (front != "none") facts.front = std::stoi(front);
  for (std::int32_t pid = 0; lines >> pid;) facts.running.push_back(pid);
  return facts;
}

// Polls `done` for up to `limit`; whether it came true.
template <typename Done>
bool within(std::chrono::milliseconds limit, Done done) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

// Stops the applications a test started, leaving alone those that ran before it.
void stopStarted(const std::vector<std::int32_t>& pids, const DesktopFacts& before) {
  for (const std::int32_t pid : pids) {
    if (pid <= 1 || before.runs(pid)) continue;
    kill(pid, SIGTERM);
    EXPECT_TRUE(within(10s, [pid] { return kill(pid, 0) != 0; })) << "pid " << pid << " still runs";
  }
}

constexpr const char* kCalculator = "com.apple.calculator";
constexpr const char* kSettings = "com.apple.systempreferences";

TEST(MacDesktop, LaunchesASystemApplicationInTheBackgroundByNameAndByIdentifier) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  const std::string requests[] = {R"({"name":"Calculator"})",
                                  std::string(R"({"bundleId":")") + kCalculator + "\"}"};
  for (const std::string& request : requests) {
    SCOPED_TRACE(request);
    const DesktopFacts before = desktop(kCalculator);
    const Outcome outcome = runProgram(kTovrin, {request, me()});
    ASSERT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_EQ(outcome.err, "");
    const nlohmann::json reply = nlohmann::json::parse(outcome.out);
    EXPECT_EQ(reply.at("bundleId"), kCalculator);
    EXPECT_EQ(reply.at("name"), "Calculator");
    const std::int32_t pid = reply.at("pid").get<std::int32_t>();

    EXPECT_TRUE(within(10s, [pid] { return desktop(kCalculator).runs(pid); }));
    // An application that was going to come to the front would have done so by now.
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(desktop(kCalculator).front, before.front);
    stopStarted({pid}, before);
  }
}

TEST(MacDesktop, ProbeReportsTheOpenSettingsWindow) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  const DesktopFacts before = desktop(kSettings);
  ASSERT_EQ(runProgram("/usr/bin/open", {"-b", kSettings}).status, 0);

  Outcome probe;
  EXPECT_TRUE(within(20s, [&] {
    probe = runProgram(kPelsor, {me()});
    return probe.status != 0 || probe.out != "null\n";
  })) << "no settings window appeared";
  const DesktopFacts facts = desktop(kSettings);
  stopStarted(facts.running, before);

  ASSERT_EQ(probe.status, 0);
  EXPECT_EQ(probe.err, "");
  const nlohmann::json result = nlohmann::json::parse(probe.out);
  const nlohmann::json& bounds = result.at("bounds");
  EXPECT_EQ(bounds.size(), 4u) << bounds;
  EXPECT_TRUE(bounds.at("x").is_number());
  EXPECT_TRUE(bounds.at("y").is_number());
  EXPECT_GE(bounds.at("width").get<double>(), 300.0);
  EXPECT_GE(bounds.at("height").get<double>(), 200.0);
  // This process is no application, so only the settings application in front makes it visible.
  const bool settingsInFront = facts.front && facts.runs(*facts.front);
  EXPECT_EQ(result.at("visible"), settingsInFront);
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

}  // namespace
