#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

#include "platform/launcher_services.h"

namespace platform::posix {

/// Starts `executable` with no arguments and our environment, in a new session, with no signal
/// blocked and every signal's handling the default, standard input, output and error on /dev/null
/// and no other descriptor of ours. Its pid once it runs that executable; none when it cannot be
/// started. The process is not waited for.
std::optional<pid_t> startDetached(const std::string& executable);

/// Opens the bundle at `path`: starts Contents/MacOS/ followed by its "CFBundleExecutable" text,
/// then reports from a thread of its own: the pid once it runs, or an error when there is no such
/// executable or it cannot be started. There is nothing to activate here.
void openApplication(const std::string& path, std::function<void(const OpenReport&)> completion);

}  // namespace platform::posix
