// The real launcher, started as its parent would start it.
#include <chrono>
#include <csignal>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child.h"

namespace {

using testing_support::Outcome;
using testing_support::runProgram;

const std::string kTovrin = TOVRIN_PATH;

std::string me() { return std::to_string(getpid()); }

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
  const Outcome outcome = testing_support::runInChild([] {
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
        execl(kTovrin.c_str(), kTovrin.c_str(), R"({"name":"No Such Application"})",
              parent.c_str(), static_cast<char*>(nullptr));
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

}  // namespace
