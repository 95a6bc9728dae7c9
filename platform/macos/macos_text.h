#pragma once

#import <Foundation/Foundation.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform::macos {

/// The UTF-8 form of `text`. A lone surrogate has no UTF-8 form: it is written as the three bytes
/// its code unit would take, which no UTF-8 reader accepts, so that whatever the core makes of the
/// text can tell it was not valid, rather than the text being changed or dropped.
std::string utf8(NSString* text);

/// A string object with exactly the characters of UTF-8 text; nil when the bytes are not UTF-8.
NSString* nsString(std::string_view text);

/// The file system's own bytes for the path of a file URL; none when `object` is no file URL with
/// a path.
std::optional<std::string> filePath(id object);

}  // namespace platform::macos
