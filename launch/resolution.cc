#include "launch/resolution.h"

#include <utf8proc.h>
#include <cstdlib>
#include <memory>

#include "common/utf8.h"

namespace launch {
namespace {

bool isAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The NFC form of well-formed UTF-8 text, or none when utf8proc cannot make it.
std::optional<std::string> nfc(std::string_view text) {
  utf8proc_uint8_t* mapped = nullptr;
  // The length is passed explicitly, so an embedded U+0000 is a character like any other.
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &mapped,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (length < 0) return std::nullopt;
  std::string result(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
  std::free(mapped);
  return result;
}

std::optional<std::string> textValue(platform::Bundle& bundle, const std::string& key) {
  platform::InfoValue value = bundle.infoValue(key);
  if (value.kind != platform::InfoValue::Kind::text) return std::nullopt;
  return std::move(value.text);
}

// The bundles among the immediate ".app" entries of `folders` whose display name equals `name`.
struct NameMatches {
  std::optional<std::string> first;  ///< the path of the first one, when there is one
  bool several = false;              ///< whether there is more than one
};

NameMatches findByName(const std::string& name, platform::LauncherServices& services,
                       const std::vector<common::ApplicationFolder>& folders) {
  std::vector<std::string> candidates;
  for (const std::string& folder :
       common::folderPaths(folders, [&services] { return services.homeFolder(); })) {
    std::vector<std::string> entries = services.folderEntries(folder);
    candidates.insert(candidates.end(), std::make_move_iterator(entries.begin()),
                      std::make_move_iterator(entries.end()));
  }

  // Every entry is visited: a second match is an error, not a tie, so there is no early stop.
  NameMatches matches;
  for (std::string& candidate : candidates) {
    if (!sameText(services.pathExtension(candidate), "app")) continue;
    // Each bundle is let go before the next is opened, so memory does not grow with the folders.
    const std::unique_ptr<platform::Bundle> bundle = services.openBundle(candidate);
    if (!bundle) continue;
    const std::optional<std::string> candidateName = displayName(*bundle);
    if (!candidateName || !sameText(*candidateName, name)) continue;
    if (matches.first) {
      matches.several = true;
    } else {
      matches.first = std::move(candidate);
    }
  }
  return matches;
}

}  // namespace

bool sameText(std::string_view a, std::string_view b) {
  if (a == b) return true;
  // ASCII is its own normal form, but a non-ASCII text can still normalise to ASCII (U+212A
  // KELVIN SIGN is "K"), so only two ASCII texts can be settled by their bytes alone.
  if (isAscii(a) && isAscii(b)) return false;
  if (!common::isValidUtf8(a) || !common::isValidUtf8(b)) return false;
  const std::optional<std::string> left = nfc(a);
  const std::optional<std::string> right = nfc(b);
  return left && right && *left == *right;
}

std::optional<std::string> displayName(platform::Bundle& bundle) {
  if (std::optional<std::string> name = textValue(bundle, "CFBundleDisplayName")) return name;
  return textValue(bundle, "CFBundleName");
}

Resolution resolveApplication(const Request& request, platform::LauncherServices& services,
                              const std::vector<common::ApplicationFolder>& folders) {
  std::optional<std::string> path;
  if (request.bundleId) {
    path = services.applicationForIdentifier(*request.bundleId);
  } else {
    NameMatches matches = findByName(*request.name, services, folders);
    if (matches.several) return codes::kApplicationNameAmbiguous;
    path = std::move(matches.first);
  }

  if (!path) return codes::kApplicationNotFound;
  const std::unique_ptr<platform::Bundle> bundle = services.openBundle(*path);
  if (!bundle) return codes::kApplicationNotFound;
  std::optional<std::string> bundleId = bundle->identifier();
  if (!bundleId) return codes::kApplicationNotFound;
  std::string actualName = displayName(*bundle).value_or(std::string());

  if (request.bundleId && !sameText(*request.bundleId, *bundleId)) {
    return codes::kApplicationIdMismatch;
  }
  // The scan chose this bundle by the same rule, but its dictionary is read afresh here and may
  // have changed in between.
  if (request.name && !sameText(*request.name, actualName)) return codes::kApplicationNameMismatch;

  return ResolvedApplication{std::move(*path), std::move(*bundleId), std::move(actualName)};
}

}  // namespace launch
