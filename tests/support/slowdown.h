// Time bounds hold for the build as shipped; sanitizers slow everything down several times. A
// suite built with them is compiled with SANITIZED_BUILD defined.
#pragma once

namespace testing_support {

#ifdef SANITIZED_BUILD
inline constexpr bool kSanitized = true;
inline constexpr double kSlowdown = 6;
#else
inline constexpr bool kSanitized = false;
inline constexpr double kSlowdown = 1;
#endif

}  // namespace testing_support
