// The failure answer, which may be given from any thread.
#include <thread>

#include <gtest/gtest.h>

#include "launch/fail.h"
#include "tests/support/child.h"

namespace {

using testing_support::Outcome;
using testing_support::runInChild;

TEST(Fail, WritesTheFailureReplyFromAnyThread) {
  const Outcome outcome = runInChild([] {
    std::thread other([] { launch::fail("APPLICATION_NOT_FOUND"); });
    other.join();
  });
  EXPECT_EQ(outcome.out, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n");
  EXPECT_EQ(outcome.status, 1);
}

}  // namespace
