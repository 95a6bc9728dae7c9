#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace launch {

/// The launch request, as the parent passes it in the first argument.
struct Request {
  // The JSON key of each field: exactly the field's name.
  static constexpr std::string_view kBundleIdKey = "bundleId";
  static constexpr std::string_view kNameKey = "name";

  std::optional<std::string> bundleId{};
  std::optional<std::string> name{};

  bool operator==(const Request&) const = default;
};

/// The launch reply: either the failure shape (`error` alone) or the success shape (`bundleId`,
/// `name` and `pid`).
struct Reply {
  // The JSON key of each field: exactly the field's name.
  static constexpr std::string_view kBundleIdKey = "bundleId";
  static constexpr std::string_view kNameKey = "name";
  static constexpr std::string_view kPidKey = "pid";
  static constexpr std::string_view kErrorKey = "error";

  std::optional<std::string> bundleId{};
  std::optional<std::string> name{};
  std::optional<std::int32_t> pid{};
  std::optional<std::string> error{};
};

/// What stands in for a reply that cannot be encoded.
inline constexpr std::string_view kFallbackLiteral = R"({"error":"BRIDGE_ERROR"})";

/// Decodes a request from one strict JSON text (RFC 8259, nothing but whitespace around the
/// value: a byte-order mark is refused). The value must be an object; its "bundleId" and "name"
/// members may be strings or null (absent); any other type there fails the decoding, a number of
/// any size included. Every other member is skipped without being built, however deeply it nests,
/// and whatever it holds: a number is accepted however large or small, as JSON sets no limit.
/// When a key occurs more than once, its last occurrence counts. No value when the text cannot be
/// decoded.
std::optional<Request> decodeRequest(std::string_view bytes);

/// The reply as compact JSON: the present fields in the order bundleId, name, pid, error; "/"
/// written as "\/", control characters escaped, everything else as raw UTF-8. A text field that is
/// not valid UTF-8 makes the encoding fail, and the fallback literal is returned instead.
std::string encodeReply(const Reply& reply);

}  // namespace launch

namespace launch::codes {

// The error codes of failure replies, in the order in which their checks are made.
inline constexpr std::string_view kInvalidParams = "INVALID_PARAMS";
inline constexpr std::string_view kParentGone = "PARENT_GONE";
inline constexpr std::string_view kApplicationNameAmbiguous = "APPLICATION_NAME_AMBIGUOUS";
inline constexpr std::string_view kApplicationNotFound = "APPLICATION_NOT_FOUND";
inline constexpr std::string_view kApplicationIdMismatch = "APPLICATION_ID_MISMATCH";
inline constexpr std::string_view kApplicationNameMismatch = "APPLICATION_NAME_MISMATCH";
inline constexpr std::string_view kApplicationLaunchFailed = "APPLICATION_LAUNCH_FAILED";
inline constexpr std::string_view kApplicationPidUnavailable = "APPLICATION_PID_UNAVAILABLE";

}  // namespace launch::codes
