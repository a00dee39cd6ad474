#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gapless/GaplessStream.h"
#include "stream/XingFrame.h"

// The tag frame that leads a sample-exact output: a Xing/Info frame with a
// LAME-style extension whose encoder delay and end padding make gapless
// decoders play exactly the planned range. Counts, TOC and CRCs are filled
// once the output's frames are known (FillGaplessTag).
struct GaplessTagFrame {
  std::vector<std::uint8_t> Bytes;
  XingTag Tag;  // as parsed from Bytes
};

// The encoder named in a tag made for a stream that declared none: ffmpeg
// writes the same kind of tag when it copies a stream, and ffmpeg honours
// only "LAME", "Lavf" and "Lavc" (mpg123 any).
inline constexpr char kFreshTagEncoder[] = "Lavf";

// The source's own tag frame when it declared its delay (encoder string and
// the rest kept; "Xing" when the output has several bit rates), or else a
// fresh one of the stream's version, sampling frequency and mode, holding
// frames, bytes, TOC, quality and the extension. `delay` and `padding` must
// fit 12 bits. False only when no frame of the stream can hold the tag.
bool MakeGaplessTagFrame(const GaplessStream& stream, bool severalBitRates, std::int32_t delay,
                         std::int32_t padding, GaplessTagFrame& frame);

// Writes the output's counts (frames, bytes, TOC, music length and CRC) and
// last the tag CRC; the delay and padding stay.
void FillGaplessTag(GaplessTagFrame& frame, const XingCounts& counts);

// The delay and padding fields alone (12 bits each), CRC not updated.
void SetDelayAndPadding(std::uint8_t* frame, const XingTag& tag, std::int32_t delay, std::int32_t padding);
