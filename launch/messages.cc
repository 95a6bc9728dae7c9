#include "launch/messages.h"

#include <cstddef>
#include <nlohmann/json.hpp>

#include "common/utf8.h"

namespace launch {

namespace {

// Reads a request as a stream of events, so that no value is built for members we ignore. The
// parser keeps its nesting on the heap, so deep nesting anywhere costs memory, never the stack.
class RequestReader final : public nlohmann::json_sax<nlohmann::json> {
 public:
  // State of one of our two fields after the members seen so far.
  enum class Field { absent, text, wrongType };

  bool null() override { return scalar(Field::absent, nullptr); }
  bool boolean(bool) override { return scalar(Field::wrongType, nullptr); }
  bool number_integer(number_integer_t) override { return scalar(Field::wrongType, nullptr); }
  bool number_unsigned(number_unsigned_t) override { return scalar(Field::wrongType, nullptr); }
  bool number_float(number_float_t, const string_t&) override {
    return scalar(Field::wrongType, nullptr);
  }
  bool string(string_t& value) override { return scalar(Field::text, &value); }
  bool binary(binary_t&) override { return scalar(Field::wrongType, nullptr); }

  bool start_object(std::size_t) override { return open(); }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override {
    if (depth_ == 0) topLevelIsObject_ = false;
    return open();
  }
  bool end_array() override { return close(); }

  bool key(string_t& key) override {
    if (depth_ == 1) {
      if (key == Request::kBundleIdKey) {
        current_ = &bundleId_;
      } else if (key == Request::kNameKey) {
        current_ = &name_;
      } else {
        current_ = nullptr;
      }
    }
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

  std::optional<Request> request() const {
    if (!topLevelIsObject_) return std::nullopt;
    if (bundleId_.state == Field::wrongType || name_.state == Field::wrongType) return std::nullopt;
    Request request;
    if (bundleId_.state == Field::text) request.bundleId = bundleId_.text;
    if (name_.state == Field::text) request.name = name_.text;
    return request;
  }

 private:
  struct Member {
    Field state = Field::absent;
    std::string text;
  };

  bool scalar(Field kind, std::string* text) {
    if (depth_ == 0) {
      topLevelIsObject_ = false;  // a bare scalar is the whole document
    } else if (depth_ == 1 && current_ != nullptr) {
      current_->state = kind;
      if (text != nullptr) current_->text = std::move(*text);
      current_ = nullptr;
    }
    return true;
  }

  bool open() {
    if (depth_ == 1 && current_ != nullptr) {
      current_->state = Field::wrongType;  // an object or array under one of our keys
      current_ = nullptr;
    }
    ++depth_;
    return true;
  }

  bool close() {
    --depth_;
    return true;
  }

  std::size_t depth_ = 0;
  bool topLevelIsObject_ = true;
  Member bundleId_;
  Member name_;
  Member* current_ = nullptr;
};

bool isNumberCharacter(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// What stands in for `token` when it is one number as JSON writes it,
// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, of any size: a zero of the same kind, so that
// the parser reports it just as it would the number itself (a negative integer, an unsigned one,
// or a float). Empty when `token` is no such number.
std::string_view zeroLike(std::string_view token) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
    return i > start;
  };
  const bool negative = i < token.size() && token[i] == '-';
  if (negative) ++i;
  if (i < token.size() && token[i] == '0') {
    ++i;
  } else if (i >= token.size() || token[i] < '1' || token[i] > '9' || !digits()) {
    return {};
  }
  bool integer = true;
  if (i < token.size() && token[i] == '.') {
    ++i;
    if (!digits()) return {};
    integer = false;
  }
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    if (!digits()) return {};
    integer = false;
  }
  if (i != token.size()) return {};
  if (integer) return negative ? "-0" : "0";
  return negative ? "-0.0" : "0.0";
}

// `text` with every number outside strings replaced by a zero of its kind. The parser refuses a
// number it cannot hold as a finite double, while JSON sets no limit; no number is ever used, so
// its value does not matter, only its place and its kind.
//
// Why this changes no verdict but that one: a number in a valid text stands between structural
// characters or whitespace, so it is a whole run of number characters outside strings; a run
// that is a number becomes another number, and the text stays valid with the same values in the
// same places. Runs that are no number are left as they are: the "e" that ends "true" or
// "false", "1.", "01", "1e", "+1", "true1" (where the run "e1" starts with a letter). Conversely,
// if the new text is valid, each zero put in is again a whole run outside strings there, so it is
// a number of its own, and putting the old number back gives a valid text. Strings are followed
// by their quotes, and inside them a backslash takes the next character with it, which is how a
// valid text reads; the runs replaced hold no quote or backslash, so both texts have their
// strings in the same places.
std::string withNumbersAsZeros(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inString = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (inString) {
      out += c;
      ++i;
      if (c == '\\') {
        if (i < text.size()) out += text[i++];
      } else if (c == '"') {
        inString = false;
      }
    } else if (isNumberCharacter(c)) {
      std::size_t end = i;
      while (end < text.size() && isNumberCharacter(text[end])) ++end;
      const std::string_view run = text.substr(i, end - i);
      const std::string_view zero = zeroLike(run);
      out += zero.empty() ? run : zero;
      i = end;
    } else {
      inString = c == '"';
      out += c;
      ++i;
    }
  }
  return out;
}

void appendString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0x0F];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

}  // namespace

std::optional<Request> decodeRequest(std::string_view bytes) {
  // The parser would skip a byte-order mark; only whitespace may come before the value.
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::nullopt;
  const std::string text = withNumbersAsZeros(bytes);
  RequestReader reader;
  const bool parsed = nlohmann::json::sax_parse(text.begin(), text.end(), &reader,
                                                nlohmann::json::input_format_t::json,
                                                /*strict=*/true, /*ignore_comments=*/false);
  if (!parsed) return std::nullopt;
  return reader.request();
}

std::string encodeReply(const Reply& reply) {
  std::string out = "{";
  bool first = true;
  const auto member = [&](std::string_view key) -> std::string& {
    if (!first) out += ',';
    first = false;
    out += '"';
    out += key;
    out += "\":";
    return out;
  };
  const auto text = [&](std::string_view key, const std::optional<std::string>& value) {
    if (!value) return true;
    if (!common::isValidUtf8(*value)) return false;
    appendString(member(key), *value);
    return true;
  };
  if (!text(Reply::kBundleIdKey, reply.bundleId)) return std::string(kFallbackLiteral);
  if (!text(Reply::kNameKey, reply.name)) return std::string(kFallbackLiteral);
  if (reply.pid) member(Reply::kPidKey) += std::to_string(*reply.pid);
  if (!text(Reply::kErrorKey, reply.error)) return std::string(kFallbackLiteral);
  out += '}';
  return out;
}

}  // namespace launch
