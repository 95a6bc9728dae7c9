#pragma once

#include <string>

#include "launch/resolution.h"
#include "platform/launcher_services.h"

namespace launch {

/// Asks the system to open the resolved application without activating it, and returns at once.
/// When the system reports, `completeLaunch` answers and ends the process, with copies of the
/// identifier and display name taken now: `application` need not outlive the call.
void launchApplication(const ResolvedApplication& application,
                       platform::LauncherServices& services);

/// The open call's completion handler: an error is APPLICATION_LAUNCH_FAILED (even beside an
/// application); no application, or one whose pid is not above 0, is APPLICATION_PID_UNAVAILABLE;
/// otherwise the success reply with `bundleId`, `actualName` and the pid, status 0. Callable from
/// any thread; never returns.
[[noreturn]] void completeLaunch(const platform::OpenReport& report, const std::string& bundleId,
                                 const std::string& actualName);

}  // namespace launch
