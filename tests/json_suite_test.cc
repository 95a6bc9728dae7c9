// The request decoder against a public JSON conformance suite. Each document is checked twice:
// as the whole request (only an object can be one), and as the value of an ignored member beside
// a valid "name", which shows the decoder's grammar independently of the request's shape.
#include <filesystem>
#include <fstream>
#include <iterator>
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

TEST(JsonSuite, ImplementationDefinedDocumentsNeverCrashTheDecoder) {
  for (const auto& doc : documents('i')) {
    SCOPED_TRACE(doc.file);
    const auto whole = decodeRequest(doc.bytes);
    if (whole) {
      EXPECT_EQ(*whole, Request{});
    }
    const auto beside = decodeRequest(besideName(common::replaceInvalidUtf8(doc.bytes)));
    if (beside) {
      EXPECT_EQ(*beside, kByN);
    }
  }
}

}  // namespace
