#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace common {

/// Reads the parent pid argument as a signed 32-bit decimal integer: an optional single "+" or
/// "-", then one or more ASCII digits and nothing else (leading zeros allowed). No value for
/// anything else, an empty text, a bare sign, or a value outside the signed 32-bit range.
std::optional<std::int32_t> parsePid(std::string_view text);

/// The accepted parent pid: `text` read by `parsePid`, at least 2, and equal to `actualParent`
/// (the parent pid the operating system reports at the moment of the check). No value otherwise.
std::optional<std::int32_t> acceptParent(std::string_view text, std::int32_t actualParent);

}  // namespace common
