#include "cli/SplitExactPlan.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "cli/Split.h"
#include "cli/StreamClock.h"
#include "gapless/GaplessPlan.h"
#include "stream/SourceFile.h"

namespace {

// A length no stream reaches: the stream's count until the walk meets its
// end (frame indexes stay 32-bit).
constexpr std::int64_t kUnmetLength = INT32_MAX - 2;

// The audio frame after which a stream is sure to play past `sample`,
// whatever follows: its end padding then ends after the sample.
std::int64_t FramePastSample(const GaplessStream& stream, std::int64_t sample) {
  const std::int64_t padding = std::max<std::int64_t>(0, stream.EndPadding - kDecoderDelay);
  return (sample + padding + stream.DecoderOffset()) / stream.SamplesPerFrame;
}

// The boundaries of --every, one at a time: those SplitBoundaries makes of
// the same stream, for as long as the stream lasts.
class EveryBoundaries {
 public:
  EveryBoundaries(const GaplessStream& stream, const StreamPoint& every) : stream_(stream), every_(every) {}
  bool Next(std::int64_t& boundary) {
    for (;; ++step_) {
      std::int64_t b = 0;
      if (every_.IsTime) {
        if (every_.Nanoseconds > INT64_MAX / (step_ + 1)) return false;
        b = SampleAt(stream_.SampleRate, every_.Nanoseconds * step_);
      } else {
        if (every_.Frame > INT64_MAX / (step_ + 1)) return false;
        b = FirstSampleOfFrame(stream_, every_.Frame * step_);
      }
      if (b >= stream_.Samples()) return false;
      if (b > last_) {
        last_ = b;
        ++step_;
        boundary = b;
        return true;
      }
    }
  }

 private:
  const GaplessStream& stream_;
  StreamPoint every_;
  std::int64_t step_ = 1;
  std::int64_t last_ = 0;
};

}  // namespace

ExactSplitStatus PlanExactSplit(SourceFile& source, const FrameHeader& reference,
                                const std::vector<StreamPoint>& listed, const StreamPoint* every,
                                const StreamPoint* from, const std::atomic<bool>* cancel,
                                ExactSplitPlan& plan, std::string& error) {
  const auto failed = [&] {
    return cancel != nullptr && cancel->load() ? ExactSplitStatus::Interrupted : ExactSplitStatus::Failed;
  };
  plan = ExactSplitPlan{};
  GaplessStream& stream = plan.Stream;
  if (!ReadGaplessStream(source, reference, stream, error, false, cancel)) return failed();
  // A first piece that starts later is planned as the second of a split at
  // its start; the one before it is then left out.
  const bool leaveOutFirst = every == nullptr && from != nullptr && SampleOfPoint(stream, *from) > 0;
  std::vector<StreamPoint> points;
  if (leaveOutFirst) points.push_back(*from);
  points.insert(points.end(), listed.begin(), listed.end());
  // Until the walk meets the end, a stream of no end: no point is clamped to it.
  stream.AudioFrames = kUnmetLength;
  std::vector<std::int64_t> frames{ReachFrame(stream, 0)};
  WalkAround around;
  std::unique_ptr<EveryBoundaries> steps;
  if (every == nullptr) {
    std::int64_t latest = 0;
    for (const StreamPoint& p : points) {
      const std::int64_t b = SampleOfPoint(stream, p);
      frames.push_back(ReachFrame(stream, b));
      latest = std::max(latest, b);
    }
    around.WalkTo = FramePastSample(stream, latest);
  } else {
    // A step of a frame at least, or the boundaries would never end.
    if (!CheckEveryLength(*every, ClockOf(stream), error)) return ExactSplitStatus::Failed;
    steps = std::make_unique<EveryBoundaries>(stream, *every);
    around.More = [&](std::int64_t& frame) {
      std::int64_t b = 0;
      if (!steps->Next(b)) return false;
      frame = ReachFrame(stream, b);
      return true;
    };
    // Where the pieces end is where the stream does.
    around.WalkTo = INT64_MAX;
  }
  std::vector<ReservoirReach> reach;
  if (!MeasureReservoir(source, reference, stream, frames, reach, error, &around, cancel)) return failed();
  plan.EndMet = around.ReachedEnd;
  if (plan.EndMet) {
    stream.AudioFrames = around.AudioFrames;
    plan.Counted = around.Counted;
  }
  std::vector<std::int64_t> boundaries;
  if (!SplitBoundaries(stream, points, every, boundaries, error) ||
      !PlanMeasuredPieces(stream, boundaries, reach, plan.Pieces, error))
    return ExactSplitStatus::Failed;
  plan.LastStart = boundaries.empty() ? 0 : boundaries.back();
  plan.LastReach = reach[boundaries.size()];
  if (leaveOutFirst) plan.Pieces.erase(plan.Pieces.begin());
  return ExactSplitStatus::Planned;
}

void SettleLastPiece(ExactSplitPlan& plan, std::int64_t audioFrames) {
  if (plan.EndMet || plan.Pieces.empty()) return;
  plan.Stream.AudioFrames = audioFrames;
  plan.EndMet = true;
  GaplessPlan settled;
  const SampleRange range{plan.LastStart, -1};
  // A stream shorter than the walk that planned it found: the plan stays.
  if (PlanGaplessRange(plan.Stream, range, plan.LastReach, settled)) plan.Pieces.back().Plan = settled;
}
