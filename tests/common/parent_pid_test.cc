// Reading the parent pid argument, and accepting it as the parent.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "common/parent_pid.h"

namespace {

TEST(ParsePid, ReadsTheSignedDecimalForms) {
  const struct {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"4242", 4242},
      {"+4242", 4242},
      {"0004242", 4242},
      {"+0004242", 4242},
      {"-17", -17},
      {"0", 0},
      {"-0", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"00000000000000000000002147483647", INT32_MAX},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"++1", std::nullopt},
      {"+-1", std::nullopt},
      {" 42", std::nullopt},
      {"42 ", std::nullopt},
      {"42\n", std::nullopt},
      {"42.0", std::nullopt},
      {"4e2", std::nullopt},
      {"0x2a", std::nullopt},
      {"4_2", std::nullopt},
      {"\xEF\xBC\x94\xEF\xBC\x92", std::nullopt},  // full-width digits
      {"\xEF\xBF\xBD", std::nullopt},
      {std::string_view("4\0"
                        "2",
                        3)
           .data(),
       4},  // a C string ends at the NUL
  };
  for (const auto& c : cases) {
    EXPECT_EQ(common::parsePid(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(AcceptParent, NeedsANumberOfAtLeastTwoThatIsTheParent) {
  EXPECT_EQ(common::acceptParent("4242", 4242), 4242);
  EXPECT_EQ(common::acceptParent("+04242", 4242), 4242);
  EXPECT_EQ(common::acceptParent("2", 2), 2);
  EXPECT_EQ(common::acceptParent("4243", 4242), std::nullopt);
  EXPECT_EQ(common::acceptParent("1", 1), std::nullopt);  // even when the parent really is 1
  EXPECT_EQ(common::acceptParent("0", 0), std::nullopt);
  EXPECT_EQ(common::acceptParent("-4242", -4242), std::nullopt);
  EXPECT_EQ(common::acceptParent("4242.0", 4242), std::nullopt);
}

}  // namespace
