#include "platform/posix/posix_bundles.h"

#include "platform/posix/posix_launcher_services.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace platform::posix {
namespace {

// The whole file, or none when it is not a regular file or cannot be read to its end. Opened
// without blocking: anyone who can write to an application folder can leave a FIFO or a device
// where the file should be, and the open itself would wait for a writer.
std::optional<std::string> readFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return std::nullopt;
  }
  std::string data;
  if (info.st_size > 0) data.reserve(static_cast<std::size_t>(info.st_size));
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

bool isFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder's real path, or none when it cannot be had.
std::optional<std::string> realPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

// The text after the last "." of the last path component, as pathExtension gives it.
std::string extensionOf(const std::string& path) {
  std::string::size_type end = path.size();
  while (end > 0 && path[end - 1] == '/') --end;
  const std::string::size_type slash = path.rfind('/', end == 0 ? 0 : end - 1);
  const std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
  if (start >= end) return {};
  const std::string::size_type dot = path.rfind('.', end - 1);
  // A dot that opens the component only hides it (".app" has no extension), as on a Mac.
  if (dot == std::string::npos || dot <= start) return {};
  return path.substr(dot + 1, end - dot - 1);
}

bool isLink(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Whether the WrappedBundle link of a wrapper is one to follow: relative, to a bundle with the
// same extension, inside the wrapper itself.
bool followsWrappedBundle(const std::string& path) {
  const std::string link = path + "/WrappedBundle";
  char target[4096];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  if (length < 2 || static_cast<std::size_t>(length) >= sizeof target || target[0] == '/') {
    return false;
  }
  const std::string text(target, static_cast<std::size_t>(length));
  if (extensionOf(text) != extensionOf(path)) return false;
  const std::optional<std::string> bundle = realPath(path);
  const std::optional<std::string> wrapped = realPath(link);
  return bundle && wrapped && wrapped->size() > bundle->size() + 1 &&
         wrapped->compare(0, bundle->size() + 1, *bundle + "/") == 0;
}

// The Info.plist the bundle at `path` is read from (see openBundle), or none.
std::optional<std::string> informationFile(const std::string& path) {
  if (!isFolder(path + "/Wrapper") || !isLink(path + "/WrappedBundle")) {
    return path + "/Contents/Info.plist";
  }
  // A wrapper whose link is not followed is flat for the system, and a flat bundle is not read.
  if (!followsWrappedBundle(path)) return std::nullopt;
  const std::string wrapped = path + "/WrappedBundle";
  return wrapped + (isFolder(wrapped + "/Contents") ? "/Contents/Info.plist" : "/Info.plist");
}

}  // namespace

Information Information::fromBytes(std::string_view bytes) {
  Information information;
  if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    return information;
  }
  plist_t root = nullptr;
  // Tells a binary property list from an XML one by its header.
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  if (root == nullptr) return information;
  std::shared_ptr<void> owned(root, [](void* node) { plist_free(node); });
  if (plist_get_node_type(root) == PLIST_DICT) information.root_ = std::move(owned);
  return information;
}

InfoValue Information::value(const std::string& key) const {
  if (!root_) return {};
  const plist_t item = plist_dict_get_item(root_.get(), key.c_str());
  if (item == nullptr) return {};
  if (plist_get_node_type(item) != PLIST_STRING) return {InfoValue::Kind::other, {}};
  // By pointer and length: a string may hold U+0000, and the copying accessor asserts that it
  // does not, which would abort the whole program over one application's Info.plist.
  std::uint64_t length = 0;
  const char* text = plist_get_string_ptr(item, &length);
  if (text == nullptr) return {InfoValue::Kind::text, {}};
  return {InfoValue::Kind::text, std::string(text, static_cast<std::size_t>(length))};
}

namespace {

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
      const std::optional<std::string> file = informationFile(path_);
      const std::optional<std::string> data = file ? readFile(*file) : std::nullopt;
      if (data) information_ = Information::fromBytes(*data);
      loaded_ = true;
    }
    return information_.value(key);
  }

 private:
  std::string path_;
  bool loaded_ = false;
  Information information_;
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

std::optional<std::string> userDatabaseHome(std::size_t bufferSize) {
  std::string buffer(bufferSize > 0 ? bufferSize : 1, '\0');
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

std::optional<std::string> PosixLauncherServices::homeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home);
  const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  return userDatabaseHome(size > 0 ? static_cast<std::size_t>(size) : 1024);
}

std::vector<std::string> PosixLauncherServices::folderEntries(const std::string& folder) {
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

std::string PosixLauncherServices::pathExtension(const std::string& path) {
  return extensionOf(path);
}

std::unique_ptr<Bundle> bundleAt(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return nullptr;
  return std::make_unique<PosixBundle>(path);
}

std::unique_ptr<Bundle> PosixLauncherServices::openBundle(const std::string& path) {
  return bundleAt(path);
}

std::optional<std::string> PosixLauncherServices::findApplication(
    const std::string& bundleId, const std::vector<std::string>& folders) {
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
