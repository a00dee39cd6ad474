#pragma once

#include <atomic>
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
// The shortest time --every takes in a stream of that clock: one frame's
// duration, rounded up to the nanosecond so that every step of that length
// moves on by at least one frame.
std::int64_t ShortestEveryTime(const FrameClock& clock);
// False, with `error` naming the shortest length allowed, for a length of
// less than one frame: its steps would fall on the same frames again and
// again, ever more of them the shorter it is.
bool CheckEveryLength(const StreamPoint& length, const FrameClock& clock, std::string& error);
// Pieces of equal length: a duration, or a number of frames. The last piece
// holds what is left. False, with `error` set, for a length CheckEveryLength
// refuses, and when `cancel` is set while planning. At most `count` pieces,
// in as many steps.
bool EveryStarts(const StreamPoint& length, const FrameClock& clock, std::int32_t count,
                 std::vector<std::int32_t>& starts, std::string& error,
                 const std::atomic<bool>* cancel = nullptr);

// Where the pieces of `input` go and what their names are made of: the
// folder (`directory`, else that of the input), the input's name without its
// extension, and the extension with its dot.
struct PieceNameParts {
  std::string Folder;  // ends with '/'
  std::string Stem;
  std::string Extension;
};
PieceNameParts PieceNamePartsOf(const std::string& input, const std::string& directory);

// NAME_01.EXT, NAME_02.EXT, ... in `directory` (that of the input when empty),
// with as many digits as the last number needs and at least two.
std::vector<SplitPiece> NamePieces(const std::string& input, const std::string& directory,
                                   const std::vector<std::int32_t>& starts, std::int32_t count);
