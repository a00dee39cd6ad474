#pragma once

#include <cstdint>
#include <vector>

// A silent Layer III frame that stands in for the frames before a copy's
// first frame: its main-data area ends with the bit-reservoir bytes that the
// copied frames take from the frames before them, and its side information is
// all zeros (main_data_begin 0, no granule data), so it decodes to silence and
// needs nothing before it. One frame instead of the several that held those
// bytes keeps the pre-roll, and with it the encoder delay, small.
//
// Same version, sampling frequency and mode as `header` (the first copied
// frame's), no CRC, no padding; the header's bit rate when its main-data area
// holds the bytes, else the smallest rate that does. Empty when none does or
// `header` is not a Layer III header.
std::vector<std::uint8_t> BuildCarrierFrame(const std::uint8_t header[4], const std::vector<std::uint8_t>& bytes);
