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
    NSURL* url = [NSURL fileURLWithPath:string(path)];
    heldConfiguration = [NSWorkspaceOpenConfiguration configuration];
    heldConfiguration.activates = configuration.activates ? YES : NO;
    const std::function<void(const OpenReport&)> handler = std::move(completion);
    // The handler runs on a queue of the workspace's, not on the main thread.
    [[NSWorkspace sharedWorkspace]
        openApplicationAtURL:url
               configuration:heldConfiguration
           completionHandler:^(NSRunningApplication* application, NSError* error) {
             OpenReport report;
             report.error = error != nil;
             if (application != nil) report.applicationPid = application.processIdentifier;
             handler(report);
           }];
  }
}

}  // namespace platform::macos
