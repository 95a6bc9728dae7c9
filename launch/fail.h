#pragma once

#include <string_view>

#include "launch/messages.h"  // the error codes, in launch::codes

namespace launch {

/// Ends the run with the failure reply for `code` and status 1. Callable from any thread.
[[noreturn]] void fail(std::string_view code);

}  // namespace launch
