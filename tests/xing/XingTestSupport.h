#pragma once

// Tag frames built by hand from the published layout, a CRC-16 computed bit by
// bit, and a plain header walk: yardsticks written apart from the module.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "stream/FrameHeader.h"

namespace xing_test {

using Bytes = std::vector<std::uint8_t>;

// CRC-16/ARC, one bit at a time.
inline std::uint16_t BitwiseCrc16(const std::uint8_t* data, std::size_t n, std::uint16_t crc = 0) {
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

inline std::uint32_t Be32(const std::uint8_t* b) {
  return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}
inline std::uint16_t Be16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] << 8 | b[1]); }
inline void PutBe32(std::uint8_t* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void PutBe16(std::uint8_t* b, std::uint16_t v) {
  b[0] = static_cast<std::uint8_t>(v >> 8);
  b[1] = static_cast<std::uint8_t>(v);
}

// Frame length of a header as the standards give it, or 0 when the bytes are
// not a MPEG-1/2 header (the zero fourth byte allowed).
inline int FrameLengthOf(const std::uint8_t* b) {
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return 0;
  FrameHeader h;
  DecodeFrameHeader(b[0], b[1], b[2], b[3] == 0 ? 0x04 : b[3], 0, 0, h);
  return h.Invalid ? 0 : h.FrameLength;
}

struct TagSpec {
  int VersionId = 3;  // 3 MPEG-1, 2 MPEG-2
  int Mode = 1;       // 3 mono
  bool Crc = false;
  int BitRateIndex = 9;
  int SampleRateIndex = 0;
  const char* Id = "Info";
  std::uint32_t Flags = 0xF;
  bool Lame = true;
  const char* Encoder = "LAME3.100";
};

// Side information bytes by the published table, kept apart from the module's.
inline int SideInfo(const TagSpec& s) {
  if (s.VersionId == 3) return s.Mode == 3 ? 17 : 32;
  return s.Mode == 3 ? 9 : 17;
}

struct BuiltTag {
  Bytes Frame;
  std::size_t Offset = 0;      // of the id
  std::size_t LameOffset = 0;  // of the encoder string, 0 without one
};

// A tag frame with recognisable field values: frames 1000, bytes 400000, TOC
// 0, 2, 4, ..., quality 57, delay 576, padding 1234, music length 400000,
// music CRC 0xBEEF, and a tag CRC that verifies.
inline BuiltTag MakeTagFrame(const TagSpec& s) {
  std::uint8_t h[4] = {0xFF, static_cast<std::uint8_t>(0xE0 | s.VersionId << 3 | 1 << 1 | (s.Crc ? 0 : 1)),
                       static_cast<std::uint8_t>(s.BitRateIndex << 4 | s.SampleRateIndex << 2),
                       static_cast<std::uint8_t>(s.Mode << 6 | 0x04)};
  BuiltTag t;
  t.Frame.assign(static_cast<std::size_t>(FrameLengthOf(h)), 0);
  std::memcpy(t.Frame.data(), h, 4);
  if (s.Crc) {
    t.Frame[4] = 0x60;  // a header CRC sits in front of the side information
    t.Frame[5] = 0x0E;
  }
  std::size_t p = 4 + static_cast<std::size_t>(SideInfo(s));
  t.Offset = p;
  std::memcpy(&t.Frame[p], s.Id, 4);
  PutBe32(&t.Frame[p + 4], s.Flags);
  p += 8;
  if (s.Flags & 1) PutBe32(&t.Frame[p], 1000), p += 4;
  if (s.Flags & 2) PutBe32(&t.Frame[p], 400000), p += 4;
  if (s.Flags & 4) {
    for (int i = 0; i < 100; ++i) t.Frame[p + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(2 * i);
    p += 100;
  }
  if (s.Flags & 8) PutBe32(&t.Frame[p], 57), p += 4;
  if (s.Lame) {
    t.LameOffset = p;
    std::memcpy(&t.Frame[p], s.Encoder, std::strlen(s.Encoder));
    t.Frame[p + 9] = 0x01;
    t.Frame[p + 10] = 0xAA;
    t.Frame[p + 21] = 0x24;  // delay 576, padding 0x4D2 = 1234
    t.Frame[p + 22] = 0x04;
    t.Frame[p + 23] = 0xD2;
    PutBe32(&t.Frame[p + 28], 400000);
    PutBe16(&t.Frame[p + 32], 0xBEEF);
    PutBe16(&t.Frame[p + 34], BitwiseCrc16(t.Frame.data(), p + 34));
  }
  return t;
}

}  // namespace xing_test
