// The request decoder against a public JSON conformance suite. Each document is checked twice:
// as the whole request (only an object can be one), and as the value of an ignored member beside
// a valid "name", which shows the decoder's grammar independently of the request's shape.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/utf8.h"
#include "launch/messages.h"

namespace {

namespace fs = std::filesystem;
using launch::decodeRequest;
using launch::Request;

struct Document {
  std::string file;
  std::string bytes;
};

std::vector<Document> documents(char verdict) {
  std::vector<Document> found;
  for (const auto& entry : fs::directory_iterator(JSON_SUITE_DIR)) {
    const std::string file = entry.path().filename().string();
    if (file.size() < 2 || file[0] != verdict || file[1] != '_') continue;
    std::ifstream in(entry.path(), std::ios::binary);
    found.push_back({file, std::string(std::istreambuf_iterator<char>(in), {})});
  }
  return found;
}

std::string besideName(const std::string& document) {
  return "{\"ignored\":" + document + ",\"name\":\"N\"}";
}

bool isObject(const std::string& document) {
  const auto dom = nlohmann::json::parse(document, nullptr, /*allow_exceptions=*/false);
  return dom.is_object();
}

const Request kByN{std::nullopt, "N"};

TEST(JsonSuite, AcceptsEveryDocumentThatMustBeAccepted) {
  const auto accepted = documents('y');
  ASSERT_GT(accepted.size(), 90u) << "suite not found at " << JSON_SUITE_DIR;
  for (const auto& doc : accepted) {
    SCOPED_TRACE(doc.file);
    EXPECT_EQ(decodeRequest(besideName(doc.bytes)), std::optional<Request>(kByN));
    // As the whole request it decodes exactly when it is an object (none of these hold our keys).
    EXPECT_EQ(decodeRequest(doc.bytes).has_value(), isObject(doc.bytes));
    // None of them holds a NUL byte or bytes that are not UTF-8, so they pass through a
    // command-line argument unchanged.
    EXPECT_EQ(doc.bytes.find('\0'), std::string::npos);
    EXPECT_EQ(common::replaceInvalidUtf8(doc.bytes), doc.bytes);
  }
}

TEST(JsonSuite, RefusesEveryDocumentThatMustBeRefused) {
  const auto refused = documents('n');
  ASSERT_GT(refused.size(), 180u);
  for (const auto& doc : refused) {
    SCOPED_TRACE(doc.file);
    EXPECT_EQ(decodeRequest(doc.bytes), std::nullopt);
    EXPECT_EQ(decodeRequest(besideName(doc.bytes)), std::nullopt);
  }
}

// A command-line argument cannot carry a NUL byte (the argument ends there), and its bytes that
// are not UTF-8 become U+FFFD before decoding. Passed that way, every refused document is still
// refused as a request. Only one becomes valid JSON on the way: "123" followed by a NUL byte
// arrives as "123", which is no object.
TEST(JsonSuite, RefusedDocumentsStayRefusedAsCommandLineArguments) {
  for (const auto& doc : documents('n')) {
    SCOPED_TRACE(doc.file);
    const std::string argument = common::replaceInvalidUtf8(std::string(doc.bytes.c_str()));
    EXPECT_EQ(decodeRequest(argument), std::nullopt);
    const bool becomesValid = doc.file == "n_multidigit_number_then_00.json";
    EXPECT_EQ(decodeRequest(besideName(argument)).has_value(), becomesValid);
  }
}

// Where the suite leaves the verdict to the parser, each document gets the one we chose, as the
// whole request (none is an object we take), beside a valid "name" as its bytes stand, and beside
// it as a command-line argument carries it (bytes that are not UTF-8 become U+FFFD).
TEST(JsonSuite, ImplementationDefinedDocumentsGetTheVerdictWeChose) {
  enum Verdict { refused, accepted, acceptedOnceRepaired };
  const std::map<std::string, Verdict> chosen = {
      // JSON sets no limit on numbers, and an ignored member is ignored whatever it holds.
      {"i_number_double_huge_neg_exp.json", accepted},
      {"i_number_huge_exp.json", accepted},
      {"i_number_neg_int_huge_exp.json", accepted},
      {"i_number_pos_double_huge_exp.json", accepted},
      {"i_number_real_neg_overflow.json", accepted},
      {"i_number_real_pos_overflow.json", accepted},
      {"i_number_real_underflow.json", accepted},
      {"i_number_too_big_neg_int.json", accepted},
      {"i_number_too_big_pos_int.json", accepted},
      {"i_number_very_big_negative_int.json", accepted},
      {"i_structure_500_nested_arrays.json", accepted},
      // Only whitespace may stand before the value.
      {"i_structure_UTF-8_BOM_empty_object.json", refused},
      {"i_string_UTF-16LE_with_BOM.json", refused},
      {"i_string_utf16BE_no_BOM.json", refused},
      {"i_string_utf16LE_no_BOM.json", refused},
      // An escape that is no Unicode scalar value fails the decoding.
      {"i_object_key_lone_2nd_surrogate.json", refused},
      {"i_string_1st_surrogate_but_2nd_missing.json", refused},
      {"i_string_1st_valid_surrogate_2nd_invalid.json", refused},
      {"i_string_incomplete_surrogate_and_escape_valid.json", refused},
      {"i_string_incomplete_surrogate_pair.json", refused},
      {"i_string_incomplete_surrogates_escape_valid.json", refused},
      {"i_string_invalid_lonely_surrogate.json", refused},
      {"i_string_invalid_surrogate.json", refused},
      {"i_string_inverted_surrogates_U+1D11E.json", refused},
      {"i_string_lone_second_surrogate.json", refused},
      // Bytes that are not UTF-8: refused as they stand, U+FFFD once an argument carries them.
      {"i_string_UTF-8_invalid_sequence.json", acceptedOnceRepaired},
      {"i_string_UTF8_surrogate_U+D800.json", acceptedOnceRepaired},
      {"i_string_invalid_utf-8.json", acceptedOnceRepaired},
      {"i_string_iso_latin_1.json", acceptedOnceRepaired},
      {"i_string_lone_utf8_continuation_byte.json", acceptedOnceRepaired},
      {"i_string_not_in_unicode_range.json", acceptedOnceRepaired},
      {"i_string_overlong_sequence_2_bytes.json", acceptedOnceRepaired},
      {"i_string_overlong_sequence_6_bytes.json", acceptedOnceRepaired},
      {"i_string_overlong_sequence_6_bytes_null.json", acceptedOnceRepaired},
      {"i_string_truncated-utf-8.json", acceptedOnceRepaired},
  };
  const auto documentsFound = documents('i');
  EXPECT_EQ(documentsFound.size(), chosen.size());
  for (const auto& doc : documentsFound) {
    SCOPED_TRACE(doc.file);
    const auto verdict = chosen.find(doc.file);
    ASSERT_NE(verdict, chosen.end()) << "no verdict chosen";
    EXPECT_EQ(decodeRequest(doc.bytes), std::nullopt);
    const auto beside = decodeRequest(besideName(doc.bytes));
    EXPECT_EQ(beside, verdict->second == accepted ? std::optional<Request>(kByN) : std::nullopt);
    const auto repaired = decodeRequest(besideName(common::replaceInvalidUtf8(doc.bytes)));
    EXPECT_EQ(repaired, verdict->second == refused ? std::nullopt : std::optional<Request>(kByN));
  }
}

}  // namespace
