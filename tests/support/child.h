// Child processes for the tests: code under test run in a forked child, and real programs started
// as their parent starts them. Anything that ends the process is run this way, and what it wrote
// and how it ended is checked.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

/// How a child process ended and what it wrote.
struct Outcome {
  std::string out;            ///< everything written to standard output
  std::string err;            ///< everything written to standard error
  std::optional<int> status;  ///< exit status, when it exited
  std::optional<int> signal;  ///< terminating signal, when it was killed
  double seconds = 0;         ///< from the fork to the child's end
  long maxRssKiB = 0;         ///< the child's peak resident set
};

/// Runs `body` in a forked child whose standard output and error are pipes, and waits for it.
/// A body that returns ends the child with status 99, which no code under test uses.
Outcome runInChild(const std::function<void()>& body);

/// Runs an entry procedure (`launch::runLauncher`, `probe::runProbe`) with `services` in a forked
/// child, given `commandLine` (the program's name first) as its arguments, and waits for it.
template <typename Services, typename Fake>
Outcome runEntryInChild(void (*entry)(int, const char* const[], Services&),
                        const std::vector<std::string>& commandLine, Fake& services) {
  return runInChild([&] {
    std::vector<const char*> argv;
    for (const std::string& arg : commandLine) argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    entry(static_cast<int>(argv.size() - 1), argv.data(), services);
  });
}

/// Where standard output goes: a pipe that is read to its end, nowhere (file descriptor 1
/// closed), or a pipe whose reading end is already closed, so that a write fails with EPIPE (or
/// raises SIGPIPE).
enum class StandardOutput { pipe, closed, readerGone };

/// Points standard output of this process where `output` says; for a forked child about to run
/// the code under test (`pipe` leaves it as it is).
void directStandardOutput(StandardOutput output);

/// How `runBinary` starts a program. (The empty initialisers keep GCC 12 from warning about the
/// members a designated initialiser leaves out.)
struct ProgramSettings {
  /// The whole environment, when given; otherwise this process's own.
  std::optional<std::vector<std::string>> environment{};
  /// A program still running that many seconds after its start is killed and reported as killed
  /// by SIGKILL, so that a hang fails a test rather than stopping the suite.
  std::optional<double> limit{};
  StandardOutput output = StandardOutput::pipe;
  /// Runs in the child just before the program replaces it, once its standard streams are set:
  /// for a state of the test's own that the program inherits (signals, descriptors).
  std::function<void()> prepare{};
};

/// Starts `path` with `args` (the program path is added as the first entry) as a child of this
/// process, with standard input on /dev/null and standard error a pipe, and waits for it.
Outcome runBinary(const std::string& path, const std::vector<std::string>& args,
                  const ProgramSettings& settings = {});

/// An environment that holds HOME=`home` and nothing else.
std::vector<std::string> onlyHome(const std::string& home);

/// This process's pid, as the parent argument of a program it starts.
std::string me();

/// Reads a file descriptor to its end.
std::string readAll(int fd);

}  // namespace testing_support
