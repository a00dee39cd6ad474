#pragma once

#include <cstdint>
#include <string>

// A point of a stream as the user writes it: an instant in seconds ("90",
// "90.25", "90.25s") or "[[H:]M:]S[.fff]" with at least one colon ("1:30",
// "0:01:30.250"), or a frame index with an 'f' ("1234f").
struct StreamPoint {
  bool IsTime = false;
  std::int64_t Frame = 0;        // when !IsTime
  std::int64_t Nanoseconds = 0;  // when IsTime
  // A stop written "end-TIME" (or "end"): Nanoseconds counts back from the
  // end of the audio, until the file's length turns it into a plain time.
  bool FromEnd = false;
};

// False for anything else, with `error` saying what a point looks like.
bool ParsePoint(const std::string& text, StreamPoint& point, std::string& error);

// How frame indexes and time meet in one stream. Time runs as a gapless
// player plays the stream: from the first audio frame (a leading Xing/Info
// frame carries no audio and takes none), after the decoder samples that the
// player drops (Layer III: the encoder delay and the decoder's own).
struct FrameClock {
  std::int32_t SamplesPerFrame = 1152;
  std::int32_t SampleRate = 44100;
  std::int32_t FirstAudioFrame = 0;  // 1 when frame 0 is a Xing/Info frame
  std::int64_t DecoderOffset = 0;    // decoder samples before the player's first
};

// The frame that plays at the instant.
std::int64_t FrameAt(const FrameClock& clock, std::int64_t nanoseconds);
// The last frame that starts before the instant; FirstAudioFrame - 1 when
// none does.
std::int64_t LastFrameBefore(const FrameClock& clock, std::int64_t nanoseconds);
// A point as a frame index: a start point is the frame playing then, a stop
// point the last frame starting before it.
std::int64_t StartFrameOf(const FrameClock& clock, const StreamPoint& point);
std::int64_t StopFrameOf(const FrameClock& clock, const StreamPoint& point);
// The first sample at or after the instant, at `sampleRate`: ranges
// [start, stop) of samples that meet at one instant share no sample.
std::int64_t SampleAt(std::int32_t sampleRate, std::int64_t nanoseconds);
// Nanoseconds of `samples` at `sampleRate`.
std::int64_t SamplesTime(std::int32_t sampleRate, std::int64_t samples);
// Nanoseconds on the player's clock to the start of `frame`'s output (0 for
// the frames whose output the player drops).
std::int64_t FrameStart(const FrameClock& clock, std::int64_t frame);
// "h:mm:ss.fff" for messages.
std::string FormatTime(std::int64_t nanoseconds);
