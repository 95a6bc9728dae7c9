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
      {R"({"name":"a\/b\"c\\d\u00e9\ud83d\ude00\n"})",
       byName("a/b\"c\\d\xC3\xA9\xF0\x9F\x98\x80\n")},
      {R"({"name":"\u0000"})", byName(std::string(1, '\0'))},
      {R"({"name":"x","name":"y"})", byName("y")},  // the last occurrence counts
      {R"({"name":5,"name":"y"})", byName("y")},
      {R"({"name":"x","name":null})", Request{}},
      // An ignored number is ignored however large, small or long it is.
      {R"({"x":1e400,"name":"X"})", byName("X")},
      {R"({"x":-1e400,"name":"X"})", byName("X")},
      {R"({"x":)" + std::string(400, '9') + R"(,"name":"X"})", byName("X")},
      {R"({"x":-)" + std::string(400, '9') + ".5E+99999" + R"(,"name":"X"})", byName("X")},
      {R"({"1e400":[1E400,-0.0e-0,0,-0,1e-99999,{"y":12e9999}],"name":"X"})", byName("X")},
      {R"({"x":[true,false,null,1e400,true],"name":"X"})", byName("X")},
      // Number text inside strings is text, whatever surrounds it.
      {R"({"name":"1e400 -0 01 1."})", byName("1e400 -0 01 1.")},
      {R"({"name":"\"1e400\\","x":1e400})", byName("\"1e400\\")},
      {R"({"name":"\\\"","bundleId":null,"x":-2e400})", byName("\\\"")},
      {"{\"name\":\"\xEF\xBB\xBFX\"}", byName("\xEF\xBB\xBFX")},  // U+FEFF as a character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeRequest(c.json), std::optional<Request>(c.request)) << c.json;
  }
}

TEST(DecodeRequest, RefusesWhatIsNotOneStrictObjectWithTextFields) {
  const std::string cases[] = {
      "",
      " ",
      "\n\t",
      "null",
      "true",
      "1",
      R"("name")",
      R"(["name","Safari"])",
      R"({"name":5})",
      R"({"name":true})",
      R"({"name":{}})",
      R"({"name":[]})",
      R"({"name":"x","bundleId":1.5})",
      R"({"bundleId":"a","name":false})",
      R"({"name":"x","name":5})",
      R"({"name":"Safari",})",
      R"({"name":"Safari"} x)",
      R"({"name":"Safari"}{})",
      R"({'name':'Safari'})",
      R"({name:"Safari"})",
      "{\"name\":\"Safari\"} // c",
      "/* c */ {\"name\":\"Safari\"}",
      R"({"name":"Safari")",
      R"({"name":"a	b"})",
      R"({"name":"\ud800"})",
      R"({"name":"\x41"})",
      R"({"name":NaN})",
      R"({"a":01,"name":"x"})",
      // A number of any kind and size is the wrong type for our two fields.
      R"({"name":-5})",
      R"({"name":1.5})",
      R"({"bundleId":-1})",
      R"({"bundleId":7})",
      R"({"name":1e400})",
      R"({"bundleId":-1e400,"name":"x"})",
      R"({"name":)" + std::string(400, '9') + "}",
      // What is no number stays refused, beside however large a number.
      R"({"x":1.,"name":"X"})",
      R"({"x":.5,"name":"X"})",
      R"({"x":+1,"name":"X"})",
      R"({"x":1e,"name":"X"})",
      R"({"x":1e+,"name":"X"})",
      R"({"x":01e400,"name":"X"})",
      R"({"x":-,"name":"X"})",
      R"({"x":--1,"name":"X"})",
      R"({"x":1.5.5,"name":"X"})",
      R"({"x":1e400e1,"name":"X"})",
      R"({"x":1e400.5,"name":"X"})",
      R"({"x":true1e400,"name":"X"})",
      R"({"x":1e400true,"name":"X"})",
      R"({"x":1e400 1,"name":"X"})",
      R"({"x":-Infinity,"name":"X"})",
      R"({1e400:"x","name":"X"})",
      R"({"x":1e400)",
      R"({"x":"\",1e400,"name":"X"})",
      // Nothing but whitespace around the value: no byte-order mark.
      "\xEF\xBB\xBF{\"name\":\"Safari\"}",
      " \xEF\xBB\xBF{\"name\":\"Safari\"}",
      "{\"name\":\"Safari\"}\xEF\xBB\xBF",
      "\xEF\xBB\xBF",
  };
  for (const std::string& json : cases) {
    EXPECT_EQ(decodeRequest(json), std::nullopt) << json;
  }
}

TEST(DecodeRequest, SurvivesDeepNestingAnywhere) {
  constexpr int kDepth = 100'000;
  const std::string open(kDepth, '['), close(kDepth, ']');
  EXPECT_EQ(decodeRequest(open), std::nullopt);          // unclosed
  EXPECT_EQ(decodeRequest(open + close), std::nullopt);  // closed, but not an object
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
