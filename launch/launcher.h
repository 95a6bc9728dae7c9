#pragma once

#include "platform/launcher_services.h"

namespace launch {

/// How often the parent watch looks at the parent, in seconds.
inline constexpr double kParentWatchInterval = 0.1;

/// The launcher's entry procedure. `argv` holds the program path and then the arguments as the
/// parent gave them. Every way through it ends the process.
[[noreturn]] void runLauncher(int argc, const char* const argv[],
                              platform::LauncherServices& services);

}  // namespace launch
