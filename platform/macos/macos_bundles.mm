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

// Where a bundle may find its information files (Info.plist, Info-macos.plist) and its localised
// texts, in each layout the system knows: an application's Contents; an iPhone or iPad
// application installed on a Mac, whose WrappedBundle is a link to the application itself in
// Wrapper/ (flat, or with Contents of its own); a flat bundle, with everything at the top; and the
// two layouts of old, Resources and Support Files. The system picks one by what the folder holds;
// every one is checked here, so that none it might pick is missed.
struct Layout {
  const char* information;  // the folder of the information files, below the bundle
  const char* resources;    // the folder of the InfoPlist texts and the .lproj folders
};
constexpr Layout kLayouts[] = {
    {"/Contents", "/Contents/Resources"},
    {"/WrappedBundle", "/WrappedBundle"},
    {"/WrappedBundle/Contents", "/WrappedBundle/Contents/Resources"},
    {"", ""},
    {"/Resources", "/Resources"},
    {"/Support Files", "/Support Files/Resources"},
};

// The localised values come from InfoPlist files in the resources folder and in its .lproj
// folders; the bundle picks one by the user's languages, so every one it might pick is checked.
bool localisedFilesSafe(const std::string& resources) {
  static const char* const kNames[] = {"InfoPlist.strings", "InfoPlist.stringsdict",
                                       "InfoPlist.loctable"};
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

// What may be read of the bundle at `path` without the risk of a read that never ends.
enum class Safety {
  nothing,      // an information file is there that is no regular file, or there is none at all
  information,  // the information files, but not every localised text
  everything,
};

Safety safetyOf(const std::string& path) {
  bool found = false;
  for (const Layout& layout : kLayouts) {
    const std::string folder = path + layout.information;
    const int kind = kindAt(folder + "/Info.plist");
    if (kind == S_IFREG) {
      found = true;
    } else if (kind != -1) {
      return Safety::nothing;
    }
    if (!safeToRead(folder + "/Info-macos.plist")) return Safety::nothing;
  }
  if (!found) return Safety::nothing;
  for (const Layout& layout : kLayouts) {
    if (!localisedFilesSafe(path + layout.resources)) return Safety::information;
  }
  return Safety::everything;
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

// A folder with no regular Info.plist in any layout, or with one that is no regular file: its
// dictionary is empty.
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
  // each must be a file that a read can finish, wherever the bundle's layout puts it.
  if (kindAt(path) != S_IFDIR) return nullptr;
  const Safety safety = safetyOf(path);
  if (safety == Safety::nothing) return std::make_unique<EmptyBundle>();
  @autoreleasepool {
    NSURL* url = [NSURL fileURLWithFileSystemRepresentation:path.c_str()
                                                isDirectory:YES
                                              relativeToURL:nil];
    NSBundle* bundle = url == nil ? nil : [[NSBundle alloc] initWithURL:url];
    if (bundle == nil) return nullptr;
    return std::make_unique<MacBundle>(bundle, safety == Safety::everything);
  }
}

}  // namespace platform::macos
