#pragma once

#include <cstddef>
#include <cstdint>

// global_gain: the 8-bit field of each granule and channel of a Layer III
// frame's side information that scales everything the granule decodes to, by
// 2^(1/4) a step (1.5 dB). Changing it changes the level of the decoded
// sound and nothing else: no byte of main data moves, the frame keeps its
// size, and the bit reservoir is untouched.
//
// Where it lies, in bits from the start of the side information (after the
// header and its CRC):
//   MPEG-1: main_data_begin 9, private bits 5 (mono) or 3, scfsi 4 a channel,
//           then per granule and channel 59 bits: part2_3_length 12,
//           big_values 9, global_gain 8, ...
//   MPEG-2: main_data_begin 8, private bits 1 (mono) or 2, then per channel
//           63 bits: part2_3_length 12, big_values 9, global_gain 8, ...
// A frame with a CRC (protection bit 0) covers header bytes 2 and 3 and the
// side information with it; the CRC is written again after a change.

struct GainFields {
  std::int32_t Count = 0;          // granules x channels: 1, 2 (MPEG-2) or 2, 4 (MPEG-1)
  std::int32_t Granules = 0;       // 2 (MPEG-1) or 1 (MPEG-2)
  std::int32_t SideInfoStart = 0;  // 4, or 6 after a CRC
  std::int32_t SideInfoBytes = 0;
  bool Protected = false;
  std::int32_t GainBit[4] = {};    // bit offsets of global_gain from the side information's start
  std::int32_t PartBits[4] = {};   // part2_3_length of the same granule and channel
};

// False for bytes that are not a Layer III frame (MPEG-1 or 2) holding its
// whole side information.
bool FindGainFields(const std::uint8_t* frame, std::size_t length, GainFields& fields);

// Whether the frame decodes to sound at all: a granule with main data. Tag
// frames (Xing/Info) and silent carrier frames have none.
bool HasMainData(const GainFields& fields);

std::int32_t ReadGain(const std::uint8_t* frame, const GainFields& fields, std::int32_t entry);

// Adds `steps[granule]` to the global_gain of every channel of each granule
// with main data, clamped to 0..255, and writes the CRC again when the frame
// has one. Returns how many fields were clamped.
std::int32_t ShiftGains(std::uint8_t* frame, const GainFields& fields, const std::int32_t steps[2]);

// The CRC-16 of MPEG audio frames (polynomial 0x8005, from 0xFFFF, most
// significant bit first) over header bytes 2 and 3 and the side information.
std::uint16_t FrameCrc(const std::uint8_t* frame, const GainFields& fields);
