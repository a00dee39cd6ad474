#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/FrameHeader.h"
#include "stream/Scanner.h"

class SourceFile;

// What a copy of a Layer III stream that starts at one frame takes from the
// frames before it.
struct CopyStart {
  // The main-data bytes before the start frame that it and the frames after
  // it take (the bit reservoir), oldest first; empty when they take none.
  std::vector<std::uint8_t> Reservoir;
  // Frames at the copy's front that decode damaged when nothing stands in
  // for those bytes.
  std::int32_t Damaged = 0;
  // Where the start frame lies (Position -1 when the walk did not reach it).
  ResumePoint Resume;
};

// Measures the copy from `startFrame` (a frame index): one walk that ends a
// few frames after it. Nothing to measure (an empty result) for another
// layer or a start at the first audio frame. False when the file cannot be
// read.
bool MeasureCopyStart(SourceFile& source, const FrameHeader& reference, std::int64_t startFrame, CopyStart& start,
                      std::string& error);
