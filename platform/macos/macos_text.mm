#include "platform/macos/macos_text.h"

#include <cstddef>
#include <vector>

#include "common/utf8.h"

namespace platform::macos {

std::string utf8(NSString* text) {
  std::string out;
  if (text == nil) return out;
  const NSUInteger length = text.length;
  std::vector<unichar> units(length);
  [text getCharacters:units.data() range:NSMakeRange(0, length)];
  out.reserve(length);
  for (NSUInteger i = 0; i < length; ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {  // lone surrogates land here too
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

NSString* nsString(std::string_view text) {
  if (!common::isValidUtf8(text)) return nil;
  if (text.empty()) return @"";
  // Decoded here, unit for unit, rather than by the string class's UTF-8 reading, which may take a
  // leading U+FEFF for a byte order mark and drop it: the system must get the text as it is.
  std::vector<unichar> units;
  units.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = bytes[i];
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (bytes[i + k] & 0x3F);
    i += length;
    if (c >= 0x10000) {
      c -= 0x10000;
      units.push_back(static_cast<unichar>(0xD800 + (c >> 10)));
      units.push_back(static_cast<unichar>(0xDC00 + (c & 0x3FF)));
    } else {
      units.push_back(static_cast<unichar>(c));
    }
  }
  return [[NSString alloc] initWithCharacters:units.data() length:units.size()];
}

std::optional<std::string> filePath(id object) {
  if (![object isKindOfClass:[NSURL class]]) return std::nullopt;
  NSURL* url = static_cast<NSURL*>(object);
  if (!url.isFileURL) return std::nullopt;
  const char* bytes = url.fileSystemRepresentation;
  if (bytes == nullptr || *bytes == '\0') return std::nullopt;
  return std::string(bytes);
}

}  // namespace platform::macos
