#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launch/launcher.h"
#include "launch/messages.h"
#include "tests/support/bundle_builders.h"
#include "tests/support/child.h"
#include "tests/support/fake_launcher_services.h"
#include "tests/support/launch_with_fakes.h"
#include "tests/support/requests.h"

namespace {

using testing_support::failureLine;
using testing_support::FakeLauncherServices;
using testing_support::launchWithFakes;
using testing_support::lines;
using testing_support::Outcome;
using testing_support::runInChild;
using testing_support::startingWith;

constexpr const char* kInvalid = "{\"error\":\"INVALID_PARAMS\"}\n";
constexpr const char* kParentGone = "{\"error\":\"PARENT_GONE\"}\n";

// Installs what the requests of these tests name, so that they resolve and the launcher waits.
void installApplications(FakeLauncherServices& services) {
  const auto install = [&](const std::string& entry, const std::string& id,
                           const std::string& name) {
    services.addApplication("/Applications", entry,
                            {id, {{"CFBundleName", testing_support::textValue(name)}}});
  };
  install("Safari.app", "com.apple.Safari", "Safari");
  install("Blank.app", "org.example.blank", "");
  install("Replaced.app", "org.example.replaced", "\xEF\xBF\xBD");  // what a stray byte becomes
  services.registry["com.apple.Safari"] = "/Applications/Safari.app";
}

Outcome launchWithFreshFakes(const std::vector<std::string>& args) {
  FakeLauncherServices services;
  return launchWithFakes(services, args);
}

TEST(Launcher, RefusesABadCommandLineOrRequestWithInvalidParams) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"4242"},
      {R"({"name":"Safari"})"},
      {R"({"name":"Safari"})", "4242", "4242"},
      {R"({"name":"Safari"})", "", "4242"},
      {"not json", "4242"},
      {"", "4242"},
      {R"(["Safari"])", "4242"},
      {R"({"name":"Safari","bundleId":"com.apple.Safari"})", "4242"},
      {R"({"name":"Safari","bundleId":""})", "4242"},
      {R"({})", "4242"},
      {R"({"bundleId":null,"name":null})", "4242"},
      {R"({"NAME":"Safari"})", "4242"},
      {R"({"name":5,"bundleId":"com.apple.Safari"})", "4242"},
      {"{\"name\":\xFF}", "4242"},  // a stray byte outside a string
      // The request is checked first: a bad request with a bad parent is still INVALID_PARAMS.
      {"not json", "1"},
      {R"({})", "nonsense"},
      {"", ""},
  };
  for (const auto& args : cases) {
    const Outcome outcome = launchWithFreshFakes(args);
    EXPECT_EQ(outcome.out, kInvalid) << testing::PrintToString(args);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "");
  }
}

TEST(Launcher, RefusesAnyParentButTheRealOneWithParentGone) {
  const struct {
    const char* pid;
    std::int32_t actual;
  } cases[] = {
      {"4243", 4242},  {"1", 1},        {"0", 0},           {"-4242", -4242},
      {" 4242", 4242}, {"4242 ", 4242}, {"4242.0", 4242},   {"4294971538", 4242},
      {"", 4242},      {"+", 4242},     {"4242\xFF", 4242},
  };
  for (const auto& c : cases) {
    FakeLauncherServices services;
    services.parent = c.actual;
    const Outcome outcome = launchWithFakes(services, {R"({"name":"Safari"})", c.pid});
    EXPECT_EQ(outcome.out, kParentGone) << '"' << c.pid << '"';
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "");
  }
}

TEST(Launcher, AValidRequestFromItsParentWaitsUnderTheParentWatch) {
  for (const char* pid : {"4242", "+4242", "0004242"}) {
    for (const char* request : {R"({"name":"Safari"})", R"({"bundleId":"com.apple.Safari"})",
                                R"({"bundleId":"com.apple.Safari","name":null})", R"({"name":""})",
                                "{\"name\":\"\xFF\"}"}) {
      FakeLauncherServices services;
      installApplications(services);
      services.parentDuringRun = {4242, 4242, 4242};  // the parent stays: run returns at last
      const Outcome outcome = launchWithFakes(services, {request, pid});
      // Only a returning run loop ends this run, and then silently with status 0.
      EXPECT_EQ(outcome.out, "") << request << ' ' << pid;
      EXPECT_EQ(outcome.status, 0);
    }
  }
}

TEST(Launcher, TheParentWatchEndsTheWaitSilentlyOnceTheParentIsGone) {
  // The watch is scheduled every 0.1 s; it ends the process on the tick that sees the change, so
  // the run loop never gets to return (which would end with status 0).
  struct WatchedAtTenthsOfASecond : FakeLauncherServices {
    void run() override {
      if (intervals != std::vector<double>{0.1}) _exit(90);
      FakeLauncherServices::run();
    }
  } services;
  installApplications(services);
  services.parentDuringRun = {4242, 4242, 1, 4242};
  const Outcome outcome = launchWithFakes(services, {R"({"name":"Safari"})", "4242"});
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 1);
}

