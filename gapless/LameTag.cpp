#include "gapless/LameTag.h"

#include <cstring>

#include "gapless/SideInfo.h"

namespace {

constexpr std::size_t kLameLength = 36;
constexpr std::uint32_t kAllFields = kXingFramesFlag | kXingBytesFlag | kXingTocFlag | kXingQualityFlag;

void PutBe32(std::uint8_t* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::int32_t SideInfoBytes(const FrameHeader& h) {
  const bool mono = h.Mode == 3;
  return h.VersionId == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

// A header like the stream's (no CRC, no padding) whose frame holds
// `needed` bytes: the stream's own bit rate when it fits, so that players
// that read the rate from the first frame are not misled, or the smallest
// rate that does.
bool TagHeader(const FrameHeader& first, std::size_t needed, std::uint8_t header[4], std::int32_t& length) {
  const std::uint8_t b1 = static_cast<std::uint8_t>(0xE0 | first.VersionId << 3 | 1 << 1 | 1);
  const std::uint8_t b3 = static_cast<std::uint8_t>(first.Byte3 & 0xCF);  // no mode extension
  auto tryRate = [&](int index) {
    const std::uint8_t b2 = static_cast<std::uint8_t>(index << 4 | first.SampleRateIndex << 2);
    FrameHeader h;
    DecodeFrameHeader(0xFF, b1, b2, b3 == 0 ? 0x04 : b3, 0, 0, h);
    if (h.Invalid || static_cast<std::size_t>(h.FrameLength) < needed) return false;
    header[0] = 0xFF;
    header[1] = b1;
    header[2] = b2;
    header[3] = b3;
    length = h.FrameLength;
    return true;
  };
  if (tryRate(first.BitRateIndex)) return true;
  for (int index = 1; index <= 14; ++index)
    if (tryRate(index)) return true;
  return false;
}

bool FreshTagFrame(const GaplessStream& stream, bool xing, GaplessTagFrame& frame) {
  const FrameHeader& first = stream.FirstAudio;
  const std::size_t offset = 4 + static_cast<std::size_t>(SideInfoBytes(first));
  const std::size_t lame = offset + 8 + 4 + 4 + 100 + 4;
  std::uint8_t header[4];
  std::int32_t length = 0;
  if (!TagHeader(first, lame + kLameLength, header, length)) return false;
  std::vector<std::uint8_t> b(static_cast<std::size_t>(length), 0);
  std::memcpy(b.data(), header, 4);
  std::memcpy(b.data() + offset, xing ? "Xing" : "Info", 4);
  PutBe32(b.data() + offset + 4, kAllFields);
  std::memcpy(b.data() + lame, kFreshTagEncoder, std::strlen(kFreshTagEncoder));
  // Tag revision 0; VBR method 1 (constant) for an Info frame, 0 (unknown)
  // for a Xing one.
  b[lame + 9] = xing ? 0 : 1;
  frame.Bytes = std::move(b);
  return ParseXingTag(frame.Bytes.data(), frame.Bytes.size(), frame.Tag) && frame.Tag.HasLame;
}

}  // namespace

void SetDelayAndPadding(std::uint8_t* frame, const XingTag& tag, std::int32_t delay, std::int32_t padding) {
  std::uint8_t* l = frame + tag.LameOffset;
  const std::uint32_t v = static_cast<std::uint32_t>(delay & 0xFFF) << 12 | static_cast<std::uint32_t>(padding & 0xFFF);
  l[21] = static_cast<std::uint8_t>(v >> 16);
  l[22] = static_cast<std::uint8_t>(v >> 8);
  l[23] = static_cast<std::uint8_t>(v);
}

bool MakeGaplessTagFrame(const GaplessStream& stream, bool severalBitRates, std::int32_t delay,
                         std::int32_t padding, GaplessTagFrame& frame) {
  if (delay < 0 || delay > kLargestTagDelay || padding < 0 || padding > kLargestTagDelay) return false;
  frame = GaplessTagFrame{};
  bool made = false;
  if (stream.Declared && !stream.TagFrame.empty()) {
    frame.Bytes = stream.TagFrame;
    made = ParseXingTag(frame.Bytes.data(), frame.Bytes.size(), frame.Tag) && frame.Tag.HasLame &&
           (frame.Tag.Flags & kXingFramesFlag);
    if (made && severalBitRates && frame.Tag.Info) {
      std::memcpy(frame.Bytes.data() + frame.Tag.Offset, "Xing", 4);
      frame.Tag.Info = false;
    }
  }
  if (!made && !FreshTagFrame(stream, severalBitRates, frame)) return false;
  SetDelayAndPadding(frame.Bytes.data(), frame.Tag, delay, padding);
  frame.Tag.EncoderDelay = static_cast<std::uint16_t>(delay);
  frame.Tag.EndPadding = static_cast<std::uint16_t>(padding);
  return true;
}

void FillGaplessTag(GaplessTagFrame& frame, const XingCounts& counts) {
  RewriteXingTag(frame.Bytes.data(), frame.Tag, counts, true);
  XingTag reread;
  if (ParseXingTag(frame.Bytes.data(), frame.Bytes.size(), reread)) frame.Tag = reread;
}
