#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/TimePoint.h"

// One piece of a split: an inclusive frame range and the file it goes to.
struct SplitPiece {
  std::int32_t Start = 0;
  std::int32_t Stop = 0;
  std::string Path;
};

// The frame indexes where pieces begin, from points (each the frame that
// plays at that instant, or a frame index) of a file of `count` frames.
// False, with `error` set, for a point at the first frame, after the last one
// or not after the point before it.
bool SplitStarts(const std::vector<StreamPoint>& points, const FrameClock& clock, std::int32_t count,
                 std::vector<std::int32_t>& starts, std::string& error);
// Pieces of equal length: a duration, or a number of frames. The last piece
// holds what is left. False, with `error` set, for a zero length.
bool EveryStarts(const StreamPoint& length, const FrameClock& clock, std::int32_t count,
                 std::vector<std::int32_t>& starts, std::string& error);

// NAME_01.EXT, NAME_02.EXT, ... in `directory` (that of the input when empty),
// with as many digits as the last number needs and at least two.
std::vector<SplitPiece> NamePieces(const std::string& input, const std::string& directory,
                                   const std::vector<std::int32_t>& starts, std::int32_t count);
