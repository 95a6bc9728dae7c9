// The real launcher, started as its parent would start it.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/bundle_builders.h"
#include "tests/support/child.h"
#include "tests/support/requests.h"

namespace {

using testing_support::idRequest;
using testing_support::installLaunchable;
using testing_support::me;
using testing_support::nameRequest;
using testing_support::Outcome;
using testing_support::runBinary;
using testing_support::TempFolder;
using testing_support::xmlInfoPlist;

const std::string kTovrin = TOVRIN_PATH;
const std::string kFixtureApp = FIXTURE_APP_PATH;

// Names and identifiers that no installed application has, so that the system's own application
// folders, present or not, never change an answer.
const testing_support::UniqueNames unique("tovrin");

// Installs a bundle under `home`, named and identified by `word` as above.
void install(const TempFolder& home, const std::string& relative, const std::string& word) {
  home.makeBundle(relative, xmlInfoPlist({{"CFBundleIdentifier", unique.id(word)},
                                          {"CFBundleName", unique.name(word)}}));
}

// Whether `pid` is a live process (not a zombie) running `executable`.
bool runs(int pid, const std::string& executable) {
  std::error_code error;
  const auto image = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  if (error || image != std::filesystem::canonical(executable)) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(TovrinEndToEnd, AnswersEveryRefusalWithItsReplyAndStatus) {
  const struct {
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {{}, "{\"error\":\"INVALID_PARAMS\"}\n"},
      {{me()}, "{\"error\":\"INVALID_PARAMS\"}\n"},
      {{R"({"name":"X"})", me(), me()}, "{\"error\":\"INVALID_PARAMS\"}\n"},
      {{"{nope", "1"}, "{\"error\":\"INVALID_PARAMS\"}\n"},
      {{R"({"name":"X","bundleId":"y"})", me()}, "{\"error\":\"INVALID_PARAMS\"}\n"},
      {{"\xEF\xBB\xBF{\"name\":\"X\"}", me()}, "{\"error\":\"INVALID_PARAMS\"}\n"},
      {{R"({"name":1e400})", "1"}, "{\"error\":\"INVALID_PARAMS\"}\n"},
      // A valid request, whatever number an ignored member holds: only the parent is wrong.
      {{R"({"x":-1e400,"name":"X"})", "1"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", "1"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", "0"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", std::string("-").append(me())}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", std::string(" ").append(me())}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", me() + ".0"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", "99999999999"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", std::to_string(getppid())}, "{\"error\":\"PARENT_GONE\"}\n"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = runBinary(kTovrin, c.args);
    EXPECT_EQ(outcome.out, c.out) << testing::PrintToString(c.args);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
  }
}

// Makes this process a child subreaper, starts an intermediate process that starts the launcher
// with a valid request and the intermediate's own pid, and lets the intermediate die while the
// launch is under way. The orphaned launcher comes back to us; it must notice its new parent.
// The stand-in's launch reads the bundle's Info.plist once more on a thread of its own before it
// starts the executable; a large one keeps the launch under way for a good while, and that
// thread's appearance tells the intermediate when to die.
TEST(TovrinEndToEnd, EndsSilentlyWithinASecondOnceItsParentDies) {
  const TempFolder home;
  std::vector<std::pair<std::string, std::string>> info = {
      {"CFBundleIdentifier", unique.id("Waiting")}, {"CFBundleName", unique.name("Waiting")}};
  installLaunchable(home, "Applications/Waiting.app", info, kFixtureApp);
  // Many small arrays rather than one long one: the property-list reader grows an array a little
  // at a time, which costs quadratic time under AddressSanitizer.
  std::string padding = "<key>Padding</key><array>";
  for (int i = 0; i < 1000; ++i) {
    padding += "<array>";
    for (int j = 0; j < 500; ++j) padding += "<string>x</string>";
    padding += "</array>";
  }
  padding += "</array>";
  info.emplace_back("CFBundleExecutable", "runner");
  std::string plist = xmlInfoPlist(info);
  plist.insert(plist.rfind("</dict>"), padding);
  home.write("Applications/Waiting.app/Contents/Info.plist", plist);
  const std::string request = nameRequest(unique.name("Waiting"));

  const Outcome outcome = testing_support::runInChild([&] {
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) _exit(90);
    int out[2];
    int ready[2];
    if (pipe(out) != 0 || pipe(ready) != 0) _exit(91);
    const pid_t middle = fork();
    if (middle == 0) {
      const pid_t launcher = fork();
      if (launcher == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const std::string parent = std::to_string(getppid());
        setenv("HOME", home.path().c_str(), 1);
        execl(kTovrin.c_str(), kTovrin.c_str(), request.c_str(), parent.c_str(),
              static_cast<char*>(nullptr));
        _exit(92);
      }
      if (write(ready[1], &launcher, sizeof launcher) != sizeof launcher) _exit(93);
      // The launcher's second thread is the launch's: die as soon as it is there.
      const std::string status = "/proc/" + std::to_string(launcher) + "/status";
      for (int waited = 0; waited < 10'000; ++waited) {
        std::ifstream in(status);
        std::string line;
        while (std::getline(in, line)) {
          if (line.rfind("Threads:", 0) == 0 && std::stoi(line.substr(8)) >= 2) _exit(0);
        }
        usleep(1000);
      }
      _exit(93);
    }
    close(out[1]);
    close(ready[1]);
    pid_t launcher = 0;
    if (read(ready[0], &launcher, sizeof launcher) != sizeof launcher) _exit(94);
    waitpid(middle, nullptr, 0);
    const auto died = std::chrono::steady_clock::now();
    int status = 0;
    if (waitpid(launcher, &status, 0) != launcher) _exit(95);
    const auto after = std::chrono::steady_clock::now() - died;
    const std::string written = testing_support::readAll(out[0]);
    if (!written.empty()) {
      // It launched after all: stop the application before failing.
      const auto reply = nlohmann::json::parse(written, nullptr, false);
      if (reply.is_object() && reply.contains("pid")) kill(reply["pid"].get<int>(), SIGKILL);
      _exit(96);
    }
    if (after > std::chrono::seconds(1)) _exit(97);
    if (!WIFEXITED(status)) _exit(98);
    _exit(WEXITSTATUS(status) == 1 ? 0 : 89);
  });
  EXPECT_EQ(outcome.status, 0)
      << "90 prctl, 92-95 set-up, 96 output, 97 too slow, 98 signal, 89 wrong status";
}

// Runs the launcher as our child, with HOME set to `home` and nothing else in its environment. One
// that is still waiting after five seconds is killed, so that a request that resolves by mistake
// fails the test rather than hangs it.
Outcome runWithHome(const std::string& request, const std::string& home) {
  return runBinary(kTovrin, {request, me()},
                   {.environment = testing_support::onlyHome(home), .limit = 5});
}

TEST(TovrinEndToEnd, LaunchesInTheBackgroundByNameAndByIdentifier) {
  const TempFolder home;
  const std::string named = installLaunchable(
      home, "Applications/Runner.app",
      {{"CFBundleIdentifier", unique.id("Runner")}, {"CFBundleName", unique.name("Runner")}},
      kFixtureApp);
  const std::string nameless =
      installLaunchable(home, "Applications/Nameless.app",
                        {{"CFBundleIdentifier", unique.id("Nameless")}}, kFixtureApp);
  const struct {
    std::string request;
    std::string executable;
    std::string bundleId;
    std::string name;
  } cases[] = {
      {nameRequest(unique.name("Runner")), named, unique.id("Runner"), unique.name("Runner")},
      {idRequest(unique.id("Runner")), named, unique.id("Runner"), unique.name("Runner")},
      // A bundle without a display name is launched by its identifier, with an empty name.
      {idRequest(unique.id("Nameless")), nameless, unique.id("Nameless"), ""},
  };
  for (const auto& c : cases) {
    // runWithHome reads the launcher's output to its end and waits for it to exit: it returns
    // while the application still runs, which holds nothing of the launcher's open.
    const Outcome outcome = runWithHome(c.request, home.path());
    const std::optional<int> pid =
        testing_support::expectSuccessReply(outcome, c.bundleId, c.name, c.request);
    ASSERT_TRUE(pid.has_value());
    EXPECT_TRUE(runs(*pid, c.executable)) << c.request;
    kill(*pid, SIGKILL);
  }
}

// The value of the line "`field`:" in /proc/`pid`/status, or "" when there is none.
std::string statusField(int pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      const auto value = line.find_first_not_of(" \t", field.size() + 1);
      return value == std::string::npos ? "" : line.substr(value);
    }
  }
  return "";
}

// The open descriptors of `pid`, each with what it leads to.
std::map<int, std::string> descriptors(int pid) {
  std::map<int, std::string> found;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code unreadable;
    found[std::stoi(entry.path().filename().string())] =
        std::filesystem::read_symlink(entry.path(), unreadable).string();
  }
  return found;
}

