#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "launch/messages.h"

namespace {

using launch::decodeRequest;
using launch::encodeReply;
using launch::Reply;
using launch::Request;

Request byName(std::string name) { return Request{std::nullopt, std::move(name)}; }
Request byId(std::string id) { return Request{std::move(id), std::nullopt}; }

TEST(DecodeRequest, ReadsTheTwoFieldsAndIgnoresEverythingElse) {
  const struct {
    std::string json;
    Request request;
  } cases[] = {
      {R"({"name":"Safari"})", byName("Safari")},
      {R"({"bundleId":"com.apple.Safari"})", byId("com.apple.Safari")},
      {R"({"bundleId":null,"name":"Safari"})", byName("Safari")},
      {R"({"name":""})", byName("")},
      {R"({"bundleId":"a","name":"b"})", Request{"a", "b"}},
      {R"({})", Request{}},
      {R"({"bundleId":null,"name":null})", Request{}},
      {R"({"Name":"x","BUNDLEID":"y"})", Request{}},
      {R"({"name":"Safari","extra":[1,{"name":5}],"more":{"bundleId":true}})", byName("Safari")},
      {R"({"x":{"name":"nested"},"name":"top"})", byName("top")},
      {" \t\r\n{\"name\" : \"Safari\"} \n", byName("Safari")},
      {R"({"name":"a\/b\"c\\d\u00e9\ud83d\ude00\n"})", byName("a/b\"c\\d\xC3\xA9\xF0\x9F\x98\x80\n")},
      {R"({"name":"\u0000"})", byName(std::string(1, '\0'))},
      {R"({"name":"x","name":"y"})", byName("y")},       // the last occurrence counts
      {R"({"name":5,"name":"y"})", byName("y")},
      {R"({"name":"x","name":null})", Request{}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeRequest(c.json), std::optional<Request>(c.request)) << c.json;
  }
}

TEST(DecodeRequest, RefusesWhatIsNotOneStrictObjectWithTextFields) {
  const char* cases[] = {
      "", " ", "\n\t",
      "null", "true", "1", R"("name")", R"(["name","Safari"])",
      R"({"name":5})", R"({"name":true})", R"({"name":{}})", R"({"name":[]})",
      R"({"name":"x","bundleId":1.5})", R"({"bundleId":"a","name":false})",
      R"({"name":"x","name":5})",
      R"({"name":"Safari",})", R"({"name":"Safari"} x)", R"({"name":"Safari"}{})",
      R"({'name':'Safari'})", R"({name:"Safari"})", "{\"name\":\"Safari\"} // c",
      "/* c */ {\"name\":\"Safari\"}", R"({"name":"Safari")", R"({"name":"a	b"})",
      R"({"name":"\ud800"})", R"({"name":"\x41"})", R"({"name":NaN})", R"({"a":01,"name":"x"})",
  };
  for (const char* json : cases) {
    EXPECT_EQ(decodeRequest(json), std::nullopt) << json;
  }
}

TEST(DecodeRequest, SurvivesDeepNestingAnywhere) {
  constexpr int kDepth = 100'000;
  const std::string open(kDepth, '['), close(kDepth, ']');
  EXPECT_EQ(decodeRequest(open), std::nullopt);           // unclosed
  EXPECT_EQ(decodeRequest(open + close), std::nullopt);   // closed, but not an object
  EXPECT_EQ(decodeRequest(R"({"deep":)" + open + close + R"(,"name":"Safari"})"),
            std::optional<Request>(byName("Safari")));
  EXPECT_EQ(decodeRequest(R"({"name":"Safari","deep":)" + open + close + "}"),
            std::optional<Request>(byName("Safari")));
  std::string objects;
  for (int i = 0; i < kDepth; ++i) objects += R"({"a":)";
  objects += "1" + std::string(kDepth, '}');
  EXPECT_EQ(decodeRequest(R"({"deep":)" + objects + R"(,"bundleId":"x"})"),
            std::optional<Request>(byId("x")));
  EXPECT_EQ(decodeRequest(R"({"name":)" + open + close + "}"), std::nullopt);
}

TEST(EncodeReply, WritesCompactJsonWithThePresentFieldsInOrder) {
  const struct {
    Reply reply;
    std::string json;
  } cases[] = {
      {Reply{.error = "INVALID_PARAMS"}, R"({"error":"INVALID_PARAMS"})"},
      {Reply{.bundleId = "com.apple.Safari", .name = "Safari", .pid = 4242},
       R"({"bundleId":"com.apple.Safari","name":"Safari","pid":4242})"},
      {Reply{.bundleId = "a", .name = "", .pid = 1}, R"({"bundleId":"a","name":"","pid":1})"},
      {Reply{.bundleId = "a", .name = "AC/DC", .pid = 2147483647},
       R"({"bundleId":"a","name":"AC\/DC","pid":2147483647})"},
      {Reply{.bundleId = "a", .name = "Caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80", .pid = 7},
       "{\"bundleId\":\"a\",\"name\":\"Caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80\",\"pid\":7}"},
      {Reply{.bundleId = "a", .name = "q\"b\\", .pid = 7},
       R"({"bundleId":"a","name":"q\"b\\","pid":7})"},
      {Reply{.bundleId = "a", .name = std::string("\0\x01\b\t\n\f\r\x1f\x7f", 9), .pid = 7},
       "{\"bundleId\":\"a\",\"name\":\"\\u0000\\u0001\\b\\t\\n\\f\\r\\u001f\x7f\",\"pid\":7}"},
      {Reply{.bundleId = "a", .name = "\xEF\xBF\xBD", .pid = -3},
       "{\"bundleId\":\"a\",\"name\":\"\xEF\xBF\xBD\",\"pid\":-3}"},
      {Reply{}, "{}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encodeReply(c.reply), c.json);
  }
}

TEST(EncodeReply, FallsBackWhenATextIsNotUtf8) {
  EXPECT_EQ(launch::kFallbackLiteral, R"({"error":"BRIDGE_ERROR"})");
  EXPECT_EQ(launch::kFallbackLiteral.size(), 24u);
  const Reply replies[] = {
      {.bundleId = "a", .name = "\xFF", .pid = 7},
      {.bundleId = "\xC3", .name = "x", .pid = 7},
      {.bundleId = "a", .name = "\xED\xA0\x80", .pid = 7},  // an encoded surrogate
      {.error = "\x80"},
  };
  for (const Reply& reply : replies) {
    EXPECT_EQ(encodeReply(reply), launch::kFallbackLiteral);
  }
}

}  // namespace
