#include "tests/macos/macos_support.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <utility>

#ifdef __APPLE__
#include <CoreGraphics/CoreGraphics.h>
#endif

extern char** environ;

namespace macos_testing {

const std::string kTovrin = TOVRIN_PATH;
const std::string kPelsor = PELSOR_PATH;
const std::string kDesktopFacts = DESKTOP_FACTS_PATH;

Outcome runBounded(const std::string& path, const std::vector<std::string>& args,
                   const std::optional<std::vector<std::string>>& env) {
  return testing_support::runBinary(path, args, {.environment = env, .limit = kLimitSeconds});
}

void seen(const std::string& what) {
  std::cout << "[ seen     ] " << what << std::endl;
  static int count = 0;  // a property of the same key would replace the one before
  ::testing::Test::RecordProperty("seen" + std::to_string(++count), what);
}

std::string describe(const Outcome& outcome) {
  std::string text = "status " + (outcome.status ? std::to_string(*outcome.status) : "none");
  if (outcome.signal) text += ", signal " + std::to_string(*outcome.signal);
  std::string out = outcome.out;
  if (!out.empty() && out.back() == '\n') out.replace(out.size() - 1, 1, "\\n");
  text += ", out \"" + out + "\"";
  if (!outcome.err.empty()) text += ", err \"" + outcome.err + "\"";
  return text;
}

std::vector<std::string> environmentWith(const std::string& name, const std::string& value,
                                         const std::vector<std::string>& without) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string key = text.substr(0, text.find('='));
    if (key == name || std::find(without.begin(), without.end(), key) != without.end()) continue;
    env.push_back(text);
  }
  env.push_back(name + "=" + value);
  return env;
}

std::optional<std::string> missingDesktop() {
#ifdef __APPLE__
  const CFArrayRef list =
      CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
  if (list != nullptr) {
    CFRelease(list);
    return std::nullopt;
  }
  return "no desktop session: the window list cannot be had (a logged-in GUI session is needed)";
#else
  return "needs macOS";
#endif
}

bool desktopRequired() {
  const char* value = std::getenv(kRequireDesktopVariable);
  return value != nullptr && std::strcmp(value, "1") == 0;
}

bool DesktopFacts::runs(std::int32_t pid) const {
  return std::find(running.begin(), running.end(), pid) != running.end();
}

bool DesktopFacts::inFront() const { return front && runs(*front); }

std::string DesktopFacts::text() const {
  std::string text = "front " + (front ? std::to_string(*front) : "none") + ", running";
  for (const std::int32_t pid : running) text += " " + std::to_string(pid);
  return text;
}

DesktopFacts desktop(const std::string& bundleId) {
  const Outcome outcome = runBounded(kDesktopFacts, {bundleId});
  EXPECT_EQ(outcome.status, 0) << describe(outcome);
  std::istringstream lines(outcome.out);
  std::string front;
  lines >> front;
  DesktopFacts facts;
  if (!front.empty() && front != "none") facts.front = std::stoi(front);
  for (std::int32_t pid = 0; lines >> pid;) facts.running.push_back(pid);
  return facts;
}

std::string displayNameOf(const std::string& bundleId) {
  const Outcome outcome = runBounded(kDesktopFacts, {"--display-name", bundleId});
  seen("display name of " + bundleId + ": " + describe(outcome));
  std::string name = outcome.out;
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return outcome.status == 0 ? name : std::string();
}

StartedApplications::StartedApplications(std::string bundleId)
    : bundleId_(std::move(bundleId)), before_(desktop(bundleId_)) {}

StartedApplications::~StartedApplications() {
  for (const std::int32_t pid : desktop(bundleId_).running) {
    if (pid <= 1 || before_.runs(pid)) continue;
    kill(pid, SIGTERM);
    EXPECT_TRUE(within(std::chrono::seconds(10), [pid] { return kill(pid, 0) != 0; }))
        << bundleId_ << " pid " << pid << " still runs";
  }
}

}  // namespace macos_testing
