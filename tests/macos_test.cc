// The shipped programs on a Mac, with real system applications: launches in the background and
// the probe with the settings window open, and the questions about the system's services that
// only a Mac can answer; each such test prints what it saw, so that the log answers the question.
// Where there is no Mac the desktop tests are skipped; those about bundles and path extensions run
// on the stand-in too, against the same expectations.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <iostream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef __APPLE__
#include <CoreGraphics/CoreGraphics.h>
#endif

#include "child.h"
#include "platform/launcher_services.h"
#include "probe/selection.h"
#include "temp_folder.h"

extern char** environ;

namespace {

using testing_support::Outcome;
using testing_support::TempFolder;
using namespace std::chrono_literals;

// However a program misbehaves, a test goes on: every program started here has this long.
constexpr double kLimitSeconds = 30;

Outcome runProgram(const std::string& path, const std::vector<std::string>& args,
                   const std::optional<std::vector<std::string>>& env = std::nullopt) {
  return testing_support::runProgram(path, args, env, kLimitSeconds);
}

// Says what a test saw, for the log of the run.
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

// This process's environment with `name` set to `value` and the names in `without` left out.
std::vector<std::string> environmentWith(const std::string& name, const std::string& value,
                                         const std::vector<std::string>& without = {}) {
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

// The variable through which the platform layer finds another home folder: Foundation reads
// CFFIXED_USER_HOME and not HOME; the stand-in reads HOME.
#ifdef __APPLE__
constexpr const char* kHomeVariable = "CFFIXED_USER_HOME";
#else
constexpr const char* kHomeVariable = "HOME";
#endif

// Whether this process can reach a window server: without a logged-in desktop session the window
// list cannot be had at all.
bool hasDesktopSession() {
#ifdef __APPLE__
  const CFArrayRef list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly,
                                                     kCGNullWindowID);
  if (list == nullptr) return false;
  CFRelease(list);
  return true;
#else
  return false;
#endif
}

#define SKIP_WITHOUT_DESKTOP()                                                              \
  do {                                                                                      \
    if (!hasDesktopSession()) {                                                             \
      GTEST_SKIP() << "no desktop session: the window list cannot be had (a logged-in GUI " \
                      "session is needed)";                                                 \
    }                                                                                       \
  } while (false)

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
  SKIP_WITHOUT_DESKTOP();
  const std::string requests[] = {R"({"name":"Calculator"})",
                                  std::string(R"({"bundleId":")") + kCalculator + "\"}"};
  for (const std::string& request : requests) {
    SCOPED_TRACE(request);
    const DesktopFacts before = desktop(kCalculator);
    const Outcome outcome = runProgram(kTovrin, {request, me()});
    seen(request + " -> " + describe(outcome));
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
  SKIP_WITHOUT_DESKTOP();
  const DesktopFacts before = desktop(kSettings);
  ASSERT_EQ(runProgram("/usr/bin/open", {"-b", kSettings}).status, 0);

  Outcome probe;
  EXPECT_TRUE(within(20s, [&] {
    probe = runProgram(kPelsor, {me()});
    return probe.status != 0 || probe.out != "null\n";
  })) << "no settings window appeared";
  const DesktopFacts facts = desktop(kSettings);
  stopStarted(facts.running, before);
  seen("pelsor -> " + describe(probe));

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

// The extension that decides which entries are candidates, from whichever backend this is.
TEST(MacPathExtension, IsTheSameOnEveryBackend) {
  const struct {
    const char* path;
    const char* extension;
  } cases[] = {
      {"/Applications/X.app", "app"}, {"/Applications/X.APP", "APP"}, {"/Applications/X", ""},
      {"/Applications/.app", ""},     {"/Applications/X.app.", ""},   {"X.app", "app"},
      {"/Applications/X.app/", "app"}, {"/A.b/X", ""},                {"/A/My.Tool.app", "app"},
      {"/A/Caf\xC3\xA9.\xC3\xA0pp", "\xC3\xA0pp"},
  };
  const auto services = platform::makeLauncherServices();
  for (const auto& c : cases) {
    const std::string extension = services->pathExtension(c.path);
    seen(std::string("pathExtension(\"") + c.path + "\") = \"" + extension + "\"");
    EXPECT_EQ(extension, c.extension) << '"' << c.path << '"';
  }
}

// Where the launcher looks for the home folder's Applications: Foundation's home folder follows
// CFFIXED_USER_HOME and ignores HOME, so a private home on a Mac is given through the former.
TEST(MacHomeFolder, FollowsCfFixedUserHomeAndNotHome) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS (the stand-in reads HOME)";
#endif
  TempFolder home;
  // Two bundles of one name: found, they answer without anything being launched.
  const std::string name = "Tovrin Home Check " + me();
  for (const char* file : {"Applications/One.app", "Applications/Two.app"}) {
    home.makeBundle(file, testing_support::xmlInfoPlist(
                              {{"CFBundleIdentifier", "org.example.home-check"},
                               {"CFBundleName", name}}));
  }
  const std::string request = nlohmann::json({{"name", name}}).dump();
  const Outcome fixed = runProgram(
      kTovrin, {request, me()}, environmentWith("CFFIXED_USER_HOME", home.path()));
  seen("CFFIXED_USER_HOME=<private home> -> " + describe(fixed));
  EXPECT_EQ(fixed.out, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n");
  const Outcome plain =
      runProgram(kTovrin, {request, me()}, environmentWith("HOME", home.path(), {"CFFIXED_USER_HOME"}));
  seen("HOME=<private home> -> " + describe(plain));
  EXPECT_EQ(plain.out, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n");
}

// The system's lookup by identifier ignores letter case, and the launcher then tells the
// difference itself: nothing is launched.
TEST(MacWorkspace, LookupByIdentifierIgnoresLetterCase) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  const Outcome outcome = runProgram(kTovrin, {R"({"bundleId":"COM.APPLE.CALCULATOR"})", me()});
  seen("{\"bundleId\":\"COM.APPLE.CALCULATOR\"} -> " + describe(outcome));
  EXPECT_EQ(outcome.out, "{\"error\":\"APPLICATION_ID_MISMATCH\"}\n");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "");
}

// Information files that are not files, and an identifier that is not a string: the bundle is read
// without waiting on a FIFO and without taking a number for text. None of these launches anything.
TEST(MacBundles, HostileInformationFilesAnswerAtOnce) {
  TempFolder home;
  const std::string tag = " " + me();
  // An Info.plist that is a FIFO: no dictionary, so no name.
  home.makeFolder("Applications/Fifo.app/Contents");
  ASSERT_EQ(mkfifo((home / "Applications/Fifo.app/Contents/Info.plist").c_str(), 0644), 0);
  // Localised texts behind FIFOs: the Info.plist's own values count, so both bundles are found.
  for (const char* file : {"Applications/Strings One.app", "Applications/Strings Two.app"}) {
    home.makeBundle(file, testing_support::xmlInfoPlist({{"CFBundleIdentifier", "org.example.s"},
                                                         {"CFBundleName", "Strings" + tag}}));
    for (const char* language : {"en", "Base", "de"}) {
      const std::string folder = home.makeFolder(std::string(file) + "/Contents/Resources/" +
                                                 language + ".lproj");
      ASSERT_EQ(mkfifo((folder + "/InfoPlist.strings").c_str(), 0644), 0);
    }
  }
  // A number where the identifier belongs: the bundle has no identifier.
  home.makeBundle("Applications/Numbered.app",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                  "<key>CFBundleIdentifier</key><integer>42</integer>"
                  "<key>CFBundleName</key><string>Numbered" + tag + "</string></dict></plist>\n");

  const struct {
    std::string name;
    const char* reply;
  } cases[] = {
      {"Fifo" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},
      {"Strings" + tag, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},
      {"Numbered" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},
  };
  for (const auto& c : cases) {
    const std::string request = nlohmann::json({{"name", c.name}}).dump();
    const Outcome outcome =
        runProgram(kTovrin, {request, me()}, environmentWith(kHomeVariable, home.path()));
    seen(request + " -> " + describe(outcome));
    EXPECT_EQ(outcome.out, c.reply) << request;
    EXPECT_EQ(outcome.status, 1) << request;
    EXPECT_EQ(outcome.err, "") << request;
  }
}

}  // namespace
