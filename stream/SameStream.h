#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "stream/FrameHeader.h"

// Frames of one output must be one stream: a decoder takes the first frame's
// MPEG version, layer, sampling frequency and channel count for the whole
// file. What differs between two headers, first found first ("sampling
// frequency"), or empty when they may follow one another. Bit rate, padding,
// stereo mode between joint and plain stereo and the flags may differ.
std::string StreamDifference(const std::uint8_t a[4], const std::uint8_t b[4]);

// Why a frame of `frame` was not copied in a stream of `reference`'s bit
// rate: the first stream field that differs, else "bit rate".
std::string LeftOutReason(const std::uint8_t reference[4], const std::uint8_t frame[4]);

// The four bytes a decoded header came from.
inline std::array<std::uint8_t, 4> HeaderBytesOf(const FrameHeader& h) {
  return {static_cast<std::uint8_t>(h.Byte0), static_cast<std::uint8_t>(h.Byte1), static_cast<std::uint8_t>(h.Byte2),
          static_cast<std::uint8_t>(h.Byte3)};
}
