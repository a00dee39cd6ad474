#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "stream/FrameSink.h"

// How the level of an output changes, granule by granule (576 samples),
// counted from the output's first audio frame. A step is 1.5 dB.
struct GainPlan {
  std::int32_t Steps = 0;            // for every granule
  std::int64_t FadeInGranules = 0;   // a ramp up from -FadeSteps over the first ones
  std::int64_t FadeOutGranules = 0;  // a ramp down to -FadeSteps over the last ones
  std::int32_t FadeSteps = 32;       // 48 dB: the first and last moments well below the music

  bool Changes() const { return Steps != 0 || FadeInGranules > 0 || FadeOutGranules > 0; }
  // The steps of granule `g` without the fade-out, which needs the end.
  std::int32_t StepsAt(std::int64_t g) const;
  // The fade-out's steps for the granule `fromEnd` granules before the last.
  std::int32_t FadeOutAt(std::int64_t fromEnd) const;
};

// Passes whole frames on to `next` with the global_gain of their granules
// changed by the plan; every other byte, and the frames' sizes, stay as they
// are. Xing/Info/VBRI frames and frames of other layers pass unchanged (the
// caller refuses a plan for streams it cannot apply to). For a fade-out the
// frames of its length are held back until EndFade, which knows where the
// output ends: memory grows with the fade, not with the file.
class GainSink : public FrameSink {
 public:
  GainSink(FrameSink& next, const GainPlan& plan) : next_(next), plan_(plan) {}

  bool Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
             std::string& message) override;
  void CutBack(std::size_t partial, std::string& message) override { next_.CutBack(partial, message); }

  // The output ends here: the frames held back get the fade-out and go on.
  bool EndFade(std::string& message);

  // Fields clamped at 0 or 255: granules whose level could not follow the plan.
  std::int64_t Clamped() const { return clamped_; }
  std::int64_t Granules() const { return granule_; }

 private:
  struct Held {
    std::vector<std::uint8_t> Bytes;
    std::int64_t Granule = 0;  // its first
    std::int32_t Granules = 0;
  };
  bool Pass(std::vector<std::uint8_t>& bytes, std::string& message);

  FrameSink& next_;
  GainPlan plan_;
  std::vector<std::uint8_t> buffer_;
  std::deque<Held> held_;
  std::int64_t heldGranules_ = 0;
  std::int64_t granule_ = 0;
  std::int64_t clamped_ = 0;
};
