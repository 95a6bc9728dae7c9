// Text between the system's strings and the core, on a Mac (built there only; elsewhere it is
// compiled for syntax with the macOS backend).
#import <Foundation/Foundation.h>

#include <string>

#include <gtest/gtest.h>

#include "launch/messages.h"
#include "platform/macos/macos_text.h"

namespace {

using platform::macos::nsString;
using platform::macos::utf8;

NSString* fromUnits(std::initializer_list<unichar> units) {
  return [[NSString alloc] initWithCharacters:units.begin() length:units.size()];
}

TEST(MacText, ReachesTheSystemAndComesBackUnchanged) {
  const std::string texts[] = {
      "",
      "Calculator",
      "Caf\xC3\xA9",   // precomposed
      "Cafe\xCC\x81",  // combining accent: not normalised on the way
      "\xEF\xBB\xBF"
      "com.example",  // a leading U+FEFF is a character, not a byte order mark
      std::string("a\0b", 3),
      "\xE2\x82\xAC \xF0\x9F\x98\x80",  // three and four bytes
  };
  for (const std::string& text : texts) {
    NSString* converted = nsString(text);
    ASSERT_NE(converted, nil) << text;
    EXPECT_EQ(utf8(converted), text);
  }
  EXPECT_EQ(nsString("\xEF\xBB\xBFx").length, 2u);
  EXPECT_EQ(nsString("\xF0\x9F\x98\x80").length, 2u);  // a surrogate pair
}

TEST(MacText, BytesThatAreNotUtf8GiveNoString) {
  for (const char* bytes :
       {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "abc\xE2\x82", "\xFF"}) {
    EXPECT_EQ(nsString(bytes), nil) << bytes;
  }
}

TEST(MacText, AnUnpairedSurrogateMakesTheReplyFallBack) {
  for (NSString* name :
       {fromUnits({'A', 0xD800, 'B'}), fromUnits({0xDC00}), fromUnits({'x', 0xDBFF})}) {
    launch::Reply reply;
    reply.bundleId = "org.example.app";
    reply.name = utf8(name);
    reply.pid = 42;
    EXPECT_EQ(launch::encodeReply(reply), launch::kFallbackLiteral);
  }
  launch::Reply paired;
  paired.name = utf8(fromUnits({0xD83D, 0xDE00}));
  EXPECT_EQ(*paired.name, "\xF0\x9F\x98\x80");
  EXPECT_NE(launch::encodeReply(paired), launch::kFallbackLiteral);
}

}  // namespace
