#include "stream/FrameHeader.h"

namespace {

bool BitRateIndexesInTable(const FrameHeader& h) {
  return h.Layer >= 1 && h.Layer <= 3 && h.BitRateIndex >= 0 && h.BitRateIndex <= 15;
}

bool SampleRateIndexesInTable(const FrameHeader& h) {
  return h.VersionId >= 0 && h.VersionId <= 3 && h.SampleRateIndex >= 0 && h.SampleRateIndex <= 2;
}

// Length in bytes of the frame a valid header starts, header included.
// Layer I counts in four-byte slots; Layers II and III in bytes. MPEG-2 halves
// the samples per frame of Layer III only, so Layer II keeps 144000 there.
std::int32_t FrameLengthOf(const FrameHeader& h) {
  const std::int64_t k = HeaderBitRate(h);
  const std::int64_t r = HeaderSampleRate(h);
  if (h.Layer == 3) return static_cast<std::int32_t>((12000 * k / r + h.Padding) * 4);
  if (h.Layer == 2 || h.VersionId == 3) return static_cast<std::int32_t>(144000 * k / r + h.Padding);
  return static_cast<std::int32_t>(72000 * k / r + h.Padding);
}

}  // namespace

void DecodeFrameHeader(std::uint8_t byte0, std::uint8_t byte1, std::uint8_t byte2, std::uint8_t byte3,
                       std::int64_t position, std::int64_t fileSize, FrameHeader& header) {
  header.FileSize = fileSize;
  header.Byte0 = byte0;
  header.Byte1 = byte1;
  header.Byte2 = byte2;
  header.Byte3 = byte3;
  header.Position = position;

  header.VersionId = (byte1 >> 3) & 0x3;
  header.Layer = (byte1 >> 1) & 0x3;
  header.Protection = byte1 & 0x1;
  header.BitRateIndex = (byte2 >> 4) & 0xF;
  header.SampleRateIndex = (byte2 >> 2) & 0x3;
  header.Padding = (byte2 >> 1) & 0x1;
  header.PrivateBit = byte2 & 0x1;
  header.Mode = (byte3 >> 6) & 0x3;
  header.Copyright = (byte3 >> 3) & 0x1;
  header.Original = (byte3 >> 2) & 0x1;

  header.Invalid = byte0 == 0 || byte1 == 0 || byte2 == 0 ||
                   byte3 == 0 ||                 // also refuses UTF-16 tag text: FF FE, a character, 00
                   header.VersionId == 1 ||      // reserved
                   header.VersionId == 0 ||      // MPEG 2.5
                   header.Layer == 0 ||          // reserved
                   header.BitRateIndex == 0 ||   // free format
                   header.BitRateIndex == 15 ||  // forbidden
                   header.SampleRateIndex == 3;  // reserved

  if (header.Invalid) {
    header.FrameLength = 0;
    header.FrameEstimate = 0;
    return;
  }
  header.FrameLength = FrameLengthOf(header);
  header.FrameEstimate = fileSize / header.FrameLength;
}

std::int32_t HeaderBitRate(const FrameHeader& header) {
  if (!BitRateIndexesInTable(header)) return 0;
  return BitRateTable[header.VersionId & 1][header.Layer - 1][header.BitRateIndex];
}

std::int32_t HeaderSampleRate(const FrameHeader& header) {
  if (!SampleRateIndexesInTable(header)) return 0;
  return SampleRateTable[header.VersionId][header.SampleRateIndex];
}

StreamInfoTexts DescribeHeader(const FrameHeader& header) {
  StreamInfoTexts t;
  if (header.Invalid || !BitRateIndexesInTable(header) || !SampleRateIndexesInTable(header) ||
      header.Mode < 0 || header.Mode > 3 || header.Copyright < 0 || header.Copyright > 1 ||
      header.Original < 0 || header.Original > 1) {
    return t;
  }
  t.Version = StreamInfoNames[header.VersionId + 2];
  t.Layer = StreamInfoNames[header.Layer + 6];
  t.BitRate = std::to_string(HeaderBitRate(header)) + " kbps";
  t.SampleRate = std::to_string(HeaderSampleRate(header)) + " Hz";
  t.Mode = StreamInfoNames[header.Mode + 10];
  t.Copyright = StreamInfoNames[header.Copyright + 14];
  t.Original = StreamInfoNames[header.Original + 16];
  return t;
}

std::int32_t SamplesPerFrame(const FrameHeader& header) {
  switch (header.Layer) {
    case 3:
      return 384;
    case 2:
      return 1152;
    case 1:
      return header.VersionId == 3 ? 1152 : 576;
    default:
      return 0;
  }
}
