// What the macOS backend and its tests use of CoreGraphics (the window list), declared as Apple's
// headers declare it. For the Apple-signature syntax check only (check-arc.sh).
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

CF_ASSUME_NONNULL_BEGIN

typedef uint32_t CGWindowID;
typedef CF_OPTIONS(uint32_t, CGWindowListOption) {
  kCGWindowListOptionAll = 0,
  kCGWindowListOptionOnScreenOnly = (1 << 0),
  kCGWindowListOptionOnScreenAboveWindow = (1 << 1),
  kCGWindowListOptionOnScreenBelowWindow = (1 << 2),
  kCGWindowListOptionIncludingWindow = (1 << 3),
  kCGWindowListExcludeDesktopElements = (1 << 4),
};
#define kCGNullWindowID ((CGWindowID)0)

CFArrayRef _Nullable CGWindowListCopyWindowInfo(CGWindowListOption option,
                                                CGWindowID relativeToWindow);
extern const CFStringRef kCGWindowOwnerPID;
extern const CFStringRef kCGWindowLayer;
extern const CFStringRef kCGWindowBounds;

CF_ASSUME_NONNULL_END

#ifdef __cplusplus
}
#endif
