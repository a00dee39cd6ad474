#include "jobs/StreamSurvey.h"

#include "stream/Scanner.h"
#include "stream/SourceFile.h"
#include "stream/XingFrame.h"

std::int64_t StreamSurvey::Seconds() const {
  if (SampleRate <= 0) return 0;
  return AudioFrames * SamplesPerFrame / SampleRate;
}

std::int32_t StreamSurvey::AverageKbps() const {
  const std::int64_t samples = AudioFrames * SamplesPerFrame;
  if (samples <= 0) return 0;
  // bits per second = bytes * 8 * rate / samples; in kbps, rounded.
  const std::int64_t bitsTimesRate = AudioBytes * 8 * SampleRate;
  return static_cast<std::int32_t>((bitsTimesRate + samples * 500) / (samples * 1000));
}

StreamSurvey SurveyStream(const std::string& path, const FrameHeader& reference) {
  SourceFile source(path);
  return SurveyStream(source, reference);
}

StreamSurvey SurveyStream(SourceFile& source, const FrameHeader& reference) {
  StreamSurvey s;
  s.SamplesPerFrame = SamplesPerFrame(reference);
  s.SampleRate = HeaderSampleRate(reference);
  const bool tagFrame = StartsWithXingFrame(source);
  int firstBitRateIndex = -1;
  std::string error;
  s.Read = WalkFrames(
      source, reference, ScanOptions{},
      [&](const FrameVisit& f) {
        ++s.Count;
        if (!f.Fits) {
          ++s.OtherBitRate;
        } else if (f.Whole) {
          ++s.Copyable;
        }
        if (f.Index == 0 && tagFrame) {
          s.LeadingTagFrame = true;
          return true;
        }
        FrameHeader h;
        DecodeFrameHeader(f.Header[0], f.Header[1], f.Header[2], f.Header[3], f.Position, 0, h);
        const bool sameStream = h.VersionId == reference.VersionId && h.Layer == reference.Layer &&
                                h.SampleRateIndex == reference.SampleRateIndex;
        if (!sameStream || !f.Whole) return true;
        ++s.AudioFrames;
        s.AudioBytes += f.Length;
        if (firstBitRateIndex < 0) {
          firstBitRateIndex = h.BitRateIndex;
        } else if (h.BitRateIndex != firstBitRateIndex) {
          s.SeveralBitRates = true;
        }
        return true;
      },
      error);
  return s;
}
