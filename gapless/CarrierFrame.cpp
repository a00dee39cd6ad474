#include "gapless/CarrierFrame.h"

#include <algorithm>

#include "gapless/SideInfo.h"
#include "stream/FrameHeader.h"
#include "stream/XingFrame.h"

std::vector<std::uint8_t> BuildCarrierFrame(const std::uint8_t header[4], const std::vector<std::uint8_t>& bytes) {
  FrameHeader h;
  DecodeFrameHeader(header[0], header[1], header[2], header[3] == 0 ? 0x04 : header[3], 0, 0, h);
  if (h.Invalid || h.Layer != 1) return {};
  const std::uint8_t b1 = static_cast<std::uint8_t>((header[1] & 0xF8) | 1 << 1 | 1);  // Layer III, no CRC
  auto build = [&](int index) -> std::vector<std::uint8_t> {
    const std::uint8_t b2 = static_cast<std::uint8_t>(index << 4 | (header[2] & 0x0C));
    FrameHeader c;
    DecodeFrameHeader(0xFF, b1, b2, header[3] == 0 ? 0x04 : header[3], 0, 0, c);
    if (c.Invalid) return {};
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(c.FrameLength), 0);
    frame[0] = 0xFF;
    frame[1] = b1;
    frame[2] = b2;
    frame[3] = header[3];
    Layer3SideInfo side;
    if (!ParseLayer3SideInfo(frame.data(), frame.size(), side) ||
        static_cast<std::size_t>(MainDataCapacity(c.FrameLength, side)) < bytes.size())
      return {};
    std::copy(bytes.begin(), bytes.end(), frame.end() - static_cast<std::ptrdiff_t>(bytes.size()));
    // Silent side information and reservoir bytes that happen to read
    // "Xing" or "Info" where a tag would stand: a larger frame puts zeros
    // there.
    if (FrameHoldsXingTag(frame.data(), frame.size())) return {};
    return frame;
  };
  std::vector<std::uint8_t> frame = build(h.BitRateIndex);
  for (int index = 1; frame.empty() && index <= 14; ++index) frame = build(index);
  return frame;
}
