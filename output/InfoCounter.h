#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "stream/XingFrame.h"

// What an output's Xing/Info frame says, gathered while the frames after it
// pass by: how many, their bytes, the byte offsets that its table of contents
// needs and the music CRC. Memory stays the same whatever the output's size:
// the TOC needs the offsets of the frames at each percent of a total known
// only at the end, so every stride-th frame's offset is kept (the stride
// doubles whenever the table fills) and the few headers between a kept frame
// and a wanted one are read back from the output at the end.
class InfoCounter {
 public:
  explicit InfoCounter(std::size_t keep = 8192);

  // The audio starts at `position` of the output (just after the tag frame).
  void Start(std::int64_t position);
  bool Started() const { return started_; }

  // One whole frame of `length` bytes at `position` whose header is `header`.
  void AddFrame(std::int64_t position, std::int32_t length, const std::uint8_t* header);
  // Bytes of the output from the end of what was fed before, in order: the
  // music CRC covers every byte from the start to the end of the last frame.
  void AddBytes(const std::uint8_t* data, std::size_t length);
  // Bytes already fed were changed: `delta` is the CRC (from 0) of the old
  // bytes XOR the new ones, up to the end of what was fed (the CRC is linear).
  void ChangedBytes(std::uint16_t delta) { crc_ ^= delta; }
  // The last frame was given bit-rate index `bitRate` and now ends at `end`
  // (its new bytes are fed with AddBytes).
  void WidenLast(std::int64_t end, int bitRate) {
    end_ = end;
    bitRates_ |= static_cast<std::uint16_t>(1u << bitRate);
  }

  std::uint32_t Frames() const;
  std::int64_t AudioStart() const { return start_; }
  // The end of the last whole frame (the start when there is none).
  std::int64_t AudioEnd() const { return end_; }
  std::uint16_t MusicCrc() const { return crc_; }
  // One bit per bit-rate index met.
  std::uint16_t BitRates() const { return bitRates_; }
  // Whether every frame started where the one before it ended.
  bool BackToBack() const { return backToBack_; }

  // The TOC, reading the headers between kept frames from `fd`, the output.
  // False when the output no longer holds frames where they were written, or
  // could not be read (`message` says which).
  bool Toc(int fd, XingToc& toc, std::string& message) const;

 private:
  std::size_t keep_;
  bool started_ = false;
  std::int64_t start_ = 0;
  std::int64_t end_ = 0;
  std::int64_t frames_ = 0;
  std::int64_t stride_ = 1;
  std::vector<std::int64_t> kept_;  // kept_[j]: offset of frame j * stride_
  std::uint16_t crc_ = 0;
  std::uint16_t bitRates_ = 0;
  bool backToBack_ = true;
};

// The frame length that a header gives (a zero fourth byte allowed, as
// flagless stereo streams have), 0 for bytes that are no valid header.
std::int32_t HeaderFrameLength(const std::uint8_t* header);
