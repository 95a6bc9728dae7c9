#include "common/utf8.h"

#include <cstddef>

namespace common {
namespace {

// Length of the well-formed sequence that starts at `p` (at most `n` bytes available), or, when
// the sequence is ill-formed, the negated length of its maximal subpart (at least 1 byte).
std::ptrdiff_t sequenceAt(const unsigned char* p, std::size_t n) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return 1;
  std::size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3;
    if (lead == 0xE0) lo = 0xA0;  // overlong
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return -1;
  }
  for (std::size_t i = 1; i < need; ++i) {
    if (i >= n) return -static_cast<std::ptrdiff_t>(i);
    const unsigned char c = p[i];
    const bool ok = (i == 1) ? (c >= lo && c <= hi) : (c >= 0x80 && c <= 0xBF);
    if (!ok) return -static_cast<std::ptrdiff_t>(i);
  }
  return static_cast<std::ptrdiff_t>(need);
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::ptrdiff_t len = sequenceAt(p + i, bytes.size() - i);
    if (len < 0) return false;
    i += static_cast<std::size_t>(len);
  }
  return true;
}

std::string replaceInvalidUtf8(std::string_view bytes) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::ptrdiff_t len = sequenceAt(p + i, bytes.size() - i);
    if (len > 0) {
      out.append(bytes.substr(i, static_cast<std::size_t>(len)));
      i += static_cast<std::size_t>(len);
    } else {
      out.append(kReplacement);
      i += static_cast<std::size_t>(-len);
    }
  }
  return out;
}

}  // namespace common
