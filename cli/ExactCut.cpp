#include "cli/ExactCut.h"

#include <cstdio>

#include "cli/Split.h"
#include "cli/StreamClock.h"
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

bool PlanOne(SourceFile& source, const FrameHeader& reference, const GaplessStream& stream,
             const SampleRange& range, ExactCut& cut, std::string& error) {
  std::vector<ReservoirReach> reach;
  if (!MeasureReservoir(source, reference, stream, {ReachFrame(stream, range.Start)}, reach, error)) return false;
  if (!PlanGaplessRange(stream, range, reach[0], cut.Plan)) {
    error = "the range holds no sample of the stream";
    return false;
  }
  cut.Tag = TagFieldsOf(stream, cut.Plan);
  return true;
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
  GaplessStream stream;
  if (!ReadGaplessStream(source, reference, stream, error)) return ExactChoice::Refused;
  SampleRange range;
  if (job.HasStart) range.Start = SampleOfPoint(stream, job.Start);
  if (job.HasStop) {
    StreamPoint after = job.Stop;
    if (!after.IsTime) ++after.Frame;  // the stop frame is included
    range.Stop = SampleOfPoint(stream, after);
  }
  // A range that holds no sample is refused by the frame copy, in its words.
  if (range.Start >= stream.Samples() || (range.Stop >= 0 && range.Stop <= range.Start)) return ExactChoice::FrameCopy;
  return PlanOne(source, reference, stream, range, cut, error) ? ExactChoice::Exact : ExactChoice::Refused;
}

bool PlanExactPieces(const std::string& path, const FrameHeader& reference, const GaplessStream& stream,
                     const std::vector<std::int64_t>& boundaries, std::vector<ExactCut>& pieces,
                     std::string& error) {
  SourceFile source(path);
  return PlanExactPieces(source, reference, stream, boundaries, pieces, error);
}

bool PlanExactPieces(SourceFile& source, const FrameHeader& reference, const GaplessStream& stream,
                     const std::vector<std::int64_t>& boundaries, std::vector<ExactCut>& pieces,
                     std::string& error) {
  std::vector<std::int64_t> from{0};
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
  std::vector<std::int64_t> reachFrames;
  for (std::int64_t s : from) reachFrames.push_back(ReachFrame(stream, s));
  std::vector<ReservoirReach> reach;
  if (!MeasureReservoir(source, reference, stream, reachFrames, reach, error)) return false;
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
                         std::int32_t& damaged, std::string& error) {
  SourceFile source(path);
  return DamagedFramesOfCopy(source, reference, startFrame, damaged, error);
}

bool DamagedFramesOfCopy(SourceFile& source, const FrameHeader& reference, std::int64_t startFrame,
                         std::int32_t& damaged, std::string& error) {
  damaged = 0;
  if (reference.Invalid || reference.Layer != 1) return true;
  GaplessStream stream;
  if (!ReadGaplessStream(source, reference, stream, error, false)) return false;
  const std::int64_t audio = startFrame - stream.FirstAudioFrame;
  if (audio <= 0) return true;
  std::vector<ReservoirReach> reach;
  if (!MeasureReservoir(source, reference, stream, {audio}, reach, error)) return false;
  damaged = DamagedLeadingFrames(stream, audio, reach[0]);
  return true;
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
