#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/ExactCut.h"
#include "cli/TimePoint.h"
#include "gapless/GaplessStream.h"
#include "stream/FrameHeader.h"

class SourceFile;

// The sample-exact pieces of a split of a Layer III stream, planned in one
// walk that measures the reservoir before each piece and counts the stream
// only as far as the plan needs: past the last point, so that every point
// lies before the end; with --every to the end, where the pieces end.
struct ExactSplitPlan {
  GaplessStream Stream;          // AudioFrames is the stream's count once the end was met
  std::vector<ExactCut> Pieces;  // in order
  // The walk met the stream's end. Else the last piece runs to an end not
  // met yet: its LastFrame and Stop are no frame or sample of the stream
  // until SettleLastPiece.
  bool EndMet = false;
  std::int64_t Counted = -1;  // every frame the walk counted, when it met the end
  // What the last piece was planned from, to plan it again once the end is met.
  std::int64_t LastStart = 0;
  ReservoirReach LastReach;
};

enum class ExactSplitStatus {
  Planned,
  Failed,       // `error` says why (not naming the file unless the system's reason does)
  Interrupted,  // `cancel` was set
};

// Plans the pieces that start at `points` or, with `every`, every that long;
// the first at `from` (what comes before it is left out), else at the start.
ExactSplitStatus PlanExactSplit(SourceFile& source, const FrameHeader& reference,
                                const std::vector<StreamPoint>& points, const StreamPoint* every,
                                const StreamPoint* from, const std::atomic<bool>* cancel,
                                ExactSplitPlan& plan, std::string& error);

// Once the copy met the end of a stream of `audioFrames` audio frames: the
// last piece's last frame and samples.
void SettleLastPiece(ExactSplitPlan& plan, std::int64_t audioFrames);
