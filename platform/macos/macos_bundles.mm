// Folders and bundles: the home folder, folder listings, path extensions and bundle metadata.
#import <Foundation/Foundation.h>

#include "platform/macos/macos_launcher.h"
#include "platform/macos/macos_text.h"

namespace platform::macos {
namespace {

NSURL* fileUrl(const std::string& path) {
  NSString* text = string(path);
  return text == nil ? nil : [NSURL fileURLWithPath:text];
}

class MacBundle final : public Bundle {
 public:
  explicit MacBundle(NSBundle* bundle) : bundle_(bundle) {}

  std::optional<std::string> identifier() override {
    @autoreleasepool {
      NSString* identifier = bundle_.bundleIdentifier;
      if (identifier == nil) return std::nullopt;
      return utf8(identifier);
    }
  }

  InfoValue infoValue(const std::string& key) override {
    @autoreleasepool {
      InfoValue result;
      NSString* name = string(key);
      const id value = name == nil ? nil : [bundle_ objectForInfoDictionaryKey:name];
      if (value == nil) return result;
      if ([value isKindOfClass:[NSString class]]) {
        result.kind = InfoValue::Kind::text;
        result.text = utf8(static_cast<NSString*>(value));
      } else {
        result.kind = InfoValue::Kind::other;
      }
      return result;
    }
  }

 private:
  NSBundle* bundle_;
};

}  // namespace

std::optional<std::string> homeFolder() {
  @autoreleasepool {
    NSURL* home = [[NSFileManager defaultManager] homeDirectoryForCurrentUser];
    if (home == nil || home.path == nil) return std::nullopt;
    return utf8(home.path);
  }
}

std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> entries;
  @autoreleasepool {
    NSURL* url = fileUrl(folder);
    if (url == nil) return entries;
    NSArray<NSURL*>* listed =
        [[NSFileManager defaultManager] contentsOfDirectoryAtURL:url
                                      includingPropertiesForKeys:nil
                                                         options:NSDirectoryEnumerationSkipsHiddenFiles
                                                           error:nullptr];
    for (NSURL* entry in listed) {
      if (entry.path != nil) entries.push_back(utf8(entry.path));
    }
  }
  return entries;
}

std::string pathExtension(const std::string& path) {
  @autoreleasepool {
    NSURL* url = fileUrl(path);
    return url == nil ? std::string() : utf8(url.pathExtension);
  }
}

std::unique_ptr<Bundle> openBundle(const std::string& path) {
  @autoreleasepool {
    NSURL* url = fileUrl(path);
    NSBundle* bundle = url == nil ? nil : [[NSBundle alloc] initWithURL:url];
    if (bundle == nil) return nullptr;
    return std::make_unique<MacBundle>(bundle);
  }
}

}  // namespace platform::macos
