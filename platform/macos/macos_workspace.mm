// The shared workspace: the application database's lookup by identifier, and the open call.
#import <AppKit/AppKit.h>

#include <system_error>
#include <thread>

#include "platform/macos/macos_launcher.h"
#include "platform/macos/macos_text.h"

namespace platform::macos {
namespace {

// The open configuration lives as long as the process, as the workspace may read it at any time.
NSWorkspaceOpenConfiguration* heldConfiguration = nil;

}  // namespace

std::optional<std::string> MacLauncherServices::applicationForIdentifier(
    const std::string& bundleId) {
  @autoreleasepool {
    NSString* identifier = nsString(bundleId);
    if (identifier == nil) return std::nullopt;
    NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
    return filePath([workspace URLForApplicationWithBundleIdentifier:identifier]);
  }
}

void MacLauncherServices::openApplication(const std::string& path,
                                          const OpenConfiguration& configuration,
                                          std::function<void(const OpenReport&)> completion) {
  @autoreleasepool {
    // From the path's bytes, as the folder listing and the lookup gave them: nothing to decode.
    NSURL* url = [NSURL fileURLWithFileSystemRepresentation:path.c_str()
                                                isDirectory:YES
                                              relativeToURL:nil];
    if (url == nil) {
      // No URL, nothing the workspace could open (a nil URL would raise). The answer still comes
      // later and from elsewhere, as the workspace's would.
      OpenReport report;
      report.error = true;
      try {
        std::thread([report, handler = completion] { handler(report); }).detach();
      } catch (const std::system_error&) {
        completion(report);  // no thread to answer from: from here, then
      }
      return;
    }
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
               if ([application isKindOfClass:[NSRunningApplication class]]) {
                 report.applicationPid = application.processIdentifier;
               }
               handler(report);
             }
           }];
  }
}

}  // namespace platform::macos
