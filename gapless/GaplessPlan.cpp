#include "gapless/GaplessPlan.h"

#include <algorithm>

#include "gapless/CarrierFrame.h"

std::int64_t AudioFrameHolding(const GaplessStream& stream, std::int64_t sample) {
  return (sample + stream.DecoderOffset()) / stream.SamplesPerFrame;
}

std::int64_t ReachFrame(const GaplessStream& stream, std::int64_t start) {
  return std::max<std::int64_t>(0, AudioFrameHolding(stream, start) - stream.OverlapFrames());
}

std::int64_t FirstSampleOfFrame(const GaplessStream& stream, std::int64_t frame) {
  const std::int64_t audio = std::max<std::int64_t>(0, frame - stream.FirstAudioFrame);
  return std::clamp<std::int64_t>(audio * stream.SamplesPerFrame - stream.DecoderOffset(), 0, stream.Samples());
}

bool PlanGaplessRange(const GaplessStream& stream, const SampleRange& range, const ReservoirReach& reach,
                      GaplessPlan& plan) {
  const std::int64_t total = stream.Samples();
  const std::int64_t spf = stream.SamplesPerFrame;
  // A copy's decoder makes kDecoderDelay samples before the first a player
  // keeps: a range that starts in the first of them of a stream without a
  // tag (whose player keeps them) starts after them.
  const std::int64_t start = std::max<std::int64_t>({0, range.Start, kDecoderDelay - stream.DecoderOffset()});
  const std::int64_t stop = range.Stop < 0 ? total : std::min(range.Stop, total);
  if (start >= stop) return false;

  GaplessPlan p;
  p.Start = start;
  p.Stop = stop;
  // Where the range lies in the decoder's output of the whole stream.
  const std::int64_t from = start + stream.DecoderOffset();
  const std::int64_t to = stop + stream.DecoderOffset();
  const std::int64_t k0 = from / spf;
  // A range to the stream's end keeps every frame, and the stream's own
  // padding says where its audio ends.
  const bool toEnd = stop == total;
  const std::int64_t k1 = toEnd ? stream.AudioFrames - 1 : (to + spf - 1) / spf - 1;
  p.PreRollWanted = static_cast<std::int32_t>(k0 - std::clamp<std::int64_t>(reach.FirstNeeded, 0, k0));
  // The decoder's output before `from` is the delay; the field holds 4095.
  const std::int64_t into = from - k0 * spf - kDecoderDelay;
  const std::int64_t overlap = std::max<std::int64_t>(0, k0 - stream.OverlapFrames());
  if (reach.FirstNeeded < overlap && !reach.Carried.empty()) p.Carrier = BuildCarrierFrame(reach.Header, reach.Carried);
  std::int64_t first = 0;
  if (!p.Carrier.empty()) {
    first = overlap;
    p.PreRoll = static_cast<std::int32_t>(k0 - overlap + 1);
    p.PreRollWanted = p.PreRoll;
  } else {
    p.PreRoll = p.PreRollWanted;
    while (p.PreRoll > 0 && p.PreRoll * spf + into > kLargestTagDelay) --p.PreRoll;
    first = k0 - p.PreRoll;
  }
  p.EncoderDelay = static_cast<std::int32_t>(p.PreRoll * spf + into);
  // What the decoder makes after `to`, less the 529 samples it runs on past
  // the padding's start.
  p.EndPadding = toEnd ? stream.EndPadding : static_cast<std::int32_t>((k1 + 1) * spf - to + kDecoderDelay);
  p.FirstFrame = first + stream.FirstAudioFrame;
  p.StartFrame = k0 + stream.FirstAudioFrame;
  p.LastFrame = k1 + stream.FirstAudioFrame;
  plan = p;
  return p.EncoderDelay >= 0 && p.LastFrame >= p.StartFrame;
}

std::int32_t DamagedLeadingFrames(const GaplessStream& stream, std::int64_t first, const ReservoirReach& reach) {
  if (reach.LastLacking < first) return 0;
  return static_cast<std::int32_t>(reach.LastLacking - first + 1 + stream.OverlapFrames());
}
