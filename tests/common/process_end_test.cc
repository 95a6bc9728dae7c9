// The single end of the process, in forked children.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/process_end.h"
#include "tests/support/child.h"

namespace {

using testing_support::directStandardOutput;
using testing_support::runInChild;
using testing_support::StandardOutput;

TEST(ProcessEnd, WritesTheLineAndEndsWithItsStatus) {
  for (const int status : {0, 1}) {
    const auto outcome = runInChild([&] { common::endWithLine("{\"a\":1}", status); });
    EXPECT_EQ(outcome.out, "{\"a\":1}\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, status);
  }
  const auto silent = runInChild([] { common::endSilently(1); });
  EXPECT_EQ(silent.out, "");
  EXPECT_EQ(silent.status, 1);
}

TEST(ProcessEnd, RunsNoStaticDestructorsOrExitHandlers) {
  const auto outcome = runInChild([] {
    std::atexit([] { (void)write(STDOUT_FILENO, "atexit", 6); });
    static struct Noisy {
      ~Noisy() { (void)write(STDOUT_FILENO, "destructor", 10); }
    } noisy;
    (void)noisy;
    common::endWithLine("line", 0);
  });
  EXPECT_EQ(outcome.out, "line\n");
  EXPECT_EQ(outcome.status, 0);
}

TEST(ProcessEnd, TheFirstDecisionWinsAndALaterOneCannotWriteOrChangeTheStatus) {
  const auto outcome = runInChild([] { common::endWithLine("first", 0); });
  ASSERT_EQ(outcome.out, "first\n");

  // A decision taken while another thread is still writing a long line.
  for (int run = 0; run < 50; ++run) {
    const auto race = runInChild([] {
      const std::string longLine(200'000, 'a');
      std::thread other([] { common::endWithLine("bbb", 1); });
      common::endWithLine(longLine, 0);
    });
    const bool aWon = race.out == std::string(200'000, 'a') + "\n" && race.status == 0;
    const bool bWon = race.out == "bbb\n" && race.status == 1;
    ASSERT_TRUE(aWon || bWon) << "run " << run << ": " << race.out.size() << " bytes, status "
                              << race.status.value_or(-1);
    ASSERT_EQ(race.err, "");
  }
}

TEST(ProcessEnd, WritesALongLineCompletelyThroughShortWritesAndInterruptions) {
  const auto outcome = runInChild([] {
    // A timer that keeps interrupting the blocked write without SA_RESTART forces both short
    // writes and EINTR.
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigaction(SIGALRM, &action, nullptr);
    itimerval every{{0, 200}, {0, 200}};
    setitimer(ITIMER_REAL, &every, nullptr);
    std::string line(8 << 20, 'x');
    for (std::size_t i = 0; i < line.size(); i += 4099) line[i] = static_cast<char>('a' + i % 26);
    common::endWithLine(line, 0);
  });
  std::string expected(8 << 20, 'x');
  for (std::size_t i = 0; i < expected.size(); i += 4099) {
    expected[i] = static_cast<char>('a' + i % 26);
  }
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(outcome.out == expected + "\n") << outcome.out.size() << " bytes";
}

TEST(ProcessEnd, KeepsItsStatusWhenStandardOutputIsClosedOrItsReaderHasGone) {
  const auto closed = runInChild([] {
    directStandardOutput(StandardOutput::closed);
    common::endWithLine("lost", 0);
  });
  EXPECT_EQ(closed.signal, std::nullopt);
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.err, "");

  for (const int status : {0, 1}) {
    const auto gone = runInChild([status] {
      directStandardOutput(StandardOutput::readerGone);
      common::endWithLine("lost", status);
    });
    EXPECT_EQ(gone.signal, std::nullopt);
    EXPECT_EQ(gone.status, status);
    EXPECT_EQ(gone.err, "");
  }
}

TEST(ProcessEnd, ClosedStandardDescriptorsAreTakenByDevNullBeforeAnythingElse) {
  const std::vector<int> closedSets[] = {
      {STDIN_FILENO, STDOUT_FILENO},
      {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO},
      {STDERR_FILENO},
  };
  for (const std::vector<int>& closed : closedSets) {
    const auto outcome = runInChild([&] {
      struct stat null {};
      if (stat("/dev/null", &null) != 0) _exit(90);
      for (const int fd : closed) close(fd);
      common::reserveStandardDescriptors();
      for (const int fd : closed) {
        struct stat info {};
        if (fstat(fd, &info) != 0 || info.st_rdev != null.st_rdev) _exit(91);
      }
      // A file opened now cannot take a standard number and receive the answer or anything else.
      if (open("/dev/zero", O_RDONLY) <= STDERR_FILENO) _exit(92);
      common::endWithLine("line", 0);
    });
    EXPECT_EQ(outcome.status, 0) << testing::PrintToString(closed);
    EXPECT_EQ(outcome.err, "");
  }
}

}  // namespace
