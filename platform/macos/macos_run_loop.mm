// The parent watch's timer and the wait: the main thread's run loop.
#import <Foundation/Foundation.h>

#include "platform/macos/macos_launcher.h"

namespace platform::macos {
namespace {

// The scheduled timers, held for the life of the process (the run loop holds them too).
NSMutableArray<NSTimer*>* timers() {
  static NSMutableArray<NSTimer*>* held = [[NSMutableArray alloc] init];
  return held;
}

}  // namespace

void MacLauncherServices::scheduleRepeating(double interval, std::function<void()> tick) {
  @autoreleasepool {
    const std::function<void()> action = std::move(tick);
    NSTimer* timer = [NSTimer scheduledTimerWithTimeInterval:interval
                                                     repeats:YES
                                                       block:^(NSTimer*) {
                                                         @autoreleasepool {
                                                           action();
                                                         }
                                                       }];
    [timers() addObject:timer];
  }
}

void MacLauncherServices::run() { [[NSRunLoop currentRunLoop] run]; }

}  // namespace platform::macos
