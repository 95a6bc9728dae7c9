// The real probe, started as its parent would start it. On hosts other than macOS there is no
// settings application, so the answer is always "null".
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"

namespace {

using testing_support::Outcome;
using testing_support::runInChild;
using testing_support::runProgram;

const std::string kPelsor = PELSOR_PATH;

std::string me() { return std::to_string(getpid()); }

TEST(PelsorEndToEnd, AnswersItsParentInAnyAcceptedForm) {
  for (const std::string& pid : {me(), "+" + me(), "000" + me(), "+0" + me()}) {
    const Outcome outcome = runProgram(kPelsor, {pid});
    EXPECT_EQ(outcome.out, "null\n") << pid;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
  }
}

TEST(PelsorEndToEnd, RefusesEveryOtherCommandLineSilently) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {me(), me()},
      {std::string(" ").append(me())},
      {me() + " "},
      {me() + ".0"},
      {"0"},
      {"1"},
      {std::string("-").append(me())},
      {std::to_string(getppid())},  // a live process, but not the parent
      {"2147483648"},
      {"abc"},
  };
  for (const auto& args : cases) {
    const Outcome outcome = runProgram(kPelsor, args);
    EXPECT_EQ(outcome.out, "") << testing::PrintToString(args);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
  }
}

TEST(PelsorEndToEnd, AReaderThatHasGoneDoesNotKillIt) {
  const Outcome outcome = runInChild([] {
    int fds[2];
    if (pipe(fds) != 0) _exit(97);
    const std::string parent = std::to_string(getpid());
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      dup2(fds[1], STDOUT_FILENO);
      execl(kPelsor.c_str(), kPelsor.c_str(), parent.c_str(), static_cast<char*>(nullptr));
      _exit(98);
    }
    close(fds[0]);  // nobody will read
    close(fds[1]);
    int status = 0;
    waitpid(child, &status, 0);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status));
  });
  EXPECT_EQ(outcome.status, 0);
}

}  // namespace
