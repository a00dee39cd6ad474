#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Where a cut's frames go: runs of whole frames, back to back, in the order of
// the input. OutputFile appends them to a path; a caller that keeps more than
// the bytes (counts for a tag frame, a lock, a file written beside the
// output) hands its own sink to the scan in ScanOptions::Sink.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Appends all of [data, data + length): whole frames back to back, whose
  // frame indexes follow each other from `firstIndex` (a frame left out ends
  // a run). On failure `written` tells how many bytes did reach the output
  // and `message` says why the rest did not.
  virtual bool Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex,
                     std::size_t& written, std::string& message) = 0;
  // After a failed Write: drops the `partial` bytes that it left after the
  // last whole frame, where that is safe. Adds to `message` what could not be
  // mended.
  virtual void CutBack(std::size_t partial, std::string& message) = 0;
};
