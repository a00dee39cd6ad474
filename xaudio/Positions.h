#pragma once

// The scale between frames of the input and the offsets the owner asks for
// and is told: offset/range is the fraction of the input's frames, so a range
// equal to the frame count makes offsets frame indexes.

#include <cstdint>

namespace xaudio {

inline int64_t OffsetOfFrame(int64_t frame, int64_t frame_count, int64_t range) {
  if (frame_count <= 0) return 0;
  return frame * range / frame_count;
}

// The first frame whose offset is `offset`.
inline int64_t FrameOfOffset(int64_t offset, int64_t range, int64_t frame_count) {
  if (range <= 0) return 0;
  return (offset * frame_count + range - 1) / range;
}

struct Timecode {
  uint8_t hours = 0;
  uint8_t minutes = 0;
  uint8_t seconds = 0;
  uint8_t fractions = 0;  // hundredths
  int64_t whole_seconds = 0;
};

inline Timecode TimecodeOfFrame(int64_t frame, int samples_per_frame, long rate) {
  Timecode t;
  if (rate <= 0) return t;
  const int64_t ms = frame * samples_per_frame * 1000 / rate;
  t.whole_seconds = ms / 1000;
  const int64_t hours = t.whole_seconds / 3600;
  t.hours = static_cast<uint8_t>(hours > 255 ? 255 : hours);
  t.minutes = static_cast<uint8_t>(t.whole_seconds % 3600 / 60);
  t.seconds = static_cast<uint8_t>(t.whole_seconds % 60);
  t.fractions = static_cast<uint8_t>(ms % 1000 / 10);
  return t;
}

}  // namespace xaudio
