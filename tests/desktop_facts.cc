// Prints what the window services say about the desktop right now, for the macOS tests: the
// frontmost application's pid, then the pids of the running applications with the identifier
// given as the only argument. A fresh process each time, as the workspace's view of running
// applications is refreshed only by a running main run loop, which the tests do not have.
#include <cstdio>

#include "platform/probe_services.h"

int main(int argc, char* argv[]) {
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
