#pragma once

// The stand-in for the operating system's services on hosts other than macOS. Each member is
// defined in the file of its topic: the folders and bundles in posix_bundles.cc, the open call in
// posix_open.cc, the parent pid, the lookup by identifier and the timer and wait (on the run loop
// of posix_run_loop.h) in posix_launcher_services.cc.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/launcher_services.h"
#include "platform/posix/posix_run_loop.h"

namespace platform::posix {

class PosixLauncherServices final : public LauncherServices {
 public:
  std::int32_t parentPid() override;

  void scheduleRepeating(double interval, std::function<void()> tick) override;
  void run() override;

  /// There is no application database here: the applications it knows are those installed where
  /// the system installs them, found as `findApplication` finds them.
  std::optional<std::string> applicationForIdentifier(const std::string& bundleId) override;

  /// HOME when it is set and not empty, otherwise the user database's home folder for the real
  /// user id (as `userDatabaseHome` reads it); none when neither gives one.
  std::optional<std::string> homeFolder() override;

  /// The immediate entries of `folder` whose names do not begin with ".", as `folder` + "/" +
  /// name, in the order the file system gives them; empty when the folder cannot be read to its
  /// end.
  std::vector<std::string> folderEntries(const std::string& folder) override;

  /// The text after the last "." of the last path component ("X.app" gives "app", "X" gives ""),
  /// unless that dot is the component's first character (".app" gives "").
  std::string pathExtension(const std::string& path) override;

  /// A bundle for a path that is a folder once links are followed, and none for anything else.
  /// Its information dictionary is Contents/Info.plist (XML or binary), read when first asked
  /// for; a file that is missing, unreadable or not a dictionary gives an empty one. An iPhone or
  /// iPad application as a Mac installs it is read through its wrapper: a folder that holds
  /// Wrapper/ and WrappedBundle, a relative link to a bundle inside it with the same extension, is
  /// read from WrappedBundle/Contents/Info.plist when that bundle has Contents, otherwise from
  /// WrappedBundle/Info.plist; with a link that fails those rules, its dictionary is empty. A flat
  /// bundle (an Info.plist at the top only) is not read.
  std::unique_ptr<Bundle> openBundle(const std::string& path) override;

  /// Starts Contents/MacOS/ followed by the bundle's "CFBundleExecutable" text, then reports from
  /// a thread of its own: the pid once it runs, or an error when there is no such executable or it
  /// cannot be started. There is nothing to activate here.
  void openApplication(const std::string& path, const OpenConfiguration& configuration,
                       std::function<void(const OpenReport&)> completion) override;

  /// The first bundle among the immediate entries of `folders`, in their order, whose
  /// "CFBundleIdentifier" text equals `bundleId` with ASCII letter case ignored; none otherwise.
  std::optional<std::string> findApplication(const std::string& bundleId,
                                             const std::vector<std::string>& folders);

 private:
  RunLoop loop_{systemClock()};
};

}  // namespace platform::posix
