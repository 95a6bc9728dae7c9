#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/application_folders.h"
#include "launch/messages.h"
#include "platform/launcher_services.h"

namespace launch {

/// The one application bundle that a request resolved to.
struct ResolvedApplication {
  std::string path;        ///< where the bundle lies: what the launch opens
  std::string bundleId;    ///< the identifier the bundle reports, in its own text
  std::string actualName;  ///< its display name, or "" when it has none

  bool operator==(const ResolvedApplication&) const = default;
};

/// What resolution came to: the application, or the code of the failure reply that says why there
/// is none (one of `launch::codes`).
using Resolution = std::variant<ResolvedApplication, std::string_view>;

/// Whether two texts are the same for resolution: canonically equivalent Unicode (their NFC forms
/// are identical), with letter case, white space and compatibility forms all significant. A text
/// that is not well-formed UTF-8 equals only the very same bytes.
bool sameText(std::string_view a, std::string_view b);

/// The bundle's display name: "CFBundleDisplayName" when it is a text (even an empty one),
/// otherwise "CFBundleName" when that is a text, otherwise none.
std::optional<std::string> displayName(platform::Bundle& bundle);

/// Finds the application that `request` names (by `bundleId` through the system's lookup, or by
/// `name` among the immediate ".app" entries of `folders`), opens it and checks it against the
/// request. Returns the application, or APPLICATION_NAME_AMBIGUOUS, APPLICATION_NOT_FOUND,
/// APPLICATION_ID_MISMATCH or APPLICATION_NAME_MISMATCH. `request` holds exactly one of its two
/// fields.
Resolution resolveApplication(const Request& request, platform::LauncherServices& services,
                              const std::vector<common::ApplicationFolder>& folders);

}  // namespace launch
