#pragma once

#include <cstdint>
#include <string>

#include "stream/FrameHeader.h"

// What the count pass of a new job learns about its file, besides the count:
// how many frames the one-bit-rate rule copies and leaves out, and whether
// the stream has several bit rates, so that its duration can be told from
// its frames instead of from its size.
struct StreamSurvey {
  std::int32_t Count = 0;         // valid headers met, as ScanFrames counts them
  std::int32_t Copyable = 0;      // whole frames that fit the reference's length
  std::int32_t OtherBitRate = 0;  // counted frames that do not fit it: left out by a cut
  // Whole frames of the reference's version, layer and sampling frequency,
  // a leading Xing/Info frame aside: the audio a player plays.
  std::int64_t AudioFrames = 0;
  std::int64_t AudioBytes = 0;
  std::int32_t SamplesPerFrame = 0;
  std::int32_t SampleRate = 0;
  bool LeadingTagFrame = false;  // frame 0 is a Xing/Info frame that counts the stream
  bool SeveralBitRates = false;  // the audio frames do not all have one bit rate
  bool Read = false;             // false: the file could not be read after its probe

  // Whether the frames, rather than the size and the first frame's bit
  // rate, tell the duration: a stream of several bit rates, or one whose
  // tag frame counts it.
  bool DurationFromFrames() const { return (SeveralBitRates || LeadingTagFrame) && SampleRate > 0; }
  // Whole seconds of audio frames.
  std::int64_t Seconds() const;
  // Average bit rate of the audio frames in kbps, rounded; 0 without audio.
  std::int32_t AverageKbps() const;
};

class SourceFile;

// Walks the file once, as its frames are counted for the job list.
StreamSurvey SurveyStream(const std::string& path, const FrameHeader& reference);
// The same on a file already open.
StreamSurvey SurveyStream(SourceFile& source, const FrameHeader& reference);
