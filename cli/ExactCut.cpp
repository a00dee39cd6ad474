#include "cli/ExactCut.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "cli/Split.h"
#include "cli/StreamClock.h"
#include "gapless/JoinReach.h"
#include "gapless/LameTag.h"
#include "stream/SourceFile.h"

LameFields TagFieldsOf(const GaplessStream& stream, const GaplessPlan& plan) {
  LameFields f;
  f.Encoder = stream.Declared ? stream.Encoder : std::string(kFreshTagEncoder);
  f.EncoderDelay = static_cast<std::uint16_t>(plan.EncoderDelay);
  f.EndPadding = static_cast<std::uint16_t>(plan.EndPadding);
  return f;
}

std::int64_t SampleOfPoint(const GaplessStream& stream, const StreamPoint& point) {
  return point.IsTime ? SampleAt(stream.SampleRate, point.Nanoseconds) : FirstSampleOfFrame(stream, point.Frame);
}

namespace {

// A length no stream reaches: the plan of a cut whose walk stopped after its
// start, which tells nothing of the stream's end (frame indexes stay 32-bit).
constexpr std::int64_t kUnmetLength = INT32_MAX - 2;

// The job's range on the stream's clock.
SampleRange RangeOf(const JobArgument& job, const GaplessStream& stream) {
  SampleRange range;
  if (job.HasStart) range.Start = SampleOfPoint(stream, job.Start);
  if (job.HasStop) {
    StreamPoint after = job.Stop;
    if (!after.IsTime) ++after.Frame;  // the stop frame is included
    range.Stop = SampleOfPoint(stream, after);
  }
  return range;
}

bool HoldsNoSample(const SampleRange& range, const GaplessStream& stream) {
  return range.Start >= stream.Samples() || (range.Stop >= 0 && range.Stop <= range.Start);
}

// Frames after a point's frame that a stream must have for the point to lie
// before its end, whatever the frames: the end padding the tag declares
// (less the decoder's delay) ends in the last of them.
std::int64_t FramesPastPoint(const GaplessStream& stream) {
  const std::int64_t padding = std::max<std::int64_t>(0, stream.EndPadding - kDecoderDelay);
  return padding / stream.SamplesPerFrame + 1;
}

}  // namespace

ExactChoice PlanExactJob(const JobArgument& job, const FrameHeader& reference, ExactCut& cut, std::string& error) {
  SourceFile source(job.Path);
  return PlanExactJob(job, source, reference, cut, error);
}

ExactChoice PlanExactJob(const JobArgument& job, SourceFile& source, const FrameHeader& reference, ExactCut& cut,
                         std::string& error) {
  const bool timed = (job.HasStart && job.Start.IsTime) || (job.HasStop && job.Stop.IsTime);
  if (!timed || reference.Invalid || reference.Layer != 1) return ExactChoice::FrameCopy;
  // Its first frames only: the walk below goes no further than the start
  // needs, and the copy goes on from there.
  GaplessStream stream;
  if (!ReadGaplessStream(source, reference, stream, error, false)) return ExactChoice::Refused;
  stream.AudioFrames = kUnmetLength;
  SampleRange range = RangeOf(job, stream);
  // A range that holds no sample is refused by the frame copy, in its words.
  if (HoldsNoSample(range, stream)) return ExactChoice::FrameCopy;

  // The walk measures the reservoir at the start, keeps where the frames
  // that may be copied first lie, and goes far enough past the start to
  // know it lies before the end. A stop of a stream whose padding ends more
  // than a frame after its last sample is passed too; for the others, the
  // copy tells whether the stop lay before the end (a frame after it).
  const std::int64_t spf = stream.SamplesPerFrame;
  const std::int64_t k0 = AudioFrameHolding(stream, range.Start);
  const std::int64_t past = FramesPastPoint(stream);
  WalkAround around;
  around.PlacesFrom = k0 - std::max<std::int64_t>(stream.OverlapFrames(), kLargestTagDelay / spf) - 1;
  around.PlacesTo = k0;
  around.WalkTo = k0 + past;
  if (past > 1 && range.Stop >= 0)
    around.WalkTo = std::max(around.WalkTo, (range.Stop + stream.DecoderOffset() + spf - 1) / spf - 1 + past);
  std::vector<ReservoirReach> reach;
  if (!MeasureReservoir(source, reference, stream, {ReachFrame(stream, range.Start)}, reach, error, &around))
    return ExactChoice::Refused;
  if (around.ReachedEnd) {
    stream.AudioFrames = around.AudioFrames;
    range = RangeOf(job, stream);
    if (HoldsNoSample(range, stream)) return ExactChoice::FrameCopy;
  }
  if (!PlanGaplessRange(stream, range, reach[0], cut.Plan)) {
    error = "the range holds no sample of the stream";
    return ExactChoice::Refused;
  }
  cut.Tag = TagFieldsOf(stream, cut.Plan);
  cut.LengthUnmet = !around.ReachedEnd && range.Stop >= 0 && past == 1;
  cut.ToUnmetEnd = !around.ReachedEnd && range.Stop < 0;
  cut.Stream = stream;
  cut.Stream.TagFrame.clear();
  cut.Resume = ResumePoint{};
  for (const FramePlace& place : around.Places) {
    if (place.Index != cut.Plan.FirstFrame || place.Audio != cut.Plan.FirstFrame - stream.FirstAudioFrame) continue;
    cut.Resume.Position = place.Position;
    cut.Resume.Index = place.Index;
    std::memcpy(cut.Resume.Header, place.Header, 4);
  }
  return ExactChoice::Exact;
}

