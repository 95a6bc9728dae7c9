#include "launch/launch_application.h"

#include "common/process_end.h"
#include "launch/fail.h"
#include "launch/messages.h"

namespace launch {

void launchApplication(const ResolvedApplication& application,
                       platform::LauncherServices& services) {
  platform::OpenConfiguration configuration;  // the system's defaults, but for activation
  configuration.activates = false;
  // The handler keeps its own copies of the identifier and the display name: it may run on any
  // thread, at any time, and depends on nothing of the caller's.
  services.openApplication(
      application.path, configuration,
      [bundleId = application.bundleId, actualName = application.actualName](
          const platform::OpenReport& report) { completeLaunch(report, bundleId, actualName); });
}

void completeLaunch(const platform::OpenReport& report, const std::string& bundleId,
                    const std::string& actualName) {
  if (report.error) fail(codes::kApplicationLaunchFailed);
  if (!report.applicationPid || *report.applicationPid <= 0) {
    fail(codes::kApplicationPidUnavailable);
  }
  Reply reply;
  reply.bundleId = bundleId;
  reply.name = actualName;
  reply.pid = *report.applicationPid;
  // A reply that cannot be encoded becomes the fallback literal, still with status 0: the
  // application was launched.
  common::endWithLine(encodeReply(reply), 0);
}

}  // namespace launch
