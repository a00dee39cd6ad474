#include "cli/StreamClock.h"

#include "stream/SourceFile.h"
#include "stream/XingFrame.h"

bool ReadFrameClock(const std::string& path, const FrameHeader& reference, FrameClock& clock,
                    std::string& error) {
  SourceFile source(path);
  return ReadFrameClock(source, reference, clock, error);
}

bool ReadFrameClock(SourceFile& source, const FrameHeader& reference, FrameClock& clock, std::string& error) {
  const std::string& path = source.Path();
  clock = FrameClock{};
  clock.SamplesPerFrame = SamplesPerFrame(reference);
  clock.SampleRate = HeaderSampleRate(reference);
  if (clock.SamplesPerFrame <= 0 || clock.SampleRate <= 0) {
    error = path + ": no frame timing in its first frame header";
    return false;
  }
  if (reference.Layer != 1) {
    // Layers I and II: no delay is declared, and players play the decoder's
    // output from its first sample.
    clock.FirstAudioFrame = StartsWithXingFrame(source) ? 1 : 0;
    return true;
  }
  GaplessStream stream;
  if (!ReadGaplessStream(source, reference, stream, error, false)) return false;
  clock = ClockOf(stream);
  return true;
}

FrameClock ClockOf(const GaplessStream& stream) {
  FrameClock clock;
  clock.SamplesPerFrame = stream.SamplesPerFrame;
  clock.SampleRate = stream.SampleRate;
  clock.FirstAudioFrame = stream.FirstAudioFrame;
  clock.DecoderOffset = stream.DecoderOffset();
  return clock;
}
