// Prints what the system says about the desktop right now, for the macOS tests, the workflow and
// the demo. A fresh process each time, as the workspace's view of running applications is
// refreshed only by a running main run loop, which the tests do not have.
//
//   desktop_facts BUNDLE_ID
//     the frontmost application's pid (or "none"), then on a second line the pids of the running
//     applications with that identifier;
//   desktop_facts --display-name BUNDLE_ID
//     the display name of the application the system's lookup gives for that identifier, as the
//     launcher reads it from the bundle (localised for this user, with the launcher's rule), on
//     one line; status 1 when there is no such application or it has no display name. What a
//     request by name must say on this system, whatever its language.
#include <cstdio>
#include <cstring>

#include "launch/resolution.h"
#include "platform/launcher_services.h"
#include "platform/probe_services.h"

int main(int argc, char* argv[]) {
  if (argc == 3 && std::strcmp(argv[1], "--display-name") == 0) {
    const auto services = platform::makeLauncherServices();
    const auto path = services->applicationForIdentifier(argv[2]);
    if (!path) return 1;
    const auto bundle = services->openBundle(*path);
    if (!bundle) return 1;
    const auto name = launch::displayName(*bundle);
    if (!name) return 1;
    std::printf("%s\n", name->c_str());
    return 0;
  }
  if (argc != 2) return 2;
  const auto services = platform::makeProbeServices();
  if (const auto front = services->frontmostApplicationPid()) {
    std::printf("%d\n", *front);
  } else {
    std::printf("none\n");
  }
  for (const std::int32_t pid : services->runningApplicationPids(argv[1])) std::printf("%d ", pid);
  std::printf("\n");
  return 0;
}
