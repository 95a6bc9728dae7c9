#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

/// How a child process ended and what it wrote.
struct Outcome {
  std::string out;              ///< everything written to standard output
  std::string err;              ///< everything written to standard error
  std::optional<int> status;    ///< exit status, when it exited
  std::optional<int> signal;    ///< terminating signal, when it was killed
  double seconds = 0;           ///< from `start` (see collect) to the child's end
  long maxRssKiB = 0;           ///< the child's peak resident set
};

/// Reads the child's standard output and error pipes to their ends, then reaps it. A child still
/// running `limit` seconds after `start` is killed (and reported as killed by SIGKILL), so that a
/// hang fails a test rather than stopping the suite. Closes both pipe ends.
Outcome collect(pid_t child, int outFd, int errFd,
                std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now(),
                std::optional<double> limit = std::nullopt);

/// Runs `body` in a forked child whose standard output and error are pipes, and waits for it.
/// A body that returns ends the child with status 99, which no code under test uses.
Outcome runInChild(const std::function<void()>& body);

/// Where a started program's standard output goes: a pipe read by `collect`, or nowhere at all
/// (file descriptor 1 closed when the program starts).
enum class StandardOutput { pipe, closed };

/// Starts `path` with `args` (the program path is added as the first entry) as a child of this
/// process, with standard input on /dev/null, and waits for it. `env`, when given, replaces the
/// environment. With `limit`, a program still running that many seconds after its start is
/// killed (see collect).
Outcome runProgram(const std::string& path, const std::vector<std::string>& args,
                   const std::optional<std::vector<std::string>>& env = std::nullopt,
                   std::optional<double> limit = std::nullopt,
                   StandardOutput output = StandardOutput::pipe);

/// Reads a file descriptor to its end.
std::string readAll(int fd);

}  // namespace testing_support
