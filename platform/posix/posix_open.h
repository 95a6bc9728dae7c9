#pragma once

#include <sys/types.h>
#include <optional>
#include <string>

namespace platform::posix {

/// Starts `executable` with no arguments and our environment, in a new session, with no signal
/// blocked and every signal's handling the default, standard input, output and error on /dev/null
/// and no other descriptor of ours. Its pid once it runs that executable; none when it cannot be
/// started. The process is not waited for.
std::optional<pid_t> startDetached(const std::string& executable);

}  // namespace platform::posix
