// Request decoding over any bytes, after the argument's UTF-8 repair: it decodes or refuses, and
// what it decodes is what a full parse of the same text finds under the two keys. The full parse
// stops at a number it cannot hold, which JSON allows; each such number, found by the parser
// itself, is replaced by 0 and a space, and the parse tried again. A byte-order mark, which it
// skips, refuses.
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
  for (const auto& [key, field] :
       {std::pair{"bundleId", &request.bundleId}, std::pair{"name", &request.name}}) {
    const auto member = document.find(key);
    if (member == document.end() || member->is_null()) continue;
    if (!member->is_string()) return std::nullopt;
    *field = member->get<std::string>();
  }
  return request;
}

// Builds the document as the library's own reader does, and notes where the parse stopped at a
// number too large for a double.
class DocumentReader final : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit DocumentReader(nlohmann::json& document) : dom_(document, false) {}

  bool null() override { return dom_.null(); }
  bool boolean(bool value) override { return dom_.boolean(value); }
  bool number_integer(number_integer_t value) override { return dom_.number_integer(value); }
  bool number_unsigned(number_unsigned_t value) override { return dom_.number_unsigned(value); }
  bool number_float(number_float_t value, const string_t& text) override {
    return dom_.number_float(value, text);
  }
  bool string(string_t& value) override { return dom_.string(value); }
  bool binary(binary_t& value) override { return dom_.binary(value); }
  bool start_object(std::size_t size) override { return dom_.start_object(size); }
  bool key(string_t& value) override { return dom_.key(value); }
  bool end_object() override { return dom_.end_object(); }
  bool start_array(std::size_t size) override { return dom_.start_array(size); }
  bool end_array() override { return dom_.end_array(); }
  bool parse_error(std::size_t position, const std::string& token,
                   const nlohmann::detail::exception& error) override {
    // 406: a number that overflows; `position` is just past it.
    if (error.id == 406 && token.size() <= position) {
      overflowAt = position - token.size();
      overflowLength = token.size();
    }
    return false;
  }

  std::optional<std::size_t> overflowAt;
  std::size_t overflowLength = 0;

 private:
  nlohmann::detail::json_sax_dom_parser<nlohmann::json> dom_;
};

// The whole document, every number too large for the parser taken as 0; discarded when the text
// is no JSON.
nlohmann::json parseWithoutNumberLimits(std::string text) {
  for (;;) {
    nlohmann::json document;
    DocumentReader reader(document);
    const bool parsed =
        nlohmann::json::sax_parse(text, &reader, nlohmann::json::input_format_t::json, true, false);
    if (parsed) return document;
    if (!reader.overflowAt) return nlohmann::json(nlohmann::json::value_t::discarded);
    // The space ends the number where the parser ended it: "1e400.5" must not become "0.5".
    text.replace(*reader.overflowAt, reader.overflowLength, "0 ");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text =
      common::replaceInvalidUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::optional<launch::Request> decoded = launch::decodeRequest(text);

  const nlohmann::json document = parseWithoutNumberLimits(text);
  if (document.is_discarded() || text.starts_with("\xEF\xBB\xBF")) {
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
