// The open call and its completion handler, with fake services, in forked children.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launch/launch_application.h"
#include "tests/support/child.h"
#include "tests/support/fake_launcher_services.h"
#include "tests/support/launch_with_fakes.h"

namespace {

using platform::OpenReport;
using testing_support::FakeLauncherServices;
using testing_support::Outcome;
using testing_support::runInChild;
using testing_support::textValue;

OpenReport report(std::optional<std::int32_t> pid, bool error = false) {
  OpenReport r;
  r.applicationPid = pid;
  r.error = error;
  return r;
}

TEST(CompleteLaunch, AnswersWhatTheSystemReported) {
  const struct {
    const char* what;
    OpenReport report;
    std::string name;
    std::string out;
    int status;
  } cases[] = {
      {"an error beside an application", report(77, true), "App",
       "{\"error\":\"APPLICATION_LAUNCH_FAILED\"}\n", 1},
      {"an error alone", report(std::nullopt, true), "App",
       "{\"error\":\"APPLICATION_LAUNCH_FAILED\"}\n", 1},
      {"neither", report(std::nullopt), "App", "{\"error\":\"APPLICATION_PID_UNAVAILABLE\"}\n", 1},
      {"pid 0", report(0), "App", "{\"error\":\"APPLICATION_PID_UNAVAILABLE\"}\n", 1},
      {"pid -1", report(-1), "App", "{\"error\":\"APPLICATION_PID_UNAVAILABLE\"}\n", 1},
      {"pid 1", report(1), "App", "{\"bundleId\":\"org.example.app\",\"name\":\"App\",\"pid\":1}\n",
       0},
      {"an empty name", report(4321), "",
       "{\"bundleId\":\"org.example.app\",\"name\":\"\",\"pid\":4321}\n", 0},
      {"a name with a solidus", report(4321), "AC/DC",
       "{\"bundleId\":\"org.example.app\",\"name\":\"AC\\/DC\",\"pid\":4321}\n", 0},
      {"a name with non-ASCII letters", report(4321), "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC",
       "{\"bundleId\":\"org.example.app\",\"name\":\"Caf\xC3\xA9 "
       "\xE6\x97\xA5\xE6\x9C\xAC\",\"pid\":4321}\n",
       0},
      {"a name that cannot be encoded", report(4321), "\xED\xA0\x80",
       "{\"error\":\"BRIDGE_ERROR\"}\n", 0},
  };
  for (const auto& c : cases) {
    const Outcome outcome =
        runInChild([&] { launch::completeLaunch(c.report, "org.example.app", c.name); });
    EXPECT_EQ(outcome.out, c.out) << c.what;
    EXPECT_EQ(outcome.status, c.status) << c.what;
    EXPECT_EQ(outcome.err, "");
  }
}

// A launcher run with the services' calls on record (on standard error, which survives the end of
// the child).
Outcome launchWith(FakeLauncherServices& services, const std::string& request) {
  return testing_support::launchWithFakes(services, {request, "4242"},
                                          testing_support::Calls::traced);
}

TEST(Launch, OpensTheResolvedBundleInTheBackgroundThenWaits) {
  FakeLauncherServices services;
  // The bundle's identifier is the decomposed form of the one asked for: equal, not the same.
  services.addApplication(
      "/Applications", "Cafe.app",
      {"org.example.cafe\xCC\x81", {{"CFBundleName", textValue("Caf\xC3\xA9")}}});
  services.registry["org.example.caf\xC3\xA9"] = "/Applications/Cafe.app";
  services.openReport = report(555);

  for (const std::string request :
       {R"({"bundleId":"org.example.caf\u00e9"})", R"({"name":"Cafe\u0301"})"}) {
    const Outcome outcome = launchWith(services, request);
    // The reply carries the bundle's own texts, not the request's.
    EXPECT_EQ(outcome.out,
              "{\"bundleId\":\"org.example.cafe\xCC\x81\",\"name\":\"Caf\xC3\xA9\",\"pid\":555}\n");
    EXPECT_EQ(outcome.status, 0);
    // The open call comes after resolution, asks for no activation, and precedes the wait.
    const std::string trace = outcome.err;
    const auto launched = trace.find("launch /Applications/Cafe.app in the background\n");
    ASSERT_NE(launched, std::string::npos) << trace;
    EXPECT_LT(trace.rfind("identifier /Applications/Cafe.app"), launched);
    EXPECT_EQ(trace.substr(launched).find("run\n"),
              std::string("launch /Applications/Cafe.app in the background\n").size());
    EXPECT_EQ(trace.find("launch ", launched + 1), std::string::npos);  // only once
  }
}

// The handler may run on any thread at any time: what it reports is its own, not a reference to
// what resolution left behind, which here is changed and then destroyed before the system reports.
TEST(Launch, TheHandlerReportsItsOwnCopiesOfTheIdentifierAndName) {
  const Outcome outcome = runInChild([] {
    FakeLauncherServices services;
    services.openReport = report(555);
    auto application = std::make_unique<launch::ResolvedApplication>(
        launch::ResolvedApplication{"/Applications/App.app", "org.example.app", "App"});
    launch::launchApplication(*application, services);
    application->bundleId = "org.example.changed";
    application->actualName = "Changed";
    application.reset();
    services.run();
  });
  EXPECT_EQ(outcome.out, "{\"bundleId\":\"org.example.app\",\"name\":\"App\",\"pid\":555}\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
}

TEST(Launch, NothingIsOpenedWhenAnEarlierCheckFails) {
  FakeLauncherServices services;
  services.addApplication("/Applications", "App.app",
                          {std::nullopt, {{"CFBundleName", textValue("App")}}});
  const Outcome outcome = launchWith(services, R"({"name":"App"})");
  EXPECT_EQ(outcome.out, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n");
  EXPECT_EQ(outcome.err.find("launch "), std::string::npos);
}

TEST(Launch, ALaunchTheSystemNeverAnswersWaitsUntilTheParentIsGone) {
  FakeLauncherServices services;
  services.addApplication("/Applications", "App.app",
                          {"org.example.app", {{"CFBundleName", textValue("App")}}});
  services.parentDuringRun = {4242, 4242, 4242, 1};
  const Outcome outcome = launchWith(services, R"({"name":"App"})");
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("launch /Applications/App.app in the background\nrun\n"),
            std::string::npos);
}

}  // namespace