// The launched application owes nothing to how the launcher was started: a parent that ignores
// SIGINT and SIGPIPE, blocks SIGUSR1 and leaves a pipe open across exec must not pass any of that
// on. The application runs in a session of its own with exactly standard input, output and
// error, all on /dev/null.
TEST(TovrinEndToEnd, TheApplicationStartsCleanWhateverTheLauncherInherited) {
  const TempFolder home;
  const std::string executable = installLaunchable(
      home, "Applications/Clean.app",
      {{"CFBundleIdentifier", unique.id("Clean")}, {"CFBundleName", unique.name("Clean")}},
      kFixtureApp);
  int inherited[2];
  ASSERT_EQ(pipe(inherited), 0);
  const Outcome outcome =
      runBinary(kTovrin, {nameRequest(unique.name("Clean")), me()},
                {.environment = testing_support::onlyHome(home.path()), .limit = 5, .prepare = [&] {
                   signal(SIGINT, SIG_IGN);
                   signal(SIGPIPE, SIG_IGN);
                   sigset_t blocked;
                   sigemptyset(&blocked);
                   sigaddset(&blocked, SIGUSR1);
                   sigprocmask(SIG_BLOCK, &blocked, nullptr);
                   if (dup2(inherited[1], 7) != 7) _exit(90);
                 }});
  close(inherited[0]);
  close(inherited[1]);
  EXPECT_EQ(outcome.status, 0);
  const auto reply = nlohmann::json::parse(outcome.out, nullptr, false);
  ASSERT_TRUE(reply.is_object() && reply["pid"].is_number_integer()) << outcome.out;
  const int pid = reply["pid"].get<int>();
  EXPECT_TRUE(runs(pid, executable));

  // Signals 32 and 33 are the C library's own, which no program sees; glibc starts a process
  // with them ignored. Every other signal has its default handling and none is blocked.
  const unsigned long long libraryOwn = (1ULL << (32 - 1)) | (1ULL << (33 - 1));
  const unsigned long long ignored = std::stoull(statusField(pid, "SigIgn"), nullptr, 16);
  EXPECT_EQ(ignored & ~libraryOwn, 0u) << std::hex << ignored;
  EXPECT_EQ(statusField(pid, "SigBlk"), "0000000000000000");
  // A sanitizer's start-up may hold a file open for a moment: wait for the descriptors to settle.
  const std::map<int, std::string> onlyStandard = {
      {0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}};
  std::map<int, std::string> open = descriptors(pid);
  for (int waited = 0; open != onlyStandard && waited < 100; ++waited) {
    usleep(10'000);
    open = descriptors(pid);
  }
  EXPECT_EQ(open, onlyStandard);
  // The session id is the sixth field of /proc/pid/stat, the fourth after the command's ")".
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string state, parentPid, group, session;
  fields >> state >> parentPid >> group >> session;
  EXPECT_EQ(session, std::to_string(pid));
  kill(pid, SIGKILL);
}

TEST(TovrinEndToEnd, ABundleWhoseExecutableCannotBeStartedFailsToLaunch) {
  const TempFolder home;
  installLaunchable(
      home, "Applications/Broken.app",
      {{"CFBundleIdentifier", unique.id("Broken")}, {"CFBundleName", unique.name("Broken")}},
      kFixtureApp);
  std::filesystem::remove(home / "Applications/Broken.app/Contents/MacOS/runner");
  install(home, "Applications/Plain.app", "Plain");  // no CFBundleExecutable at all
  // An executable named by a path, even one that leads back to a real executable, is refused.
  installLaunchable(home, "Applications/Climber.app",
                    {{"CFBundleIdentifier", unique.id("Climber")}}, kFixtureApp);
  home.write("Applications/Climber.app/Contents/Info.plist",
             xmlInfoPlist({{"CFBundleIdentifier", unique.id("Climber")},
                           {"CFBundleExecutable", "../MacOS/runner"}}));
  ASSERT_TRUE(
      std::filesystem::exists(home / "Applications/Climber.app/Contents/MacOS/../MacOS/runner"));
  const std::string requests[] = {nameRequest(unique.name("Broken")), idRequest(unique.id("Plain")),
                                  idRequest(unique.id("Climber"))};
  for (const std::string& request : requests) {
    const Outcome outcome = runWithHome(request, home.path());
    EXPECT_EQ(outcome.out, "{\"error\":\"APPLICATION_LAUNCH_FAILED\"}\n") << request;
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "");
  }
}

