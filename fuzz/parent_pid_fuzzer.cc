// The parent pid argument against a plain reading of its rule: an optional single sign, one or
// more ASCII digits, nothing else, inside the signed 32-bit range; accepted only when at least 2
// and equal to the actual parent.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "common/parent_pid.h"

namespace {

std::optional<std::int32_t> reference(std::string_view text) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  std::string digits(text.substr(at));
  if (digits.empty()) return std::nullopt;
  for (const char c : digits) {
    if (!(c >= '0' && c <= '9')) return std::nullopt;
  }
  const std::size_t firstSignificant = digits.find_first_not_of('0');
  digits = firstSignificant == std::string::npos ? "0" : digits.substr(firstSignificant);
  if (digits.size() > 10) return std::nullopt;  // ten digits hold every 32-bit magnitude
  const long long magnitude = std::stoll(digits);
  const long long value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first four bytes are the actual parent; the rest is the argument.
  if (size < 4) return 0;
  std::int32_t actual = 0;
  std::memcpy(&actual, data, sizeof actual);
  const std::string_view text(reinterpret_cast<const char*>(data) + 4, size - 4);

  const std::optional<std::int32_t> parsed = common::parsePid(text);
  FUZZ_CHECK(parsed == reference(text));

  const std::optional<std::int32_t> accepted = common::acceptParent(text, actual);
  const bool shouldAccept = parsed && *parsed >= 2 && *parsed == actual;
  FUZZ_CHECK(accepted.has_value() == shouldAccept);
  FUZZ_CHECK(!accepted || *accepted == actual);
  return 0;
}
