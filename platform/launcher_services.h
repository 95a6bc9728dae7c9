#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// One value of a bundle's information dictionary, as far as the launcher needs to know it.
struct InfoValue {
  enum class Kind { none, text, other };

  Kind kind = Kind::none;  ///< no such key, a text, or a value of any other type
  std::string text{};      ///< the value as UTF-8 when `kind` is `text`, otherwise empty
};

/// An application bundle opened at a path. Paths and texts are UTF-8 strings.
class Bundle {
 public:
  virtual ~Bundle() = default;

  /// The bundle's identifier, or none when it has none.
  virtual std::optional<std::string> identifier() = 0;

  /// The value for `key` in the information dictionary (localised where the bundle localises it).
  virtual InfoValue infoValue(const std::string& key) = 0;
};

/// How to open an application. A new configuration holds the system's defaults.
struct OpenConfiguration {
  bool activates = true;  ///< whether the application is made the active, frontmost one
};

/// What the system reports when an open call has run its course; either part may be missing.
struct OpenReport {
  std::optional<std::int32_t>
      applicationPid;  ///< the running application's pid, when one came back
  bool error = false;  ///< whether an error came back
};

// What the launcher needs from the operating system. A backend only fetches and converts facts;
// every decision about them is the launcher's.
class LauncherServices {
 public:
  virtual ~LauncherServices() = default;

  /// The pid that the operating system reports as this process's parent right now.
  virtual std::int32_t parentPid() = 0;

  /// Schedules `tick` on the calling thread's run loop to run every `interval` seconds, on a grid
  /// counted from now. Ticks that fall due while the run loop is not running are not made up:
  /// `tick` runs once as soon as the loop runs, then keeps to the grid. The timer is never stopped.
  virtual void scheduleRepeating(double interval, std::function<void()> tick) = 0;

  /// Runs the calling thread's run loop without a time limit. It does not return while a timer is
  /// scheduled on it.
  virtual void run() = 0;

  /// The path of the application that the system's application database gives for `bundleId`
  /// (passed on as it is), or none.
  virtual std::optional<std::string> applicationForIdentifier(const std::string& bundleId) = 0;

  /// The current user's home folder as an absolute path, or none when it cannot be had.
  virtual std::optional<std::string> homeFolder() = 0;

  /// The full paths of `folder`'s immediate entries, hidden ones left out, in the order the system
  /// lists them; empty when the folder cannot be listed.
  virtual std::vector<std::string> folderEntries(const std::string& folder) = 0;

  /// The extension of the last component of `path`, without the dot; empty when it has none.
  virtual std::string pathExtension(const std::string& path) = 0;

  /// A bundle for `path`, or none when the system makes none there.
  virtual std::unique_ptr<Bundle> openBundle(const std::string& path) = 0;

  /// Starts opening the application bundle at `path` and returns at once. Later, `completion`
  /// is called once, on a thread that need not be the caller's, with what the system reported.
  virtual void openApplication(const std::string& path, const OpenConfiguration& configuration,
                               std::function<void(const OpenReport&)> completion) = 0;
};

/// The services of the backend this program was built with.
std::unique_ptr<LauncherServices> makeLauncherServices();

}  // namespace platform
