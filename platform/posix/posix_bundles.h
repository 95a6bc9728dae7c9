#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/launcher_services.h"

// How the stand-in answers the launcher's questions about applications, from the file system.
namespace platform::posix {

/// HOME when it is set and not empty, otherwise the user database's home folder for the real
/// user id; none when neither gives one.
std::optional<std::string> homeFolder();

/// The immediate entries of `folder` whose names do not begin with ".", as `folder` + "/" + name,
/// in the order the file system gives them; empty when the folder cannot be read to its end.
std::vector<std::string> folderEntries(const std::string& folder);

/// The text after the last "." of the last path component ("X.app" gives "app", "X" gives ""),
/// unless that dot is the component's first character (".app" gives "").
std::string pathExtension(const std::string& path);

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

/// A bundle for a path that is a folder once links are followed, and none for anything else.
/// Its information dictionary is Contents/Info.plist (XML or binary), read when first asked for;
/// a file that is missing, unreadable or not a dictionary gives an empty one. An iPhone or iPad
/// application as a Mac installs it is read through its wrapper: a folder that holds Wrapper/ and
/// WrappedBundle, a relative link to a bundle inside it with the same extension, is read from
/// WrappedBundle/Contents/Info.plist when that bundle has Contents, otherwise from
/// WrappedBundle/Info.plist; with a link that fails those rules, its dictionary is empty. A flat
/// bundle (an Info.plist at the top only) is not read.
std::unique_ptr<Bundle> openBundle(const std::string& path);

/// The first bundle among the immediate entries of `folders`, in their order, whose
/// "CFBundleIdentifier" text equals `bundleId` with ASCII letter case ignored; none otherwise.
std::optional<std::string> findApplication(const std::string& bundleId,
                                           const std::vector<std::string>& folders);

}  // namespace platform::posix