// Started with standard output closed, the launcher must give that number to /dev/null before
// anything can open a file: here the very first service call opens one, and the answer line must
// not end up in it.
TEST(Launcher, ReservesTheStandardDescriptorsBeforeItsFirstServiceCall) {
  const testing_support::TempFolder folder;
  struct OpensAFileFirst : FakeLauncherServices {
    std::string path;
    bool opened = false;
    std::int32_t parentPid() override {
      if (!opened) {
        opened = true;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || write(fd, "opened\n", 7) != 7) _exit(90);
      }
      return FakeLauncherServices::parentPid();
    }
  } services;
  services.path = folder / "file";
  services.parent = 4243;  // not the parent named: the run ends with PARENT_GONE
  const Outcome outcome = runInChild([&] {
    close(STDOUT_FILENO);
    const char* argv[] = {"tovrin", R"({"name":"Safari"})", "4242"};
    launch::runLauncher(3, argv, services);
  });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(testing_support::readFile(folder / "file"), "opened\n");
}

// Resolution in the launcher as a whole: with the program's own folders, between the parent watch
// and the run loop. The calls come back traced, as the run ends the child.
Outcome resolveInLauncher(const std::string& request, FakeLauncherServices& services) {
  services.parentDuringRun = {4242};
  return launchWithFakes(services, {request, "4242"}, testing_support::Calls::traced);
}

// A bundle whose only name is its CFBundleName.
testing_support::FakeBundle named(std::string name, std::string id = "org.example.app") {
  return {std::move(id), {{"CFBundleName", testing_support::textValue(std::move(name))}}};
}

TEST(LauncherResolution, ScansTheProgramsFoldersBetweenTheWatchAndTheWait) {
  const struct {
    std::optional<std::string> home;
    std::vector<std::string> folders;
  } cases[] = {
      {"/Users/me", {"/Applications", "/System/Applications", "/Users/me/Applications"}},
      {"/Users/me/", {"/Applications", "/System/Applications", "/Users/me/Applications"}},
      // The root folder as home names "/Applications" again: scanned once, or every application
      // there would be ambiguous.
      {"/", {"/Applications", "/System/Applications"}},
      {"//", {"/Applications", "/System/Applications"}},
      {std::nullopt, {"/Applications", "/System/Applications"}},
      {"", {"/Applications", "/System/Applications"}},
  };
  for (const auto& c : cases) {
    FakeLauncherServices services;
    services.home = c.home;
    services.addApplication("/System/Applications", "Mine.app", named("Mine"));
    const Outcome outcome = resolveInLauncher(R"({"name":"Mine"})", services);
    // Resolved: the launcher waits, and ends silently when its run loop returns.
    EXPECT_EQ(outcome.out, "") << c.home.value_or("(none)");
    EXPECT_EQ(outcome.status, 0) << c.home.value_or("(none)");
    const std::vector<std::string> calls = lines(outcome.err);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "schedule");
    EXPECT_EQ(calls[1], "home");
    EXPECT_EQ(calls.back(), "run");
    std::vector<std::string> expected;
    for (const std::string& folder : c.folders) expected.push_back("list " + folder);
    EXPECT_EQ(startingWith(calls, "list "), expected) << c.home.value_or("(none)");
  }
}

TEST(LauncherResolution, AnswersAFailureWithItsCodeAndNeverWaits) {
  const struct {
    std::string request;
    std::string_view code;
  } cases[] = {
      {R"({"name":"Twin"})", launch::codes::kApplicationNameAmbiguous},
      {R"({"name":"Nobody"})", launch::codes::kApplicationNotFound},
      {R"({"bundleId":"org.nobody"})", launch::codes::kApplicationNotFound},
      {R"({"bundleId":"ORG.TWIN"})", launch::codes::kApplicationIdMismatch},
  };
  for (const auto& c : cases) {
    FakeLauncherServices services;
    services.addApplication("/Applications", "Twin.app", named("Twin", "org.twin"));
    services.addApplication("/Users/me/Applications", "Twin.app", named("Twin", "org.twin"));
    services.registry["ORG.TWIN"] = "/Applications/Twin.app";
    const Outcome outcome = resolveInLauncher(c.request, services);
    EXPECT_EQ(outcome.out, failureLine(c.code)) << c.request;
    EXPECT_EQ(outcome.status, 1) << c.request;
    const std::vector<std::string> calls = lines(outcome.err);
    EXPECT_TRUE(startingWith(calls, "run").empty()) << c.request;
  }
}

}  // namespace
