// The stand-in's reading of an Info.plist over any bytes, XML or binary: it gives a dictionary
// or the empty one, and every value the launcher asks for reads the same each time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/posix/posix_bundles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const platform::posix::Information information = platform::posix::Information::fromBytes(bytes);
  for (const std::string key :
       {"CFBundleDisplayName", "CFBundleName", "CFBundleIdentifier", "CFBundleExecutable", ""}) {
    const platform::InfoValue first = information.value(key);
    const platform::InfoValue again = information.value(key);
    FUZZ_CHECK(first.kind == again.kind && first.text == again.text);
    FUZZ_CHECK(first.kind == platform::InfoValue::Kind::text || first.text.empty());
  }
  return 0;
}
