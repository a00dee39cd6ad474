#include "cli/StreamClock.h"

#include "stream/XingFrame.h"

bool ReadFrameClock(const std::string& path, const FrameHeader& reference, FrameClock& clock,
                    std::string& error) {
  clock = FrameClock{};
  clock.SamplesPerFrame = SamplesPerFrame(reference);
  clock.SampleRate = HeaderSampleRate(reference);
  if (clock.SamplesPerFrame <= 0 || clock.SampleRate <= 0) {
    error = path + ": no frame timing in its first frame header";
    return false;
  }
  clock.FirstAudioFrame = StartsWithXingFrame(path) ? 1 : 0;
  return true;
}
