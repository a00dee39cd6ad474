#pragma once

#include <cstdint>
#include <string>

// The decoded form of one four-byte MPEG audio frame header.
//
//   byte 0   byte 1            byte 2             byte 3
//   11111111 111VVLLP          BBBBSSpX           MMxxCOEE
//            sync, version,    bit-rate index,    mode, mode extension,
//            layer, protection sample-rate index, copyright, original,
//                              padding, private   emphasis
//
// Sizes and positions are 64-bit so that files of 2 GiB and more work.
struct FrameHeader {
  std::int64_t FileSize = 0;
  std::int32_t Byte0 = 0;
  std::int32_t Byte1 = 0;
  std::int32_t Byte2 = 0;
  std::int32_t Byte3 = 0;
  std::int32_t FrameLength = 0;
  std::int64_t FrameEstimate = 0;
  std::int64_t Position = 0;
  std::int32_t VersionId = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG 2.5, 1 reserved
  std::int32_t Layer = 0;      // as coded: 3 Layer I, 2 Layer II, 1 Layer III, 0 reserved
  std::int32_t Protection = 0;
  std::int32_t BitRateIndex = 0;
  std::int32_t SampleRateIndex = 0;
  std::int32_t Padding = 0;
  std::int32_t PrivateBit = 0;
  std::int32_t Mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  std::int32_t Copyright = 0;
  std::int32_t Original = 0;
  bool Invalid = false;
};

// Kilobits per second, [VersionId & 1][Layer - 1][BitRateIndex].
extern const std::int32_t BitRateTable[2][3][16];
// Hertz, [VersionId][SampleRateIndex].
extern const std::int32_t SampleRateTable[4][3];
// Display texts, read with fixed offsets from a header's fields.
extern const char* const StreamInfoNames[22];

// Fills `header` from the four bytes; the verdict is header.Invalid.
void DecodeFrameHeader(std::uint8_t byte0, std::uint8_t byte1, std::uint8_t byte2, std::uint8_t byte3,
                       std::int64_t position, std::int64_t fileSize, FrameHeader& header);

// The table lookups for a header, bounds-checked: 0 when an index of the
// header lies outside the tables (a header that failed the validity rule).
std::int32_t HeaderBitRate(const FrameHeader& header);
std::int32_t HeaderSampleRate(const FrameHeader& header);

// The display texts of a header's fields, bounds-checked: "" when outside the
// table. Version, layer, mode, copyright and original answer.
struct StreamInfoTexts {
  std::string Version;
  std::string Layer;
  std::string BitRate;     // "128 kbps"
  std::string SampleRate;  // "44100 Hz"
  std::string Mode;
  std::string Copyright;
  std::string Original;
};
// All fields empty for an invalid header, so no table is read out of bounds.
StreamInfoTexts DescribeHeader(const FrameHeader& header);

// Duration text "hh:mm.ss" of a file of `fileSize` bytes at `bitRate` kbps.
// 64-bit arithmetic, so files of 256 MiB and more get the right text.
// A bit rate of 0 or less gives "00:00.00".
std::string FormatDuration(std::int64_t fileSize, std::int32_t bitRate);

// Samples per channel that one frame of a header carries: 384 for Layer I,
// 1152 for Layer II and MPEG-1 Layer III, 576 for MPEG-2 Layer III; 0 for a
// header outside the tables.
std::int32_t SamplesPerFrame(const FrameHeader& header);
