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
#include <map>
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

#include "platform/launcher_services.h"
#include "probe/selection.h"
#include "tests/support/bundle_builders.h"
#include "tests/support/child.h"
#include "tests/support/requests.h"
#include "tests/support/slowdown.h"

extern char** environ;

namespace {

using testing_support::idRequest;
using testing_support::me;
using testing_support::nameRequest;
using testing_support::Outcome;
using testing_support::TempFolder;
using namespace std::chrono_literals;

// However a program misbehaves, a test goes on: every program started here has this long.
constexpr double kLimitSeconds = 30;

using testing_support::kSlowdown;

Outcome runBinary(const std::string& path, const std::vector<std::string>& args,
                  const std::optional<std::vector<std::string>>& env = std::nullopt) {
  return testing_support::runBinary(path, args, {.environment = env, .limit = kLimitSeconds});
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

struct DesktopFacts {
  std::optional<std::int32_t> front;
  std::vector<std::int32_t> running;  ///< pids of the applications with the identifier asked for

  bool runs(std::int32_t pid) const {
    return std::find(running.begin(), running.end(), pid) != running.end();
  }
};

DesktopFacts desktop(const std::string& bundleId) {
  const Outcome outcome = runBinary(kDesktopFacts, {bundleId});
  EXPECT_EQ(outcome.status, 0);
  std::istringstream lines(outcome.out);
  std::string front;
  lines >> front;
  DesktopFacts facts;
  if (front != "none") facts.front = std::stoi(front);
  for (std::int32_t pid = 0; lines >> pid;) facts.running.push_back(pid);
  return facts;
}

// The name a request by name must give for the application with `bundleId` on this system: its
// display name as the launcher reads it from the bundle the system's lookup gives, localised for
// this user by the same rule. Nothing here assumes the system speaks English. Empty when the
// application or its name cannot be had.
std::string displayNameOf(const std::string& bundleId) {
  const Outcome outcome = runBinary(kDesktopFacts, {"--display-name", bundleId});
  seen("display name of " + bundleId + ": " + describe(outcome));
  std::string name = outcome.out;
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return outcome.status == 0 ? name : std::string();
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
  const std::string name = displayNameOf(kCalculator);
  ASSERT_FALSE(name.empty()) << "no display name for " << kCalculator;
  const std::string requests[] = {nameRequest(name), idRequest(kCalculator)};
  for (const std::string& request : requests) {
    SCOPED_TRACE(request);
    const DesktopFacts before = desktop(kCalculator);
    const Outcome outcome = runBinary(kTovrin, {request, me()});
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
  ASSERT_EQ(runBinary("/usr/bin/open", {"-b", kSettings}).status, 0);

  Outcome probe;
  EXPECT_TRUE(within(20s, [&] {
    probe = runBinary(kPelsor, {me()});
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
  const std::string request = nameRequest(name);
  const Outcome fixed = runBinary(
      kTovrin, {request, me()}, environmentWith("CFFIXED_USER_HOME", home.path()));
  seen("CFFIXED_USER_HOME=<private home> -> " + describe(fixed));
  EXPECT_EQ(fixed.out, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n");
  const Outcome plain =
      runBinary(kTovrin, {request, me()}, environmentWith("HOME", home.path(), {"CFFIXED_USER_HOME"}));
  seen("HOME=<private home> -> " + describe(plain));
  EXPECT_EQ(plain.out, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n");
}

// The system's lookup by identifier ignores letter case, and the launcher then tells the
// difference itself: nothing is launched.
TEST(MacWorkspace, LookupByIdentifierIgnoresLetterCase) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  const Outcome outcome = runBinary(kTovrin, {R"({"bundleId":"COM.APPLE.CALCULATOR"})", me()});
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
    const std::string request = nameRequest(c.name);
    const Outcome outcome =
        runBinary(kTovrin, {request, me()}, environmentWith(kHomeVariable, home.path()));
    seen(request + " -> " + describe(outcome) + ", in " + std::to_string(outcome.seconds) + " s");
    EXPECT_EQ(outcome.out, c.reply) << request;
    EXPECT_EQ(outcome.status, 1) << request;
    EXPECT_EQ(outcome.err, "") << request;
    // Nothing waits on a FIFO: the answer comes within a second (sanitizers slow the build down).
    EXPECT_LT(outcome.seconds, 1.0 * kSlowdown) << request;
  }
}


// An application that already runs, asked for by identifier: the system's open call hands back
// the running instance, whose pid is the answer, and the application stays behind the frontmost
// one (no second instance, no activation).
TEST(MacDesktop, AnApplicationAlreadyRunningIsReusedAndStaysBehind) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  SKIP_WITHOUT_DESKTOP();
  const DesktopFacts before = desktop(kCalculator);
  // Started in the background, as a user might have it open already.
  ASSERT_EQ(runBinary("/usr/bin/open", {"-g", "-b", kCalculator}).status, 0);
  DesktopFacts running;
  ASSERT_TRUE(within(15s, [&] {
    running = desktop(kCalculator);
    return !running.running.empty();
  })) << "Calculator did not start";
  std::this_thread::sleep_for(2s);  // until it has settled where it is going to be
  running = desktop(kCalculator);
  const auto pids = [](const DesktopFacts& facts) {
    std::string text = "front " + (facts.front ? std::to_string(*facts.front) : "none") +
                       ", running";
    for (const std::int32_t pid : facts.running) text += " " + std::to_string(pid);
    return text;
  };
  seen("before the launch: " + pids(running));
  ASSERT_EQ(running.running.size(), 1u);

  const std::string request = idRequest(kCalculator);
  const Outcome outcome = runBinary(kTovrin, {request, me()});
  seen(request + " -> " + describe(outcome));
  std::this_thread::sleep_for(2s);
  const DesktopFacts after = desktop(kCalculator);
  seen("after the launch: " + pids(after));
  stopStarted(after.running, before);

  ASSERT_EQ(outcome.status, 0) << outcome.out;
  EXPECT_EQ(outcome.err, "");
  const nlohmann::json reply = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(reply.at("pid").get<std::int32_t>(), running.running.front());
  EXPECT_EQ(after.running, running.running);
  EXPECT_EQ(after.front, running.front);
}

// Standard output closed when the programs start: nobody hears the answer, but the status is the
// one it would have been, and nothing goes to standard error. (The stand-in is put through the
// same among the hostile-input tests.)
TEST(MacPrograms, KeepTheirStatusWithStandardOutputClosed) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  TempFolder home;
  const std::vector<std::string> env = environmentWith(kHomeVariable, home.path());
  const struct {
    const char* what;
    std::string program;
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {"tovrin, a request that is no JSON", kTovrin, {"{nope", me()}, 1},
      {"tovrin, no such application", kTovrin, {R"({"name":"No Such Application"})", me()}, 1},
      {"pelsor", kPelsor, {me()}, 0},
  };
  for (const auto& c : cases) {
    const Outcome open = runBinary(c.program, c.args, env);
    const Outcome closed = testing_support::runBinary(
        c.program, c.args,
        {.environment = env, .limit = kLimitSeconds,
         .output = testing_support::StandardOutput::closed});
    seen(std::string(c.what) + ", output open: " + describe(open) +
         "; output closed: " + describe(closed));
    EXPECT_EQ(open.status, c.status) << c.what;
    EXPECT_EQ(closed.status, c.status) << c.what;
    EXPECT_EQ(closed.signal, std::nullopt) << c.what;
    EXPECT_EQ(closed.err, "") << c.what;
  }
}

// The success path with standard output closed: the application is launched, nobody hears the
// line, and the status is still 0.
TEST(MacDesktop, LaunchKeepsItsStatusWithStandardOutputClosed) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  SKIP_WITHOUT_DESKTOP();
  const DesktopFacts before = desktop(kCalculator);
  const std::string request = idRequest(kCalculator);
  const Outcome closed = testing_support::runBinary(
      kTovrin, {request, me()},
      {.limit = kLimitSeconds, .output = testing_support::StandardOutput::closed});
  seen(request + ", output closed -> " + describe(closed));
  DesktopFacts after;
  EXPECT_TRUE(within(10s, [&] {
    after = desktop(kCalculator);
    return !after.running.empty();
  })) << "Calculator does not run";
  stopStarted(after.running, before);
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.signal, std::nullopt);
  EXPECT_EQ(closed.err, "");
}

// "Hidden" is the system's notion on a Mac: a name that begins with "." or the hidden flag
// (chflags hidden). The scan lists folders with NSDirectoryEnumerationSkipsHiddenFiles, which
// skips both. Two bundles of one name answer APPLICATION_NAME_AMBIGUOUS when the scan finds them,
// APPLICATION_NOT_FOUND when it does not: nothing is launched either way.
TEST(MacBundles, TheHiddenFlagKeepsABundleOutOfTheScan) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS (the stand-in knows only names that begin with \".\")";
#endif
  TempFolder home;
  const std::string tag = " " + me();
  for (const char* file : {"Applications/Shown One.app", "Applications/Shown Two.app"}) {
    home.makeBundle(file, testing_support::xmlInfoPlist(
                              {{"CFBundleIdentifier", "org.example.shown"},
                               {"CFBundleName", "Shown" + tag}}));
  }
  for (const char* file : {"Applications/Flagged One.app", "Applications/Flagged Two.app"}) {
    const std::string bundle = home.makeBundle(
        file, testing_support::xmlInfoPlist({{"CFBundleIdentifier", "org.example.flagged"},
                                             {"CFBundleName", "Flagged" + tag}}));
    const Outcome flagged = runBinary("/usr/bin/chflags", {"hidden", bundle});
    ASSERT_EQ(flagged.status, 0) << flagged.err;
    const Outcome listed = runBinary("/bin/ls", {"-ldO", bundle});
    seen("ls -ldO: " + listed.out.substr(0, listed.out.find('\n')));
  }
  const struct {
    std::string name;
    const char* reply;
  } cases[] = {
      {"Shown" + tag, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},  // the folder is scanned
      {"Flagged" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},     // but not what is hidden
  };
  for (const auto& c : cases) {
    const std::string request = nameRequest(c.name);
    const Outcome outcome =
        runBinary(kTovrin, {request, me()}, environmentWith(kHomeVariable, home.path()));
    seen(request + " -> " + describe(outcome));
    EXPECT_EQ(outcome.out, c.reply) << request;
    EXPECT_EQ(outcome.err, "") << request;
  }
}

#ifdef __APPLE__
std::string numberTypeName(CFNumberRef number) {
  static const std::map<CFNumberType, const char*> kNames = {
      {kCFNumberSInt8Type, "SInt8"},     {kCFNumberSInt16Type, "SInt16"},
      {kCFNumberSInt32Type, "SInt32"},   {kCFNumberSInt64Type, "SInt64"},
      {kCFNumberFloat32Type, "Float32"}, {kCFNumberFloat64Type, "Float64"},
      {kCFNumberCharType, "Char"},       {kCFNumberShortType, "Short"},
      {kCFNumberIntType, "Int"},         {kCFNumberLongType, "Long"},
      {kCFNumberLongLongType, "LongLong"}, {kCFNumberFloatType, "Float"},
      {kCFNumberDoubleType, "Double"},   {kCFNumberCFIndexType, "CFIndex"},
      {kCFNumberNSIntegerType, "NSInteger"}, {kCFNumberCGFloatType, "CGFloat"},
  };
  const CFNumberType type = CFNumberGetType(number);
  const auto found = kNames.find(type);
  std::string name = found == kNames.end() ? "type " + std::to_string(type) : found->second;
  return name + (CFNumberIsFloatType(number) ? " (floating point)" : " (integer)");
}

std::string textOf(CFTypeRef ref) {
  char buffer[256];
  if (ref == nullptr || CFGetTypeID(ref) != CFStringGetTypeID() ||
      !CFStringGetCString(static_cast<CFStringRef>(ref), buffer, sizeof buffer,
                          kCFStringEncodingUTF8)) {
    return "?";
  }
  return buffer;
}
#endif

// The window list as the probe receives it: which CFNumber types carry each window's owner pid,
// layer and bounds. The owner pid and the layer are documented as integers (an int), the bounds
// as a rectangle's dictionary of four numbers (X, Y, Width, Height). What came is printed per key.
TEST(MacWindowList, NumberTypesAsTheProbeReceivesThem) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#else
  const CFArrayRef list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly,
                                                     kCGNullWindowID);
  if (list == nullptr) {
    GTEST_SKIP() << "no desktop session: the window list cannot be had (a logged-in GUI session "
                    "is needed)";
  }
  std::map<std::string, std::map<std::string, int>> types;  // key, then type name, to a count
  const CFIndex count = CFArrayGetCount(list);
  for (CFIndex i = 0; i < count; ++i) {
    const CFTypeRef item = CFArrayGetValueAtIndex(list, i);
    if (item == nullptr || CFGetTypeID(item) != CFDictionaryGetTypeID()) {
      ADD_FAILURE() << "window " << i << " is no dictionary";
      continue;
    }
    const auto window = static_cast<CFDictionaryRef>(item);
    for (const auto& [key, name] : {std::pair{kCGWindowOwnerPID, "kCGWindowOwnerPID"},
                                    std::pair{kCGWindowLayer, "kCGWindowLayer"}}) {
      const CFTypeRef value = CFDictionaryGetValue(window, key);
      if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) {
        ADD_FAILURE() << name << " of window " << i << " is missing or no number";
        continue;
      }
      const auto number = static_cast<CFNumberRef>(value);
      types[name][numberTypeName(number)] += 1;
      EXPECT_FALSE(CFNumberIsFloatType(number)) << name << " of window " << i;
    }
    const CFTypeRef bounds = CFDictionaryGetValue(window, kCGWindowBounds);
    if (bounds == nullptr || CFGetTypeID(bounds) != CFDictionaryGetTypeID()) {
      ADD_FAILURE() << "kCGWindowBounds of window " << i << " is missing or no dictionary";
      continue;
    }
    const auto rectangle = static_cast<CFDictionaryRef>(bounds);
    const CFIndex fields = CFDictionaryGetCount(rectangle);
    EXPECT_EQ(fields, 4) << "kCGWindowBounds of window " << i;
    std::vector<const void*> keys(static_cast<std::size_t>(fields));
    std::vector<const void*> values(static_cast<std::size_t>(fields));
    CFDictionaryGetKeysAndValues(rectangle, keys.data(), values.data());
    for (std::size_t f = 0; f < keys.size(); ++f) {
      const std::string field = textOf(keys[f]);
      EXPECT_TRUE(field == "X" || field == "Y" || field == "Width" || field == "Height") << field;
      if (values[f] == nullptr || CFGetTypeID(values[f]) != CFNumberGetTypeID()) {
        ADD_FAILURE() << "kCGWindowBounds." << field << " of window " << i << " is no number";
        continue;
      }
      types["kCGWindowBounds." + field][numberTypeName(static_cast<CFNumberRef>(values[f]))] += 1;
    }
  }
  CFRelease(list);
  seen(std::to_string(count) + " windows on screen");
  EXPECT_GT(count, 0);
  for (const auto& [key, counts] : types) {
    std::string text = key + ":";
    for (const auto& [type, n] : counts) text += " " + type + " x" + std::to_string(n);
    seen(text);
  }
#endif
}

}  // namespace
