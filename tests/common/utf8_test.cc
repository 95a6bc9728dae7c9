// Repairing text that is not UTF-8, and telling whether it is.
#include <string>

#include <gtest/gtest.h>

#include "common/utf8.h"

namespace {

TEST(Utf8, ReplacesEachMaximalSubpartOfAnIllFormedSequence) {
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\xFF", "\xEF\xBF\xBD"},
      {"a\x80z", "a\xEF\xBF\xBDz"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong: two subparts
      {"\xE0\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong three bytes
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // encoded surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // > U+10FFFF
      {"\xE2\x82", "\xEF\xBF\xBD"},  // truncated: one subpart
      {"\xE2\x82x", "\xEF\xBF\xBDx"},
      {"\xF0\x9F\x98", "\xEF\xBF\xBD"},
      {"\xF0\x9F\x98\xF0\x9F\x98\x80", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"\xE9t\xE9", "\xEF\xBF\xBDt\xEF\xBF\xBD"},  // Latin-1
      // The edges of the lead bytes: 0xDF leads two bytes; 0xF0 needs at least 0x90 next (below is
      // overlong); 0xF5 and above lead nothing.
      {"\xDF\xBF", "\xDF\xBF"},
      {"\xC2\x80", "\xC2\x80"},
      {"\xF0\x80\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80"},
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"\xF5\x80\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC1\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(common::replaceInvalidUtf8(c.bytes), c.text) << testing::PrintToString(c.bytes);
    EXPECT_EQ(common::isValidUtf8(c.bytes), c.bytes == c.text) << testing::PrintToString(c.bytes);
    EXPECT_TRUE(common::isValidUtf8(c.text));
  }
}

}  // namespace
