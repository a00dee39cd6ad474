#pragma once

#include <string>

#include "cli/TimePoint.h"
#include "loudness/GainSink.h"
#include "stream/FrameHeader.h"

struct Options;

// --gain, --fade-in and --fade-out as the user gave them: a change of level
// that rewrites each granule's global_gain and nothing else.
struct LevelChange {
  double Db = 0;
  std::int32_t Steps = 0;  // Db in 1.5 dB steps, rounded
  bool HasFadeIn = false;
  StreamPoint FadeIn;
  bool HasFadeOut = false;
  StreamPoint FadeOut;
  bool Changes() const { return Steps != 0 || HasFadeIn || HasFadeOut; }
};

// "-6", "-6dB", "+3 dB", "-4.5db"; fades as times ("2", "1.5s", "0:02") or
// frames ("80f"). False, with `error`, for anything else.
bool ParseLevelChange(const Options& options, LevelChange& change, std::string& error);

// The plan for a stream of `reference`'s kind: durations in its granules.
GainPlan PlanLevel(const LevelChange& change, const FrameHeader& reference);
