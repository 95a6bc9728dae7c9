#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace common {

/// A folder where applications are installed: a fixed path, or a folder inside the current user's
/// home folder.
struct ApplicationFolder {
  enum class Base { fixed, home };

  Base base;
  std::string path;  ///< an absolute path for `fixed`; one path component for `home`
};

/// The folders where applications are installed, in the order they are searched:
/// "/Applications", "/System/Applications" and the "Applications" folder in the home folder.
const std::vector<ApplicationFolder>& applicationFolders();

/// The paths of `folders`, in their order. A folder inside the home folder is the home folder
/// (several trailing slashes counting as one) and its component; there is none without a home
/// folder, with an empty one, or when it names a path already given (the root folder as home names
/// "/Applications" again). `homeFolder` is asked at most once, and only when a folder needs it.
std::vector<std::string> folderPaths(const std::vector<ApplicationFolder>& folders,
                                     const std::function<std::optional<std::string>()>& homeFolder);

}  // namespace common
