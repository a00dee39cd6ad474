#pragma once

#include <cstddef>
#include <cstdint>

// The side information of a Layer III frame: what a decoder reads before the
// main data (scale factors and Huffman codes). Only the fields that tell where
// a frame's main data lies are kept.
//
//   header (4), CRC (2, when the protection bit is 0), then
//   MPEG-1: main_data_begin (9 bits), private bits (5 mono, 3 stereo),
//           scfsi (4 per channel), 2 granules x channels x 59 bits
//   MPEG-2: main_data_begin (8 bits), private bits (1 mono, 2 stereo),
//           1 granule x channels x 63 bits
//   each granule and channel begins with part2_3_length (12 bits): the bits of
//   main data it takes.
//
// main_data_begin counts bytes back from the end of the side information,
// through the main-data parts of the frames before (their headers and side
// information do not count): the bit reservoir, up to 511 bytes in MPEG-1 and
// 255 in MPEG-2.
struct Layer3SideInfo {
  std::int32_t HeaderBytes = 4;    // 6 with a CRC
  std::int32_t SideInfoBytes = 0;  // 17 or 32 (MPEG-1), 9 or 17 (MPEG-2)
  std::int32_t Granules = 0;       // 2 (MPEG-1) or 1 (MPEG-2)
  std::int32_t MainDataBegin = 0;  // bytes taken from the frames before
  std::int32_t MainDataBits = 0;   // sum of part2_3_length
};

// Parses the frame at `frame` (a whole frame, header first, `length` bytes).
// False when it is not an MPEG-1 or MPEG-2 Layer III frame long enough to
// hold its side information.
bool ParseLayer3SideInfo(const std::uint8_t* frame, std::size_t length, Layer3SideInfo& info);

// Bytes of a frame that hold main data, its own or that of frames after it.
inline std::int32_t MainDataCapacity(std::int32_t frameLength, const Layer3SideInfo& info) {
  const std::int32_t c = frameLength - info.HeaderBytes - info.SideInfoBytes;
  return c > 0 ? c : 0;
}
