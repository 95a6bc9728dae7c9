// What every macOS test shares: the shipped programs started with a time limit, the log of what a
// test saw, the desktop as a fresh process reads it, the rule for a missing desktop session, and
// the clean-up of the applications a test started.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child.h"
#include "tests/support/slowdown.h"

namespace macos_testing {

using testing_support::Outcome;

/// However a program misbehaves, a test goes on: every program started here has this long.
constexpr double kLimitSeconds = 30;

using testing_support::kSlowdown;

/// The variable through which the platform layer finds another home folder: Foundation reads
/// CFFIXED_USER_HOME and not HOME; the stand-in reads HOME.
#ifdef __APPLE__
constexpr const char* kHomeVariable = "CFFIXED_USER_HOME";
#else
constexpr const char* kHomeVariable = "HOME";
#endif

constexpr const char* kCalculator = "com.apple.calculator";
constexpr const char* kSettings = "com.apple.systempreferences";

extern const std::string kTovrin;
extern const std::string kPelsor;
extern const std::string kDesktopFacts;

/// Starts `path` with `args` as `testing_support::runBinary` does, killed after kLimitSeconds.
Outcome runBounded(const std::string& path, const std::vector<std::string>& args,
                   const std::optional<std::vector<std::string>>& env = std::nullopt);

/// Says what a test saw, for the log of the run and as a property in the JUnit report.
void seen(const std::string& what);

/// How a program ended and what it wrote, on one line.
std::string describe(const Outcome& outcome);

/// This process's environment with `name` set to `value` and the names in `without` left out.
std::vector<std::string> environmentWith(const std::string& name, const std::string& value,
                                         const std::vector<std::string>& without = {});

/// Why the desktop tests cannot run here, or none when they can: not a Mac, or no logged-in GUI
/// session (without one the window list cannot be had at all).
std::optional<std::string> missingDesktop();

/// The environment variable that turns a missing desktop into a failure. The macOS workflow sets
/// MACOS_TESTS_REQUIRE_DESKTOP=1, since its images run a logged-in desktop session and a green
/// run must mean the desktop was really tested; on a developer's Mac (or over ssh) without it, a
/// desktop test that cannot run is skipped, with the same reason.
constexpr const char* kRequireDesktopVariable = "MACOS_TESTS_REQUIRE_DESKTOP";

/// Whether MACOS_TESTS_REQUIRE_DESKTOP is set to "1".
bool desktopRequired();

/// What the system says about the desktop right now, read by a fresh process.
struct DesktopFacts {
  std::optional<std::int32_t> front;  ///< the frontmost application's pid
  std::vector<std::int32_t> running;  ///< pids of the applications with the identifier asked for

  bool runs(std::int32_t pid) const;
  /// Whether one of `running` is the frontmost application.
  bool inFront() const;
  /// "front P, running P Q", for the log.
  std::string text() const;
};

DesktopFacts desktop(const std::string& bundleId);

/// The name a request by name must give for the application with `bundleId` on this system: its
/// display name as the launcher reads it from the bundle the system's lookup gives, localised for
/// this user by the same rule. Nothing here assumes the system speaks English. Empty when the
/// application or its name cannot be had.
std::string displayNameOf(const std::string& bundleId);

/// Polls `done` every 100 ms for up to `limit`; whether it came true.
template <typename Done>
bool within(std::chrono::milliseconds limit, Done done) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

/// Stops, when it goes out of scope, every instance of an application that was not running when
/// it was made (SIGTERM, then up to 10 s for each to go; a failure when one stays): whatever a
/// test started is gone before the next test, also after a failed assertion, while an instance
/// that ran before the test is left alone.
class StartedApplications {
 public:
  explicit StartedApplications(std::string bundleId);
  StartedApplications(const StartedApplications&) = delete;
  StartedApplications& operator=(const StartedApplications&) = delete;
  ~StartedApplications();

  /// The desktop when this was made.
  const DesktopFacts& before() const { return before_; }

 private:
  std::string bundleId_;
  DesktopFacts before_;
};

}  // namespace macos_testing

/// Skips a desktop test where there is no desktop, with the reason; a failure with the same reason
/// when MACOS_TESTS_REQUIRE_DESKTOP=1.
#define SKIP_WITHOUT_DESKTOP()                                                         \
  do {                                                                                 \
    if (const std::optional<std::string> missing = macos_testing::missingDesktop()) {  \
      if (macos_testing::desktopRequired()) {                                          \
        FAIL() << *missing << " (" << macos_testing::kRequireDesktopVariable << "=1)"; \
      }                                                                                \
      GTEST_SKIP() << *missing;                                                        \
    }                                                                                  \
  } while (false)
