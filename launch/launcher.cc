#include "launch/launcher.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/application_folders.h"
#include "common/parent_pid.h"
#include "common/process_end.h"
#include "common/utf8.h"
#include "launch/fail.h"
#include "launch/launch_application.h"
#include "launch/messages.h"
#include "launch/resolution.h"

namespace launch {

void runLauncher(int argc, const char* const argv[], platform::LauncherServices& services) {
  common::reserveStandardDescriptors();
  if (argc != 3) fail(codes::kInvalidParams);
  // Arguments are UTF-8 text: bytes that are not become U+FFFD before anything reads them.
  const std::string requestText = common::replaceInvalidUtf8(argv[1]);
  const std::string pidText = common::replaceInvalidUtf8(argv[2]);

  const std::optional<Request> request = decodeRequest(requestText);
  if (!request) fail(codes::kInvalidParams);
  if (request->bundleId.has_value() == request->name.has_value()) fail(codes::kInvalidParams);

  // The request is known to be valid; only now does the parent count.
  const std::optional<std::int32_t> parent = common::acceptParent(pidText, services.parentPid());
  if (!parent) fail(codes::kParentGone);

  // Once the run loop runs, the parent may die while we wait; re-parenting changes our parent
  // pid, and then we leave without a word.
  services.scheduleRepeating(kParentWatchInterval, [&services, accepted = *parent] {
    if (services.parentPid() != accepted) common::endSilently(1);
  });

  // The watch is serviced only once the run loop runs, so it never interrupts resolution. The
  // launch opens the path that resolution found, and its handler keeps its own copies of the
  // identifier and name it reports.
  const Resolution resolution =
      resolveApplication(*request, services, common::applicationFolders());
  if (const auto* code = std::get_if<std::string_view>(&resolution)) fail(*code);
  launchApplication(std::get<ResolvedApplication>(resolution), services);

  services.run();
  // The run loop does not return while the watch is scheduled; should it all the same, there is
  // nothing left to answer.
  common::endSilently(0);
}

}  // namespace launch
