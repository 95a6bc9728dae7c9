#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launch/launcher.h"
#include "tests/support/child.h"
#include "tests/support/fake_launcher_services.h"
#include "tests/support/temp_folder.h"

namespace {

using testing_support::FakeLauncherServices;
using testing_support::Outcome;
using testing_support::runInChild;

constexpr const char* kInvalid = "{\"error\":\"INVALID_PARAMS\"}\n";
constexpr const char* kParentGone = "{\"error\":\"PARENT_GONE\"}\n";

// Runs the launcher in a child with `args` (the program path is added) and the given services.
Outcome launch(std::vector<std::string> args, FakeLauncherServices& services) {
  args.insert(args.begin(), "tovrin");
  return testing_support::runEntryInChild(launch::runLauncher, args, services);
}

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

Outcome launch(const std::vector<std::string>& args) {
  FakeLauncherServices services;
  return launch(args, services);
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
    const Outcome outcome = launch(args);
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
      {"4243", 4242}, {"1", 1},         {"0", 0},          {"-4242", -4242}, {" 4242", 4242},
      {"4242 ", 4242}, {"4242.0", 4242}, {"4294971538", 4242}, {"", 4242},    {"+", 4242},
      {"4242\xFF", 4242},
  };
  for (const auto& c : cases) {
    FakeLauncherServices services;
    services.parent = c.actual;
    const Outcome outcome = launch({R"({"name":"Safari"})", c.pid}, services);
    EXPECT_EQ(outcome.out, kParentGone) << '"' << c.pid << '"';
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "");
  }
}

TEST(Launcher, AValidRequestFromItsParentWaitsUnderTheParentWatch) {
  for (const char* pid : {"4242", "+4242", "0004242"}) {
    for (const char* request : {R"({"name":"Safari"})", R"({"bundleId":"com.apple.Safari"})",
                                R"({"bundleId":"com.apple.Safari","name":null})",
                                R"({"name":""})", "{\"name\":\"\xFF\"}"}) {
      FakeLauncherServices services;
      installApplications(services);
      services.parentDuringRun = {4242, 4242, 4242};  // the parent stays: run returns at last
      const Outcome outcome = launch({request, pid}, services);
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
  const Outcome outcome = launch({R"({"name":"Safari"})", "4242"}, services);
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

}  // namespace
