// Folders and bundles: the home folder, folder listings, path extensions and bundle metadata.
// Paths cross to the core as the file system's own bytes (fileSystemRepresentation) and come back
// the same way, so no path is ever turned into text and back on the way.
#import <Foundation/Foundation.h>

#include <dirent.h>
#include <sys/stat.h>

#include <string_view>

#include "platform/macos/macos_launcher.h"
#include "platform/macos/macos_text.h"

namespace platform::macos {
namespace {

// What stat says is there once links are followed: -1 when nothing can be found.
int kindAt(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & S_IFMT);
}

// A file the bundle reads by itself is safe to let it read when it is missing or a regular file.
// Anything else (a FIFO, a device, a folder) could block the read for ever or feed it without end.
bool safeToRead(const std::string& path) {
  const int kind = kindAt(path);
  return kind == -1 || kind == S_IFREG;
}

// The localised values come from InfoPlist files in Contents/Resources and in its .lproj folders;
// the bundle picks one by the user's languages, so every one it might pick is checked.
bool localisedFilesSafe(const std::string& bundlePath) {
  static const char* const kNames[] = {"InfoPlist.strings", "InfoPlist.stringsdict",
                                       "InfoPlist.loctable"};
  const std::string resources = bundlePath + "/Contents/Resources";
  std::vector<std::string> folders = {resources};
  if (DIR* dir = opendir(resources.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name.size() > 6 && name.substr(name.size() - 6) == ".lproj") {
        folders.push_back(resources + "/" + entry->d_name);
      }
    }
    closedir(dir);
  }
  for (const std::string& folder : folders) {
    for (const char* name : kNames) {
      if (!safeToRead(folder + "/" + name)) return false;
    }
  }
  return true;
}

InfoValue infoValueOf(id value) {
  InfoValue result;
  if (value == nil) return result;
  if ([value isKindOfClass:[NSString class]]) {
    result.kind = InfoValue::Kind::text;
    result.text = utf8(static_cast<NSString*>(value));
  } else {
    result.kind = InfoValue::Kind::other;
  }
  return result;
}

class MacBundle final : public Bundle {
 public:
  MacBundle(NSBundle* bundle, bool localised) : bundle_(bundle), localised_(localised) {}

  std::optional<std::string> identifier() override {
    @autoreleasepool {
      // Whatever the Info.plist holds under the key comes back here, a number included.
      const id identifier = bundle_.bundleIdentifier;
      if (![identifier isKindOfClass:[NSString class]]) return std::nullopt;
      return utf8(static_cast<NSString*>(identifier));
    }
  }

  InfoValue infoValue(const std::string& key) override {
    @autoreleasepool {
      NSString* name = nsString(key);
      if (name == nil) return {};
      // Without safe localisation files, the values of the Info.plist itself.
      return infoValueOf(localised_ ? [bundle_ objectForInfoDictionaryKey:name]
                                    : [bundle_.infoDictionary objectForKey:name]);
    }
  }

 private:
  NSBundle* bundle_;
  bool localised_;
};

// A folder without a regular Contents/Info.plist: its dictionary is empty.
class EmptyBundle final : public Bundle {
 public:
  std::optional<std::string> identifier() override { return std::nullopt; }
  InfoValue infoValue(const std::string&) override { return {}; }
};

}  // namespace

std::optional<std::string> MacLauncherServices::homeFolder() {
  @autoreleasepool {
    return filePath([[NSFileManager defaultManager] homeDirectoryForCurrentUser]);
  }
}

std::vector<std::string> MacLauncherServices::folderEntries(const std::string& folder) {
  std::vector<std::string> entries;
  @autoreleasepool {
    NSURL* url = [NSURL fileURLWithFileSystemRepresentation:folder.c_str()
                                                isDirectory:YES
                                              relativeToURL:nil];
    if (url == nil) return entries;
    NSFileManager* files = [NSFileManager defaultManager];
    const id listed = [files contentsOfDirectoryAtURL:url
                           includingPropertiesForKeys:nil
                                              options:NSDirectoryEnumerationSkipsHiddenFiles
                                                error:nullptr];
    if (![listed isKindOfClass:[NSArray class]]) return entries;
    for (id entry in static_cast<NSArray*>(listed)) {
      if (std::optional<std::string> path = filePath(entry)) entries.push_back(std::move(*path));
    }
  }
  return entries;
}

std::string MacLauncherServices::pathExtension(const std::string& path) {
  @autoreleasepool {
    // The path's own text, with no file system access and no percent escapes to undo.
    NSFileManager* files = [NSFileManager defaultManager];
    NSString* text = [files stringWithFileSystemRepresentation:path.data() length:path.size()];
    return text == nil ? std::string() : utf8(text.pathExtension);
  }
}

std::unique_ptr<Bundle> MacLauncherServices::openBundle(const std::string& path) {
  // The bundle reads its information files by itself, from the first question on: before it may,
  // each must be a file that a read can finish.
  if (kindAt(path) != S_IFDIR) return nullptr;
  if (kindAt(path + "/Contents/Info.plist") != S_IFREG ||
      !safeToRead(path + "/Contents/Info-macos.plist")) {
    return std::make_unique<EmptyBundle>();
  }
  const bool localised = localisedFilesSafe(path);
  @autoreleasepool {
    NSURL* url = [NSURL fileURLWithFileSystemRepresentation:path.c_str()
                                                isDirectory:YES
                                              relativeToURL:nil];
    NSBundle* bundle = url == nil ? nil : [[NSBundle alloc] initWithURL:url];
    if (bundle == nil) return nullptr;
    return std::make_unique<MacBundle>(bundle, localised);
  }
}

}  // namespace platform::macos
