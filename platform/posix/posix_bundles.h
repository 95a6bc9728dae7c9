#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/launcher_services.h"

// How the stand-in reads applications from the file system: the user database's home folder and
// a bundle's information dictionary. The stand-in's services about folders and bundles are defined
// in posix_bundles.cc too.
namespace platform::posix {

/// The home folder that the user database gives for the real user id, read into a buffer of
/// `bufferSize` bytes (at least one) that doubles while it is too small, up to 1 MiB; none when
/// there is no such entry or it names no home folder.
std::optional<std::string> userDatabaseHome(std::size_t bufferSize);

/// The bundle at `path` as PosixLauncherServices::openBundle opens it: none unless `path` is a
/// folder once links are followed. Needs no services object, so a thread of its own can call it.
std::unique_ptr<Bundle> bundleAt(const std::string& path);

/// A bundle's information dictionary, read from the bytes of its Info.plist (XML or binary).
class Information {
 public:
  /// The dictionary in `bytes`; an empty one when they hold no property list with a dictionary at
  /// its root.
  static Information fromBytes(std::string_view bytes);

  /// The value for `key`: none when there is no such key, a text for a string, other for the rest.
  InfoValue value(const std::string& key) const;

 private:
  std::shared_ptr<void> root_;  // the parsed root dictionary; none for the empty dictionary
};

}  // namespace platform::posix
