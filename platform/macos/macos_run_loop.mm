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

void scheduleRepeating(double interval, std::function<void()> block) {
  @autoreleasepool {
    const std::function<void()> action = std::move(block);
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

void runCurrentRunLoop() { [[NSRunLoop currentRunLoop] run]; }

}  // namespace platform::macos
