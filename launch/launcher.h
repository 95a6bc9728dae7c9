#pragma once

#include <string_view>

#include "platform/launcher_services.h"

namespace launch {

/// How often the parent watch looks at the parent, in seconds.
inline constexpr double kParentWatchInterval = 0.1;

/// Ends the run with the failure reply for `code` and status 1. Callable from any thread.
[[noreturn]] void fail(std::string_view code);

/// The launcher's entry procedure. `argv` holds the program path and then the arguments as the
/// parent gave them. Every way through it ends the process.
[[noreturn]] void runLauncher(int argc, const char* const argv[],
                              platform::LauncherServices& services);

}  // namespace launch
