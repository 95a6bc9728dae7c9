#include "common/parent_pid.h"

namespace common {

std::optional<std::int32_t> parsePid(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate the magnitude in 64 bits and stop as soon as it leaves the 32-bit range, so any
  // number of leading zeros or digits is read without overflow.
  constexpr std::int64_t kLimit = std::int64_t{INT32_MAX} + 1;  // magnitude of INT32_MIN
  std::int64_t magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) return std::nullopt;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> acceptParent(std::string_view text, std::int32_t actualParent) {
  const std::optional<std::int32_t> pid = parsePid(text);
  if (!pid || *pid < 2 || *pid != actualParent) return std::nullopt;
  return pid;
}

}  // namespace common
