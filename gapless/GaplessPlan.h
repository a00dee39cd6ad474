#pragma once

#include <cstdint>
#include <vector>

#include "gapless/GaplessStream.h"

// A stretch of the player's samples: [Start, Stop). Stop < 0 runs to the end
// of the stream, whose own end padding then stays.
struct SampleRange {
  std::int64_t Start = 0;
  std::int64_t Stop = -1;
};

// The copy that decodes to exactly a range: after a tag frame whose encoder
// delay and end padding trim the pre-roll and the rest of the last frame,
// the Carrier frame when there is one (see CarrierFrame.h), then frames
// FirstFrame to LastFrame (frame indexes of the file, both included).
struct GaplessPlan {
  std::vector<std::uint8_t> Carrier;  // empty when the copied frames need no reservoir before them
  std::int64_t FirstFrame = 0;
  std::int64_t LastFrame = 0;
  std::int64_t StartFrame = 0;     // the frame that holds the first sample
  std::int32_t PreRoll = 0;        // frames before StartFrame, the carrier included
  std::int32_t PreRollWanted = 0;  // what decoding StartFrame whole needs
  std::int32_t EncoderDelay = 0;
  std::int32_t EndPadding = 0;
  std::int64_t Start = 0;  // the range, on the player's clock, within the stream
  std::int64_t Stop = 0;
  // Frames after the tag frame.
  std::int64_t Frames() const { return LastFrame - FirstFrame + 1 + (Carrier.empty() ? 0 : 1); }
  std::int64_t Samples() const { return Stop - Start; }
  // The 12-bit delay field could not hold the pre-roll that decoding needs:
  // the first frames of the output decode damaged.
  bool PreRollLimited() const { return PreRoll < PreRollWanted; }
};

// The audio frame that holds the player's sample.
std::int64_t AudioFrameHolding(const GaplessStream& stream, std::int64_t sample);
// The audio frame whose reservoir reach decides the pre-roll of a copy whose
// first sample is `start`: the first one whose output reaches the start's
// frame through the filter banks.
std::int64_t ReachFrame(const GaplessStream& stream, std::int64_t start);
// The player's sample at which the output of the frame (a frame index of the
// file) begins; 0 for the frames whose output the delay trims.
std::int64_t FirstSampleOfFrame(const GaplessStream& stream, std::int64_t frame);

// Plans the copy of `range`; `reach` is what MeasureReservoir found for
// ReachFrame(stream, range.Start). When the frames from there on take
// reservoir bytes from frames before, a carrier frame holds them; without
// their bytes (a reach that carries none) the frames that held them are
// copied, as many as the 12-bit delay field allows. A range of a stream
// without a tag starts at kDecoderDelay at the earliest: the decoder's first
// samples are never played from a copy. False when the range holds no sample
// of the stream.
bool PlanGaplessRange(const GaplessStream& stream, const SampleRange& range, const ReservoirReach& reach,
                      GaplessPlan& plan);

// Frames at the front of a frame copy starting at audio frame `first` that
// decode damaged: those whose main data begins in a frame not copied, and
// the frames their output overlaps. 0 when none lacks reservoir bytes.
std::int32_t DamagedLeadingFrames(const GaplessStream& stream, std::int64_t first, const ReservoirReach& reach);