// Started with its standard input and output closed, the launcher still ends with the status of
// what happened; its own descriptors must not be mistaken for those of the launched application.
TEST(TovrinEndToEnd, KeepsItsStatusWithItsStandardStreamsClosed) {
  const TempFolder home;
  installLaunchable(
      home, "Applications/Broken.app",
      {{"CFBundleIdentifier", unique.id("Broken")}, {"CFBundleName", unique.name("Broken")}},
      kFixtureApp);
  std::filesystem::remove(home / "Applications/Broken.app/Contents/MacOS/runner");
  const Outcome outcome = runBinary(kTovrin, {nameRequest(unique.name("Broken")), me()},
                                    {.environment = testing_support::onlyHome(home.path()),
                                     .limit = 5,
                                     .output = testing_support::StandardOutput::closed,
                                     .prepare = [] { close(STDIN_FILENO); }});
  EXPECT_EQ(outcome.status, 1);  // the launch failed: not 0
  EXPECT_EQ(outcome.signal, std::nullopt);
  EXPECT_EQ(outcome.err, "");
}

TEST(TovrinEndToEnd, AnswersEveryResolutionFailureWithItsReply) {
  const TempFolder home;
  install(home, "Applications/Twin One.app", "Twin");
  install(home, "Applications/Twin Two.app", "Twin");
  install(home, "Applications/Utilities/Nested.app", "Nested");
  install(home, "Applications/.Hidden.app", "Hidden");
  install(home, "Applications/Shout.APP", "Shout");
  install(home, "Applications/Cased.app", "Cased");
  home.makeBundle("Applications/Anonymous.app",
                  xmlInfoPlist({{"CFBundleName", unique.name("Anonymous")}}));
  home.write("Applications/Flat.app", xmlInfoPlist({{"CFBundleName", unique.name("Flat")}}));

  const std::string notFound = "{\"error\":\"APPLICATION_NOT_FOUND\"}\n";
  const struct {
    std::string request;
    std::string home;
    std::string out;
  } cases[] = {
      {nameRequest(unique.name("Twin")), home.path(),
       "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},
      {nameRequest(unique.name("Nested")), home.path(), notFound},
      {nameRequest(unique.name("Hidden")), home.path(), notFound},
      {nameRequest(unique.name("Shout")), home.path(), notFound},
      {nameRequest(unique.name("Flat")), home.path(), notFound},
      {nameRequest(unique.name("Anonymous")), home.path(), notFound},
      {nameRequest(unique.name("Cased") + " "), home.path(), notFound},
      {idRequest(unique.id("Unknown")), home.path(), notFound},
      {idRequest("ORG.EXAMPLE.TOVRIN-FIXTURE-" + me() + ".CASED"), home.path(),
       "{\"error\":\"APPLICATION_ID_MISMATCH\"}\n"},
      {nameRequest(unique.name("Cased")), home / "Missing", notFound},
      {idRequest(unique.id("Cased")), home / "Missing", notFound},
  };
  for (const auto& c : cases) {
    const Outcome outcome = runWithHome(c.request, c.home);
    EXPECT_EQ(outcome.out, c.out) << c.request << " with HOME=" << c.home;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
  }
}

}  // namespace
