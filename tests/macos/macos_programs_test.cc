// The shipped programs on a Mac as a whole, over every backend file at once: what they do with
// the standard streams they are given. Skipped where there is no Mac.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/macos/macos_support.h"
#include "tests/support/bundle_builders.h"

namespace {

using macos_testing::describe;
using macos_testing::Outcome;
using macos_testing::runBounded;
using macos_testing::seen;
using testing_support::me;

// Standard output closed when the programs start: nobody hears the answer, but the status is the
// one it would have been, and nothing goes to standard error. (The stand-in is put through the
// same among the hostile-input tests.)
TEST(MacPrograms, KeepTheirStatusWithStandardOutputClosed) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS";
#endif
  testing_support::TempFolder home;
  const std::vector<std::string> env =
      macos_testing::environmentWith(macos_testing::kHomeVariable, home.path());
  const struct {
    const char* what;
    std::string program;
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {"tovrin, a request that is no JSON", macos_testing::kTovrin, {"{nope", me()}, 1},
      {"tovrin, no such application",
       macos_testing::kTovrin,
       {R"({"name":"No Such Application"})", me()},
       1},
      {"pelsor", macos_testing::kPelsor, {me()}, 0},
  };
  for (const auto& c : cases) {
    const Outcome open = runBounded(c.program, c.args, env);
    const Outcome closed =
        testing_support::runBinary(c.program, c.args,
                                   {.environment = env,
                                    .limit = macos_testing::kLimitSeconds,
                                    .output = testing_support::StandardOutput::closed});
    seen(std::string(c.what) + ", output open: " + describe(open) +
         "; output closed: " + describe(closed));
    EXPECT_EQ(open.status, c.status) << c.what;
    EXPECT_EQ(closed.status, c.status) << c.what;
    EXPECT_EQ(closed.signal, std::nullopt) << c.what;
    EXPECT_EQ(closed.err, "") << c.what;
  }
}

}  // namespace
