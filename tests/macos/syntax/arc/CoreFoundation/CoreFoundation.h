// What the macOS backend and its tests use of CoreFoundation, declared as Apple's headers declare
// it: nullability (CF_ASSUME_NONNULL and the explicit exceptions), the types bridged to Foundation
// classes, so that a cast to an object pointer under ARC needs __bridge as it does on a Mac. For
// the syntax check of the Apple-signature pass only (check-arc.sh); never used on a Mac.
#pragma once

#include <stdint.h>

#define CF_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define CF_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#define CF_BRIDGED_TYPE(T) __attribute__((objc_bridge(T)))
#define CF_BRIDGED_MUTABLE_TYPE(T) __attribute__((objc_bridge_mutable(T)))
// As in C++ on a Mac: an enumeration is a type of its own, a set of options a plain integer.
#define CF_ENUM(_type, _name) \
  enum _name : _type _name;   \
  enum _name : _type
#define CF_OPTIONS(_type, _name) \
  _type _name;                   \
  enum : _name

#ifdef __cplusplus
extern "C" {
#endif

CF_ASSUME_NONNULL_BEGIN

typedef unsigned char Boolean;
typedef unsigned char UInt8;
typedef unsigned long CFTypeID;
typedef signed long CFIndex;
typedef uint32_t CFStringEncoding;

typedef const CF_BRIDGED_TYPE(id) void* CFTypeRef;
typedef const struct CF_BRIDGED_TYPE(NSString) __CFString* CFStringRef;
typedef const struct CF_BRIDGED_TYPE(NSArray) __CFArray* CFArrayRef;
typedef const struct CF_BRIDGED_TYPE(NSDictionary) __CFDictionary* CFDictionaryRef;
typedef const struct CF_BRIDGED_TYPE(NSNumber) __CFNumber* CFNumberRef;
typedef const struct CF_BRIDGED_TYPE(NSNumber) __CFBoolean* CFBooleanRef;
typedef const struct CF_BRIDGED_TYPE(NSURL) __CFURL* CFURLRef;
typedef const struct CF_BRIDGED_TYPE(id) __CFAllocator* CFAllocatorRef;
typedef struct __CFBundle* CFBundleRef;

extern const CFAllocatorRef kCFAllocatorDefault;

// CFBase.h
CFTypeID CFGetTypeID(CFTypeRef cf);
void CFRelease(CFTypeRef cf);

// CFNumber.h
CFTypeID CFBooleanGetTypeID(void);
Boolean CFBooleanGetValue(CFBooleanRef boolean);
typedef CF_ENUM(CFIndex, CFNumberType) {
  kCFNumberSInt8Type = 1,
  kCFNumberSInt16Type = 2,
  kCFNumberSInt32Type = 3,
  kCFNumberSInt64Type = 4,
  kCFNumberFloat32Type = 5,
  kCFNumberFloat64Type = 6,
  kCFNumberCharType = 7,
  kCFNumberShortType = 8,
  kCFNumberIntType = 9,
  kCFNumberLongType = 10,
  kCFNumberLongLongType = 11,
  kCFNumberFloatType = 12,
  kCFNumberDoubleType = 13,
  kCFNumberCFIndexType = 14,
  kCFNumberNSIntegerType = 15,
  kCFNumberCGFloatType = 16,
  kCFNumberMaxType = 16,
};
CFTypeID CFNumberGetTypeID(void);
CFNumberType CFNumberGetType(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);

// CFString.h
typedef CF_ENUM(CFStringEncoding, CFStringBuiltInEncodings) {
  kCFStringEncodingUTF8 = 0x08000100,
};
CFTypeID CFStringGetTypeID(void);
Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
CFStringRef _Nullable CFStringCreateWithCString(CFAllocatorRef _Nullable alloc, const char* cStr,
                                                CFStringEncoding encoding);

// CFArray.h
CFTypeID CFArrayGetTypeID(void);
CFIndex CFArrayGetCount(CFArrayRef theArray);
const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);

// CFDictionary.h
CFTypeID CFDictionaryGetTypeID(void);
CFIndex CFDictionaryGetCount(CFDictionaryRef theDict);
const void* _Nullable CFDictionaryGetValue(CFDictionaryRef theDict, const void* key);
void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void* _Nullable* _Nullable keys,
                                  const void* _Nullable* _Nullable values);

// CFURL.h
CFURLRef _Nullable CFURLCreateFromFileSystemRepresentation(CFAllocatorRef _Nullable allocator,
                                                           const UInt8* buffer, CFIndex bufLen,
                                                           Boolean isDirectory);
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase,
                                         UInt8* _Nullable buffer, CFIndex maxBufLen);

// CFBundle.h
CFBundleRef _Nullable CFBundleCreate(CFAllocatorRef _Nullable allocator, CFURLRef bundleURL);
CFStringRef _Nullable CFBundleGetIdentifier(CFBundleRef bundle);
CFTypeRef _Nullable CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
CFURLRef _Nullable CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);

CF_ASSUME_NONNULL_END

#ifdef __cplusplus
}
#endif