std::int32_t SettledEndPadding(const ExactCut& cut, std::int32_t frames) {
  GaplessStream stream = cut.Stream;
  stream.AudioFrames = std::max<std::int64_t>(0, frames - stream.FirstAudioFrame);
  return cut.Plan.Stop >= stream.Samples() ? stream.EndPadding : cut.Plan.EndPadding;
}

bool PlanExactPieces(const std::string& path, const FrameHeader& reference, const GaplessStream& stream,
                     const std::vector<std::int64_t>& boundaries, std::vector<ExactCut>& pieces,
                     std::string& error) {
  SourceFile source(path);
  return PlanExactPieces(source, reference, stream, boundaries, pieces, error);
}

namespace {

// The first sample of each piece (0, then the boundaries), or false with
// `error` saying which boundary is out of place.
bool PieceStarts(const GaplessStream& stream, const std::vector<std::int64_t>& boundaries,
                 std::vector<std::int64_t>& from, std::string& error) {
  from.assign(1, 0);
  for (std::int64_t b : boundaries) {
    const std::string at = FormatSamples(b, stream.SampleRate);
    if (b <= from.back()) {
      error = "the point " + at + (from.size() == 1 ? " is the start" : " is not after the one before it");
      return false;
    }
    if (b >= stream.Samples()) {
      error = "the point " + at + " is not before the end at " + FormatSamples(stream.Samples(), stream.SampleRate);
      return false;
    }
    from.push_back(b);
  }
  return true;
}

}  // namespace

bool PlanExactPieces(SourceFile& source, const FrameHeader& reference, const GaplessStream& stream,
                     const std::vector<std::int64_t>& boundaries, std::vector<ExactCut>& pieces,
                     std::string& error) {
  std::vector<std::int64_t> from;
  if (!PieceStarts(stream, boundaries, from, error)) return false;
  std::vector<std::int64_t> reachFrames;
  for (std::int64_t s : from) reachFrames.push_back(ReachFrame(stream, s));
  std::vector<ReservoirReach> reach;
  if (!MeasureReservoir(source, reference, stream, reachFrames, reach, error)) return false;
  return PlanMeasuredPieces(stream, boundaries, reach, pieces, error);
}

bool PlanMeasuredPieces(const GaplessStream& stream, const std::vector<std::int64_t>& boundaries,
                        const std::vector<ReservoirReach>& reach, std::vector<ExactCut>& pieces, std::string& error) {
  std::vector<std::int64_t> from;
  if (!PieceStarts(stream, boundaries, from, error)) return false;
  if (reach.size() < from.size()) {
    error = "the reservoir was not measured at every piece";
    return false;
  }
  pieces.assign(from.size(), ExactCut{});
  for (std::size_t i = 0; i < from.size(); ++i) {
    const SampleRange range{from[i], i + 1 < from.size() ? from[i + 1] : -1};
    if (!PlanGaplessRange(stream, range, reach[i], pieces[i].Plan)) {
      error = "the piece from " + FormatSamples(from[i], stream.SampleRate) + " holds no sample";
      return false;
    }
    pieces[i].Tag = TagFieldsOf(stream, pieces[i].Plan);
  }
  return true;
}

bool SplitBoundaries(const GaplessStream& stream, const std::vector<StreamPoint>& points, const StreamPoint* every,
                     std::vector<std::int64_t>& boundaries, std::string& error) {
  boundaries.clear();
  if (every == nullptr) {
    for (const StreamPoint& p : points) boundaries.push_back(SampleOfPoint(stream, p));
    return true;
  }
  // A step of a frame at least: the loop below then ends within the stream's
  // frames, where a shorter one would take a step per nanosecond.
  if (!CheckEveryLength(*every, ClockOf(stream), error)) return false;
  for (std::int64_t k = 1;; ++k) {
    std::int64_t b = 0;
    if (every->IsTime) {
      if (every->Nanoseconds > INT64_MAX / (k + 1)) break;
      b = SampleAt(stream.SampleRate, every->Nanoseconds * k);
    } else {
      b = FirstSampleOfFrame(stream, every->Frame * k);
    }
    if (b >= stream.Samples()) break;
    if (boundaries.empty() ? b > 0 : b > boundaries.back()) boundaries.push_back(b);
  }
  return true;
}

bool DamagedFramesOfCopy(const std::string& path, const FrameHeader& reference, std::int64_t startFrame,
                         std::int32_t& damaged, ResumePoint& resume, std::string& error) {
  SourceFile source(path);
  return DamagedFramesOfCopy(source, reference, startFrame, damaged, resume, error);
}

bool DamagedFramesOfCopy(SourceFile& source, const FrameHeader& reference, std::int64_t startFrame,
                         std::int32_t& damaged, ResumePoint& resume, std::string& error) {
  CopyStart start;
  const bool ok = MeasureCopyStart(source, reference, startFrame, start, error);
  damaged = start.Damaged;
  resume = start.Resume;
  return ok;
}

std::string PreRollWarning(const GaplessPlan& plan) {
  if (!plan.PreRollLimited()) return "";
  return "the first " + std::to_string(plan.PreRollWanted - plan.PreRoll) +
         " frames decode damaged: decoding the start needs " + std::to_string(plan.PreRollWanted) +
         " frames before it, and the tag's 12-bit delay field holds " + std::to_string(plan.PreRoll);
}

std::string FormatSamples(std::int64_t samples, std::int32_t sampleRate) {
  const std::int64_t us = samples / sampleRate * 1'000'000 + samples % sampleRate * 1'000'000 / sampleRate;
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%06lld", static_cast<long long>(us / 3'600'000'000),
                static_cast<long long>(us / 60'000'000 % 60), static_cast<long long>(us / 1'000'000 % 60),
                static_cast<long long>(us % 1'000'000));
  return text;
}
