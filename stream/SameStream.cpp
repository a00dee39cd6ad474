#include "stream/SameStream.h"

std::string StreamDifference(const std::uint8_t a[4], const std::uint8_t b[4]) {
  // Byte 1: sync, version (bits 4-3), layer (bits 2-1); byte 2: bit rate,
  // sampling frequency (bits 3-2); byte 3: mode (bits 7-6, 3 is one channel).
  if (((a[1] ^ b[1]) & 0x18) != 0) return "MPEG version";
  if (((a[1] ^ b[1]) & 0x06) != 0) return "layer";
  if (((a[2] ^ b[2]) & 0x0C) != 0) return "sampling frequency";
  if (((a[3] >> 6) == 3) != ((b[3] >> 6) == 3)) return "channel count";
  return {};
}

std::string LeftOutReason(const std::uint8_t reference[4], const std::uint8_t frame[4]) {
  const std::string differs = StreamDifference(reference, frame);
  return differs.empty() ? "bit rate" : differs;
}
