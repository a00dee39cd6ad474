#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/FrameSink.h"

// How the level of an output changes, granule by granule (576 samples of
// MPEG-1 Layer III, 576 of MPEG-2 too, one granule a frame there), counted
// from the output's first audio frame. A step is 1.5 dB.
struct GainPlan {
  std::int32_t Steps = 0;            // for every granule
  std::int64_t FadeInGranules = 0;   // a ramp up from -FadeSteps over the first ones
  std::int64_t FadeOutGranules = 0;  // a ramp down to -FadeSteps over the last ones
  std::int64_t TotalGranules = -1;   // the output's, which a fade-out needs
  std::int32_t FadeSteps = 32;       // 48 dB: the first and last moments well below the music

  bool Changes() const { return Steps != 0 || FadeInGranules > 0 || FadeOutGranules > 0; }
  // The steps for granule `g`: the gain and any fade it lies in, added.
  std::int32_t StepsAt(std::int64_t g) const;
};

// Passes whole frames on to `next` with the global_gain of their granules
// changed by the plan; every other byte, and the frames' sizes, stay as they
// are. Xing/Info/VBRI frames and frames of other layers pass unchanged (the
// caller refuses a plan for streams it cannot apply to).
class GainSink : public FrameSink {
 public:
  GainSink(FrameSink& next, const GainPlan& plan) : next_(next), plan_(plan) {}

  bool Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
             std::string& message) override;
  void CutBack(std::size_t partial, std::string& message) override { next_.CutBack(partial, message); }

  // Fields clamped at 0 or 255: granules whose level could not follow the plan.
  std::int64_t Clamped() const { return clamped_; }
  std::int64_t Granules() const { return granule_; }

 private:
  FrameSink& next_;
  GainPlan plan_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t granule_ = 0;
  std::int64_t clamped_ = 0;
};
