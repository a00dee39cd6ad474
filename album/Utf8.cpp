#include "album/Utf8.h"

#include <cstdint>

Utf8Form CheckUtf8(const std::string& text, std::size_t& at) {
  for (at = 0; at < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      ++at;
      continue;
    }
    const std::size_t more = (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 0;
    if (more == 0 || at + more >= text.size()) return Utf8Form::NotUtf8;
    std::uint32_t value = lead & (0x3F >> more);
    for (std::size_t k = 1; k <= more; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[at + k]);
      if ((c >> 6) != 0x2) return Utf8Form::NotUtf8;
      value = (value << 6) | (c & 0x3F);
    }
    constexpr std::uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (value < kShortest[more] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
      return Utf8Form::BadValue;
    at += more + 1;
  }
  return Utf8Form::Valid;
}
