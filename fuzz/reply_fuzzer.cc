// Reply encoding over any texts: the line parses back to the same members, holds no raw control
// character (so no line feed), writes every "/" escaped, and is the fallback literal exactly when
// a text is not UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include "check.h"
#include "common/utf8.h"
#include "launch/messages.h"

namespace {

// Walks the string literals of `out` and counts the solidi written as "\/"; a bare one fails.
std::size_t escapedSolidi(const std::string& out) {
  std::size_t count = 0;
  bool inString = false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char c = out[i];
    if (!inString) {
      if (c == '"') inString = true;
      continue;
    }
    FUZZ_CHECK(c != '/');
    if (c == '"') {
      inString = false;
    } else if (c == '\\') {
      FUZZ_CHECK(i + 1 < out.size());
      if (out[i + 1] == '/') ++count;
      ++i;  // the escaped character; a \u escape's hex digits hold no solidus
    }
  }
  return count;
}

std::size_t solidi(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) count += c == '/';
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint8_t present = input.ConsumeIntegral<std::uint8_t>();
  const std::int32_t pid = input.ConsumeIntegral<std::int32_t>();
  launch::Reply reply;
  if (present & 1) reply.bundleId = input.ConsumeRandomLengthString(4096);
  if (present & 2) reply.name = input.ConsumeRandomLengthString(4096);
  if (present & 4) reply.pid = pid;
  if (present & 8) reply.error = input.ConsumeRemainingBytesAsString();

  const std::string out = launch::encodeReply(reply);
  for (const char c : out) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);

  bool allUtf8 = true;
  std::size_t expectedSolidi = 0;
  for (const auto* text : {&reply.bundleId, &reply.name, &reply.error}) {
    if (!*text) continue;
    allUtf8 = allUtf8 && common::isValidUtf8(**text);
    expectedSolidi += solidi(**text);
  }
  if (!allUtf8) {
    FUZZ_CHECK(out == launch::kFallbackLiteral);
    return 0;
  }

  FUZZ_CHECK(escapedSolidi(out) == expectedSolidi);
  const nlohmann::json parsed = nlohmann::json::parse(out, nullptr, /*allow_exceptions=*/false);
  FUZZ_CHECK(parsed.is_object());
  std::size_t members = 0;
  for (const auto& [key, text] :
       {std::pair{"bundleId", &reply.bundleId}, std::pair{"name", &reply.name},
        std::pair{"error", &reply.error}}) {
    const auto member = parsed.find(key);
    FUZZ_CHECK((member != parsed.end()) == text->has_value());
    if (!*text) continue;
    ++members;
    FUZZ_CHECK(member->is_string() && member->get<std::string>() == **text);
  }
  const auto pidMember = parsed.find("pid");
  FUZZ_CHECK((pidMember != parsed.end()) == reply.pid.has_value());
  if (reply.pid) {
    ++members;
    FUZZ_CHECK(pidMember->is_number_integer() && pidMember->get<std::int64_t>() == *reply.pid);
  }
  FUZZ_CHECK(parsed.size() == members);
  return 0;
}
