// The real probe, started as its parent would start it. On hosts other than macOS there is no
// settings application, so the answer is always "null".
#include <unistd.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child.h"

namespace {

using testing_support::me;
using testing_support::Outcome;
using testing_support::runBinary;

const std::string kPelsor = PELSOR_PATH;

TEST(PelsorEndToEnd, AnswersItsParentInAnyAcceptedForm) {
  for (const std::string& pid : {me(), "+" + me(), "000" + me(), "+0" + me()}) {
    const Outcome outcome = runBinary(kPelsor, {pid});
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
    const Outcome outcome = runBinary(kPelsor, args);
    EXPECT_EQ(outcome.out, "") << testing::PrintToString(args);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
  }
}

TEST(PelsorEndToEnd, AReaderThatHasGoneDoesNotKillIt) {
  const Outcome outcome =
      runBinary(kPelsor, {me()}, {.output = testing_support::StandardOutput::readerGone});
  EXPECT_EQ(outcome.signal, std::nullopt);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
}

}  // namespace
