// Request decoding over any bytes, after the argument's UTF-8 repair: it decodes or refuses, and
// what it decodes is what a full parse of the same text finds under the two keys.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "check.h"
#include "common/utf8.h"
#include "launch/messages.h"

namespace {

// The request as the whole document says it: the last occurrence of a key wins in the parsed
// object, which is also the rule the decoder follows.
std::optional<launch::Request> expected(const nlohmann::json& document) {
  if (!document.is_object()) return std::nullopt;
  launch::Request request;
  for (const auto& [key, field] : {std::pair{"bundleId", &request.bundleId},
                                   std::pair{"name", &request.name}}) {
    const auto member = document.find(key);
    if (member == document.end() || member->is_null()) continue;
    if (!member->is_string()) return std::nullopt;
    *field = member->get<std::string>();
  }
  return request;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text =
      common::replaceInvalidUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::optional<launch::Request> decoded = launch::decodeRequest(text);

  const nlohmann::json document =
      nlohmann::json::parse(text, /*cb=*/nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) {
    FUZZ_CHECK(!decoded);
    return 0;
  }
  const std::optional<launch::Request> reference = expected(document);
  FUZZ_CHECK(decoded.has_value() == reference.has_value());
  if (decoded) {
    FUZZ_CHECK(*decoded == *reference);
    for (const auto& field : {decoded->bundleId, decoded->name}) {
      FUZZ_CHECK(!field || common::isValidUtf8(*field));
    }
  }
  return 0;
}
