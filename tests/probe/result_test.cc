#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "probe/result.h"

namespace {

using probe::Bounds;
using probe::encodeResult;
using probe::numberText;
using probe::Result;

TEST(NumberText, IsTheShortestTextThatReadsBackExactly) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {120, "120"},
      {-80, "-80"},
      {715.5, "715.5"},
      {0.1, "0.1"},
      {1.0 / 3, "0.3333333333333333"},
      {1e21, "1e+21"},
      {9007199254740992.0, "9007199254740992"},
      {5e-324, "5e-324"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {-1440.25, "-1440.25"},
  };
  for (const auto& c : cases) {
    const std::string text = numberText(c.value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), c.value) << text;
    EXPECT_EQ(text, c.text);
  }
}

TEST(NumberText, EveryFiniteDoubleRoundTripsThroughJson) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    double v;
    const std::uint64_t bits = random();
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    const std::string text = numberText(v);
    const auto parsed = nlohmann::json::parse(text, nullptr, false);
    ASSERT_TRUE(parsed.is_number()) << text;
    ASSERT_EQ(parsed.get<double>(), v) << text;
  }
}

TEST(EncodeResult, WritesAllSixKeysCompactly) {
  EXPECT_EQ(encodeResult(Result{Bounds{120, 80, 715, 560}, true}),
            R"({"bounds":{"x":120,"y":80,"width":715,"height":560},"visible":true})");
  EXPECT_EQ(encodeResult(Result{Bounds{-1440.5, 0, 300, 200}, false}),
            R"({"bounds":{"x":-1440.5,"y":0,"width":300,"height":200},"visible":false})");
}

TEST(EncodeResult, RefusesNumbersThatJsonCannotHold) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Bounds& b :
       {Bounds{inf, 0, 300, 200}, Bounds{0, -inf, 300, 200}, Bounds{0, 0, inf, 200},
        Bounds{0, 0, 300, nan}, Bounds{nan, 0, 300, 200}}) {
    EXPECT_EQ(encodeResult(Result{b, true}), std::nullopt);
  }
}

}  // namespace
