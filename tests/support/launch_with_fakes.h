// The launcher's entry procedure run with fake services in a forked child: every way through it
// ends the process, so its tests look at what the child wrote and how it ended.
#pragma once

#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "launch/launcher.h"
#include "tests/support/child.h"
#include "tests/support/fake_launcher_services.h"

namespace testing_support {

/// Whether the services' calls come back on standard error, one a line: the fake's own record of
/// them ends with the child.
enum class Calls { untraced, traced };

/// Runs `launch::runLauncher` with `services` in a forked child, given `args` (the program's
/// name is put first), and waits for it.
inline Outcome launchWithFakes(FakeLauncherServices& services, const std::vector<std::string>& args,
                               Calls calls = Calls::untraced) {
  if (calls == Calls::traced) services.traceFd = STDERR_FILENO;
  std::vector<std::string> commandLine = {"tovrin"};
  commandLine.insert(commandLine.end(), args.begin(), args.end());
  return runEntryInChild(launch::runLauncher, commandLine, services);
}

/// The lines of `text`, without their line feeds: the calls that a traced run wrote.
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    result.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return result;
}

}  // namespace testing_support
