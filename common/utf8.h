#pragma once

#include <string>
#include <string_view>

namespace common {

/// True when `bytes` is well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(std::string_view bytes);

/// `bytes` with every ill-formed sequence replaced by U+FFFD, one replacement for each maximal
/// subpart of an ill-formed sequence (the Unicode recommendation, which the system's own string
/// repair follows). Well-formed input comes back unchanged.
std::string replaceInvalidUtf8(std::string_view bytes);

}  // namespace common
