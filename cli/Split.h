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
// The starts of the pieces of --every LENGTH, one after another and with no
// end in sight: the walk through the file ends them where the stream ends, so
// that they need no count of its frames. The length must be one CheckEveryLength
// takes.
class EveryStartSequence {
 public:
  EveryStartSequence(const StreamPoint& length, const FrameClock& clock) : length_(length), clock_(clock) {}
  // Piece `piece`'s first frame (piece 0 starts at frame 0); -1 when no frame
  // index can start it. Cheapest in increasing order of `piece`.
  std::int64_t StartOf(std::size_t piece);
  // How many pieces a stream of `count` frames has, or `cap` + 1 when more
  // than `cap`.
  std::int64_t PiecesIn(std::int64_t count, std::int64_t cap);

 private:
  StreamPoint length_;
  FrameClock clock_;
  std::size_t piece_ = 0;  // the piece whose start is start_
  std::int64_t step_ = 0;  // the step of LENGTH that found it
  std::int64_t start_ = 0;
  std::int64_t before_ = 0;  // the start of piece piece_ - 1
  bool ended_ = false;     // no piece after piece_
};

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

// The digits of the numbers in the names of `pieces` pieces: as many as the
// last number needs, and at least two.
int PieceNumberDigits(std::int64_t pieces);
// NAME_NN.EXT: the name of piece `index` (from 0), numbered with `digits` digits.
std::string NumberedPieceName(const PieceNameParts& parts, std::size_t index, int digits);

// NAME_01.EXT, NAME_02.EXT, ... in `directory` (that of the input when empty),
// with as many digits as the last number needs and at least two.
std::vector<SplitPiece> NamePieces(const std::string& input, const std::string& directory,
                                   const std::vector<std::int32_t>& starts, std::int32_t count);
