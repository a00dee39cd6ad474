#include "output/ReservedTagFrame.h"

#include <algorithm>
#include <cstring>

#include "stream/FrameHeader.h"

namespace {

constexpr std::size_t kLameLength = 36;

std::size_t SideInfoLength(int versionId, int mode) {
  const bool mono = mode == 3;
  if (versionId == 3) return mono ? 17 : 32;
  return mono ? 9 : 17;
}

void PutBe32(std::uint8_t* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

ReservedTagFrame ReserveTagFrame(const std::uint8_t* first, const LameFields* lame) {
  ReservedTagFrame r;
  FrameHeader h;
  DecodeFrameHeader(first[0], first[1], first[2], first[3] != 0 ? first[3] : 0x01, 0, 0, h);
  if (h.Invalid || h.Layer != 1) return r;
  const std::size_t side = SideInfoLength(h.VersionId, h.Mode);
  // Id, flags, frames, bytes, TOC; quality and the extension when asked.
  const std::size_t needed = 4 + side + 8 + 4 + 4 + 100 + (lame ? 4 + kLameLength : 0);
  const std::uint8_t b1 = static_cast<std::uint8_t>((first[1] & 0xF8) | 1 << 1 | 1);  // Layer III, no CRC
  // Mode, copyright, original and emphasis; no mode extension, no private bit.
  const std::uint8_t b3 = static_cast<std::uint8_t>(first[3] & 0xCF);
  for (int index = std::max(h.BitRateIndex, 1); index <= 14; ++index) {
    const std::uint8_t b2 = static_cast<std::uint8_t>(index << 4 | (first[2] & 0x0C));
    FrameHeader candidate;
    DecodeFrameHeader(0xFF, b1, b2, b3 != 0 ? b3 : 0x01, 0, 0, candidate);
    if (candidate.Invalid || static_cast<std::size_t>(candidate.FrameLength) < needed) continue;
    r.Placeholder.assign(static_cast<std::size_t>(candidate.FrameLength), 0);
    r.Placeholder[0] = 0xFF;
    r.Placeholder[1] = b1;
    r.Placeholder[2] = b2;
    r.Placeholder[3] = b3;
    break;
  }
  if (lame != nullptr) {
    r.Lame = true;
    r.LameValues = *lame;
  }
  return r;
}

std::vector<std::uint8_t> FillTagFrame(const ReservedTagFrame& reserved, bool severalBitRates,
                                       const XingCounts& counts) {
  std::vector<std::uint8_t> frame = reserved.Placeholder;
  if (frame.size() < 4) return frame;
  FrameHeader h;
  DecodeFrameHeader(frame[0], frame[1], frame[2], frame[3] != 0 ? frame[3] : 0x01, 0, 0, h);
  std::uint8_t* t = frame.data() + 4 + SideInfoLength(h.VersionId, h.Mode);
  std::memcpy(t, severalBitRates ? "Xing" : "Info", 4);
  PutBe32(t + 4, kXingFramesFlag | kXingBytesFlag | kXingTocFlag | (reserved.Lame ? kXingQualityFlag : 0));
  if (reserved.Lame) {
    std::uint8_t* l = t + 8 + 4 + 4 + 100 + 4;
    const std::string& e = reserved.LameValues.Encoder;
    std::memcpy(l, e.data(), std::min<std::size_t>(e.size(), 9));
    const std::uint16_t delay = reserved.LameValues.EncoderDelay & 0xFFF;
    const std::uint16_t padding = reserved.LameValues.EndPadding & 0xFFF;
    l[21] = static_cast<std::uint8_t>(delay >> 4);
    l[22] = static_cast<std::uint8_t>((delay & 0x0F) << 4 | padding >> 8);
    l[23] = static_cast<std::uint8_t>(padding);
  }
  // The counts, the music length and both CRCs as for any tag frame.
  XingTag tag;
  if (ParseXingTag(frame.data(), frame.size(), tag)) RewriteXingTag(frame.data(), tag, counts, true);
  return frame;
}
