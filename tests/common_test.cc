#include <csignal>
#include <cstdint>
#include <optional>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "common/parent_pid.h"
#include "common/process_end.h"
#include "common/utf8.h"

namespace {

using testing_support::runInChild;

TEST(ParsePid, ReadsTheSignedDecimalForms) {
  const struct {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"4242", 4242},
      {"+4242", 4242},
      {"0004242", 4242},
      {"+0004242", 4242},
      {"-17", -17},
      {"0", 0},
      {"-0", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"00000000000000000000002147483647", INT32_MAX},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"++1", std::nullopt},
      {"+-1", std::nullopt},
      {" 42", std::nullopt},
      {"42 ", std::nullopt},
      {"42\n", std::nullopt},
      {"42.0", std::nullopt},
      {"4e2", std::nullopt},
      {"0x2a", std::nullopt},
      {"4_2", std::nullopt},
      {"\xEF\xBC\x94\xEF\xBC\x92", std::nullopt},  // full-width digits
      {"\xEF\xBF\xBD", std::nullopt},
      {std::string_view("4\0" "2", 3).data(), 4},  // a C string ends at the NUL
  };
  for (const auto& c : cases) {
    EXPECT_EQ(common::parsePid(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(AcceptParent, NeedsANumberOfAtLeastTwoThatIsTheParent) {
  EXPECT_EQ(common::acceptParent("4242", 4242), 4242);
  EXPECT_EQ(common::acceptParent("+04242", 4242), 4242);
  EXPECT_EQ(common::acceptParent("2", 2), 2);
  EXPECT_EQ(common::acceptParent("4243", 4242), std::nullopt);
  EXPECT_EQ(common::acceptParent("1", 1), std::nullopt);  // even when the parent really is 1
  EXPECT_EQ(common::acceptParent("0", 0), std::nullopt);
  EXPECT_EQ(common::acceptParent("-4242", -4242), std::nullopt);
  EXPECT_EQ(common::acceptParent("4242.0", 4242), std::nullopt);
}

TEST(Utf8, ReplacesEachMaximalSubpartOfAnIllFormedSequence) {
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\xFF", "\xEF\xBF\xBD"},
      {"a\x80z", "a\xEF\xBF\xBDz"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong: two subparts
      {"\xE0\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong three bytes
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // encoded surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // > U+10FFFF
      {"\xE2\x82", "\xEF\xBF\xBD"},                              // truncated: one subpart
      {"\xE2\x82x", "\xEF\xBF\xBDx"},
      {"\xF0\x9F\x98", "\xEF\xBF\xBD"},
      {"\xF0\x9F\x98\xF0\x9F\x98\x80", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"\xE9t\xE9", "\xEF\xBF\xBDt\xEF\xBF\xBD"},  // Latin-1
      // The edges of the lead bytes: 0xDF leads two bytes; 0xF0 needs at least 0x90 next (below is
      // overlong); 0xF5 and above lead nothing.
      {"\xDF\xBF", "\xDF\xBF"},
      {"\xC2\x80", "\xC2\x80"},
      {"\xF0\x80\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80"},
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"\xF5\x80\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC1\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(common::replaceInvalidUtf8(c.bytes), c.text) << testing::PrintToString(c.bytes);
    EXPECT_EQ(common::isValidUtf8(c.bytes), c.bytes == c.text) << testing::PrintToString(c.bytes);
    EXPECT_TRUE(common::isValidUtf8(c.text));
  }
}

// --- the single end of the process ---------------------------------------------------------

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
  const auto outcome = runInChild([] {
    common::endWithLine("first", 0);
  });
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
    struct sigaction action{};
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
    close(STDOUT_FILENO);
    common::endWithLine("lost", 0);
  });
  EXPECT_EQ(closed.signal, std::nullopt);
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.err, "");

  for (const int status : {0, 1}) {
    const auto gone = runInChild([status] {
      int fds[2];
      if (pipe(fds) != 0) _exit(97);
      close(fds[0]);
      dup2(fds[1], STDOUT_FILENO);
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
      struct stat null{};
      if (stat("/dev/null", &null) != 0) _exit(90);
      for (const int fd : closed) close(fd);
      common::reserveStandardDescriptors();
      for (const int fd : closed) {
        struct stat info{};
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
