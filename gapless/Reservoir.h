#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Follows main_data_begin back through the frames before: which frame holds
// the first byte of a frame's main data. Keeps the main-data capacities of
// the last frames only (enough for 511 bytes of reservoir in frames of the
// smallest capacity), so memory does not grow with the stream.
class ReservoirTracker {
 public:
  // Frames whose data an encoder may take from frames before: up to 511
  // bytes, and the smallest frame (MPEG-2, 8 kbps, 24 kHz, mono) holds 11.
  static constexpr int kKept = 64;

  // Forgets the frames added so far: the next frame starts a stream (after a
  // tag frame, which decoders do not count as reservoir).
  void Reset() { count_ = 0; }

  // Adds the next frame of the stream. Returns how many frames back its main
  // data begins (0: in the frame itself), or -1 when the frames added before
  // it do not hold main_data_begin bytes: it could never be decoded whole.
  int Add(std::int32_t capacity, std::int32_t mainDataBegin);

 private:
  std::array<std::int32_t, kKept> capacities_{};
  std::int64_t count_ = 0;  // frames added since Reset
};

// What a cut that starts at one frame needs of the frames before it.
struct ReservoirReach {
  // The first frame whose bytes hold main data of this frame or of a frame
  // after it (audio frame index). Equal to the frame when nothing reaches
  // back past it.
  std::int64_t FirstNeeded = 0;
  // The last frame from this one on whose main data begins before it; -1
  // when there is none: a copy starting here loses no reservoir bytes.
  std::int64_t LastLacking = -1;
  // The main-data bytes before this frame that it and the frames after it
  // take (the end of the reservoir when the frame begins), and the frame's
  // header: what a frame standing in for the frames before needs.
  std::vector<std::uint8_t> Carried;
  std::uint8_t Header[4] = {};
};
