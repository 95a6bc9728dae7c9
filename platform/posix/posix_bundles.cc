#include "platform/posix/posix_bundles.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <plist/plist.h>

namespace platform::posix {
namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using OwnedPlist = std::unique_ptr<void, PlistFree>;

// The whole file, or none when it cannot be read to its end.
std::optional<std::string> readFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  struct stat info {};
  if (fstat(fd, &info) == 0 && info.st_size > 0) {
    data.reserve(static_cast<std::size_t>(info.st_size));
  }
  char buffer[16384];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      close(fd);
      return std::nullopt;
    }
  }
  close(fd);
  return data;
}

// The bundle's information dictionary, or none for the empty one.
OwnedPlist readInformation(const std::string& bundlePath) {
  const std::optional<std::string> data = readFile(bundlePath + "/Contents/Info.plist");
  if (!data || data->empty() || data->size() > std::numeric_limits<std::uint32_t>::max()) {
    return nullptr;
  }
  plist_t root = nullptr;
  // Tells a binary property list from an XML one by its header.
  plist_from_memory(data->data(), static_cast<std::uint32_t>(data->size()), &root);
  OwnedPlist owned(root);
  if (!owned || plist_get_node_type(root) != PLIST_DICT) return nullptr;
  return owned;
}

class PosixBundle final : public Bundle {
 public:
  explicit PosixBundle(std::string path) : path_(std::move(path)) {}

  std::optional<std::string> identifier() override {
    InfoValue value = infoValue("CFBundleIdentifier");
    if (value.kind != InfoValue::Kind::text) return std::nullopt;
    return std::move(value.text);
  }

  InfoValue infoValue(const std::string& key) override {
    if (!loaded_) {
      information_ = readInformation(path_);
      loaded_ = true;
    }
    if (!information_) return {};
    const plist_t item = plist_dict_get_item(information_.get(), key.c_str());
    if (item == nullptr) return {};
    if (plist_get_node_type(item) != PLIST_STRING) return {InfoValue::Kind::other, {}};
    char* text = nullptr;
    plist_get_string_val(item, &text);
    InfoValue value{InfoValue::Kind::text, text != nullptr ? text : ""};
    std::free(text);
    return value;
  }

 private:
  std::string path_;
  bool loaded_ = false;
  OwnedPlist information_;
};

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> homeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home);

  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 1024, '\0');
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') {
      return std::nullopt;
    }
    return std::string(found->pw_dir);
  }
}

std::vector<std::string> folderEntries(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return {};
  const std::string prefix = !folder.empty() && folder.back() == '/' ? folder : folder + "/";
  std::vector<std::string> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    // "." and ".." begin with a dot too.
    if (entry->d_name[0] == '.') continue;
    entries.push_back(prefix + entry->d_name);
  }
  const bool complete = errno == 0;
  closedir(dir);
  if (!complete) return {};
  return entries;
}

std::string pathExtension(const std::string& path) {
  std::string::size_type end = path.size();
  while (end > 0 && path[end - 1] == '/') --end;
  const std::string::size_type slash = path.rfind('/', end == 0 ? 0 : end - 1);
  const std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
  if (start >= end) return {};
  const std::string::size_type dot = path.rfind('.', end - 1);
  if (dot == std::string::npos || dot < start) return {};
  return path.substr(dot + 1, end - dot - 1);
}

std::unique_ptr<Bundle> openBundle(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return nullptr;
  return std::make_unique<PosixBundle>(path);
}

std::optional<std::string> findApplication(const std::string& bundleId,
                                           const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    for (std::string& entry : folderEntries(folder)) {
      const std::unique_ptr<Bundle> bundle = openBundle(entry);
      if (!bundle) continue;
      const std::optional<std::string> identifier = bundle->identifier();
      if (identifier && equalIgnoringAsciiCase(*identifier, bundleId)) return std::move(entry);
    }
  }
  return std::nullopt;
}

}  // namespace platform::posix
