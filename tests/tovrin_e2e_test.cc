// The real launcher, started as its parent would start it.
#include <chrono>
#include <csignal>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child.h"
#include "temp_folder.h"

namespace {

using testing_support::Outcome;
using testing_support::runProgram;
using testing_support::TempFolder;
using testing_support::xmlInfoPlist;

const std::string kTovrin = TOVRIN_PATH;

std::string me() { return std::to_string(getpid()); }

// Names and identifiers that no installed application has, so that the system's own application
// folders, present or not, never change an answer.
std::string uniqueName(const std::string& word) { return "Tovrin Fixture " + me() + " " + word; }
std::string uniqueId(const std::string& word) {
  return "org.example.tovrin-fixture-" + me() + "." + word;
}

std::string nameRequest(const std::string& name) { return R"({"name":")" + name + R"("})"; }
std::string idRequest(const std::string& id) { return R"({"bundleId":")" + id + R"("})"; }

// Installs a bundle under `home`, named and identified by `word` as above.
void install(const TempFolder& home, const std::string& relative, const std::string& word) {
  home.makeBundle(relative, xmlInfoPlist({{"CFBundleIdentifier", uniqueId(word)},
                                          {"CFBundleName", uniqueName(word)}}));
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
      {{R"({"name":"X"})", "1"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", "0"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", std::string("-").append(me())}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", std::string(" ").append(me())}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", me() + ".0"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", "99999999999"}, "{\"error\":\"PARENT_GONE\"}\n"},
      {{R"({"name":"X"})", std::to_string(getppid())}, "{\"error\":\"PARENT_GONE\"}\n"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = runProgram(kTovrin, c.args);
    EXPECT_EQ(outcome.out, c.out) << testing::PrintToString(c.args);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
  }
}

// Makes this process a child subreaper, starts an intermediate process that starts the launcher
// with a valid request and the intermediate's own pid, and lets the intermediate die once the
// launcher is waiting. The orphaned launcher comes back to us; it must notice its new parent.
TEST(TovrinEndToEnd, EndsSilentlyWithinASecondOnceItsParentDies) {
  // The request must resolve for the launcher to reach its wait.
  const TempFolder home;
  install(home, "Applications/Waiting.app", "Waiting");
  const std::string request = nameRequest(uniqueName("Waiting"));
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
      // Give the launcher time to pass its checks and reach its wait, then die.
      usleep(300'000);
      _exit(0);
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
    if (!written.empty()) _exit(96);
    if (after > std::chrono::seconds(1)) _exit(97);
    if (!WIFEXITED(status)) _exit(98);
    _exit(WEXITSTATUS(status) == 1 ? 0 : 89);
  });
  EXPECT_EQ(outcome.status, 0) << "90 prctl, 96 output, 97 too slow, 98 signal, 89 wrong status";
}

// Replaces this process with the launcher, given `request` and `parent`, with HOME set to `home`
// and nothing else in its environment.
[[noreturn]] void execLauncher(const std::string& request, const std::string& parent,
                               const std::string& home) {
  const std::string variable = "HOME=" + home;
  char* const argv[] = {const_cast<char*>(kTovrin.c_str()), const_cast<char*>(request.c_str()),
                        const_cast<char*>(parent.c_str()), nullptr};
  char* const envp[] = {const_cast<char*>(variable.c_str()), nullptr};
  execve(kTovrin.c_str(), argv, envp);
  _exit(98);
}

// Runs the launcher as our child. One that is still waiting after five seconds dies of SIGALRM (a
// pending alarm survives exec), so that a request that resolves by mistake fails the test rather
// than hangs it.
Outcome runWithHome(const std::string& request, const std::string& home) {
  const std::string parent = me();
  return testing_support::runInChild([&] {
    alarm(5);
    execLauncher(request, parent, home);
  });
}

// Starts the launcher and tells whether it is still waiting, with nothing written, a while later.
// It is killed then.
bool waitsWithoutAWord(const std::string& request, const std::string& home) {
  const Outcome outcome = testing_support::runInChild([&] {
    int out[2];
    if (pipe(out) != 0) _exit(90);
    const pid_t launcher = fork();
    if (launcher == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      execLauncher(request, std::to_string(getppid()), home);
    }
    close(out[1]);
    usleep(300'000);
    int status = 0;
    const bool running = waitpid(launcher, &status, WNOHANG) == 0;
    kill(launcher, SIGKILL);
    waitpid(launcher, &status, 0);
    const std::string written = testing_support::readAll(out[0]);
    _exit(running && written.empty() ? 0 : 1);
  });
  return outcome.status == 0;
}

TEST(TovrinEndToEnd, WaitsOnceTheApplicationIsResolvedByNameOrIdentifier) {
  const TempFolder home;
  install(home, "Applications/Found.app", "Found");
  home.makeBundle("Applications/Nameless.app",
                  xmlInfoPlist({{"CFBundleIdentifier", uniqueId("Nameless")}}));
  EXPECT_TRUE(waitsWithoutAWord(nameRequest(uniqueName("Found")), home.path()));
  EXPECT_TRUE(waitsWithoutAWord(idRequest(uniqueId("Found")), home.path()));
  // A bundle without a display name is found by its identifier all the same.
  EXPECT_TRUE(waitsWithoutAWord(idRequest(uniqueId("Nameless")), home.path()));
  // A trailing slash on the home folder changes nothing.
  EXPECT_TRUE(waitsWithoutAWord(nameRequest(uniqueName("Found")), home.path() + "/"));
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
                  xmlInfoPlist({{"CFBundleName", uniqueName("Anonymous")}}));
  home.write("Applications/Flat.app", xmlInfoPlist({{"CFBundleName", uniqueName("Flat")}}));

  const std::string notFound = "{\"error\":\"APPLICATION_NOT_FOUND\"}\n";
  const struct {
    std::string request;
    std::string home;
    std::string out;
  } cases[] = {
      {nameRequest(uniqueName("Twin")), home.path(),
       "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},
      {nameRequest(uniqueName("Nested")), home.path(), notFound},
      {nameRequest(uniqueName("Hidden")), home.path(), notFound},
      {nameRequest(uniqueName("Shout")), home.path(), notFound},
      {nameRequest(uniqueName("Flat")), home.path(), notFound},
      {nameRequest(uniqueName("Anonymous")), home.path(), notFound},
      {nameRequest(uniqueName("Cased") + " "), home.path(), notFound},
      {idRequest(uniqueId("Unknown")), home.path(), notFound},
      {idRequest("ORG.EXAMPLE.TOVRIN-FIXTURE-" + me() + ".CASED"), home.path(),
       "{\"error\":\"APPLICATION_ID_MISMATCH\"}\n"},
      {nameRequest(uniqueName("Cased")), home / "Missing", notFound},
      {idRequest(uniqueId("Cased")), home / "Missing", notFound},
  };
  for (const auto& c : cases) {
    const Outcome outcome = runWithHome(c.request, c.home);
    EXPECT_EQ(outcome.out, c.out) << c.request << " with HOME=" << c.home;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
  }
}

}  // namespace
