// The shared workspace: the application database's lookup by identifier, and the open call.
#import <AppKit/AppKit.h>

#include "platform/macos/macos_launcher.h"
#include "platform/macos/macos_text.h"

namespace platform::macos {
namespace {

// The open configuration lives as long as the process, as the workspace may read it at any time.
NSWorkspaceOpenConfiguration* heldConfiguration = nil;

}  // namespace

std::optional<std::string> applicationForIdentifier(const std::string& bundleId) {
  @autoreleasepool {
    NSString* identifier = string(bundleId);
    if (identifier == nil) return std::nullopt;
    NSURL* url = [[NSWorkspace sharedWorkspace] URLForApplicationWithBundleIdentifier:identifier];
    if (url == nil || url.path == nil) return std::nullopt;
    return utf8(url.path);
  }
}

void openApplication(const std::string& path, const OpenConfiguration& configuration,
                     std::function<void(const OpenReport&)> completion) {
  @autoreleasepool {
    NSString* text = string(path);
    if (text == nil) {
      // Text that is not UTF-8 names no file the workspace could open; a nil URL would raise.
      OpenReport report;
      report.error = true;
      completion(report);
      return;
    }
    NSURL* url = [NSURL fileURLWithPath:text];
    heldConfiguration = [NSWorkspaceOpenConfiguration configuration];
    heldConfiguration.activates = configuration.activates ? YES : NO;
    // The block keeps its own copy of the handler. It runs on a concurrent queue of the
    // workspace's, not on the main thread, and reads nothing but what it is passed.
    const std::function<void(const OpenReport&)> handler = std::move(completion);
    [[NSWorkspace sharedWorkspace]
        openApplicationAtURL:url
               configuration:heldConfiguration
           completionHandler:^(NSRunningApplication* application, NSError* error) {
             @autoreleasepool {
               OpenReport report;
               report.error = error != nil;
               if (application != nil) report.applicationPid = application.processIdentifier;
               handler(report);
             }
           }];
  }
}

}  // namespace platform::macos
