#include "common/application_folders.h"

#include <algorithm>
#include <utility>

namespace common {
namespace {

// The home folder with one more path component. Several trailing slashes count as one, and the
// root folder gives "/Applications", not "//Applications".
std::string appendComponent(std::string folder, const std::string& component) {
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  return folder + "/" + component;
}

}  // namespace

const std::vector<ApplicationFolder>& applicationFolders() {
  static const std::vector<ApplicationFolder> folders = {
      {ApplicationFolder::Base::fixed, "/Applications"},
      {ApplicationFolder::Base::fixed, "/System/Applications"},
      {ApplicationFolder::Base::home, "Applications"},
  };
  return folders;
}

std::vector<std::string> folderPaths(
    const std::vector<ApplicationFolder>& folders,
    const std::function<std::optional<std::string>()>& homeFolder) {
  std::vector<std::string> paths;
  std::optional<std::string> home;
  bool homeAsked = false;
  for (const ApplicationFolder& folder : folders) {
    if (folder.base == ApplicationFolder::Base::fixed) {
      paths.push_back(folder.path);
      continue;
    }
    if (!homeAsked) {
      home = homeFolder();
      homeAsked = true;
    }
    // Without a home folder there is no folder inside it. An empty path would otherwise turn into
    // "/Applications" a second time, and make every application there ambiguous; so would the
    // root folder as home, which names a folder already scanned.
    if (!home || home->empty()) continue;
    std::string path = appendComponent(*home, folder.path);
    if (std::find(paths.begin(), paths.end(), path) == paths.end())
      paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace common
