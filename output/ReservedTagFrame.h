#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/XingFrame.h"

// The LAME extension that a reserved tag frame carries when asked: the
// encoder string (9 characters at most; decoders trust delay and padding only
// from some encoders) and the samples to trim at the front and the end.
struct LameFields {
  std::string Encoder = "LAME3.100";
  std::uint16_t EncoderDelay = 0;  // 12 bits
  std::uint16_t EndPadding = 0;    // 12 bits
};

// A tag frame put in front of an output's first audio frame before its frames
// are known, and filled in once they are. It takes the first audio frame's
// version, sampling frequency and mode (no CRC, no padding) and the lowest bit
// rate, from that frame's up, at which the tag fits, so its size is known
// before any count is.
struct ReservedTagFrame {
  std::vector<std::uint8_t> Placeholder;  // header and zeros: a silent frame until filled
  bool Lame = false;
  LameFields LameValues;
};

// Empty Placeholder when `firstHeader` is not a valid MPEG-1/2/2.5 Layer III
// header or no bit rate holds the tag.
ReservedTagFrame ReserveTagFrame(const std::uint8_t* firstHeader, const LameFields* lame);

// The filled frame: "Xing" when the frames have several bit rates, else
// "Info"; frames, bytes, TOC (and with the extension, quality, music length,
// music CRC, delay, padding and tag CRC) from `counts`.
std::vector<std::uint8_t> FillTagFrame(const ReservedTagFrame& reserved, bool severalBitRates,
                                       const XingCounts& counts);
