#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stream/FrameSink.h"

// Splits one walk over an input into pieces: each frame goes to the piece
// whose range holds its index, the pieces' outputs opened in turn. The ranges
// may be asked for one at a time, as the walk reaches them, so that a split
// into ever more pieces keeps no list of them. A piece may
// begin a few frames before the one before it ends (frames a decoder needs
// before a sample-exact start): those frames are kept as they pass, up to
// `overlap` of them, and written again at the front of the next piece.
struct PieceRange {
  std::int32_t Start = 0;  // frame indexes, both included
  std::int32_t Stop = 0;
};

class PieceRouter : public FrameSink {
 public:
  // Opens piece k's output when its first frame comes; nullptr passes the
  // piece over (its frames go nowhere).
  using Open = std::function<FrameSink*(std::size_t piece)>;
  // Ends piece k once its last frame has gone, or the walk ended.
  using Close = std::function<void(std::size_t piece)>;

  // Piece k's range (k = 0, 1, ... in turn); false when there is no piece k.
  using Ranges = std::function<bool(std::size_t piece, PieceRange& range)>;

  PieceRouter(std::vector<PieceRange> pieces, std::size_t overlap, Open open, Close close);
  PieceRouter(Ranges ranges, std::size_t overlap, Open open, Close close);

  // Whether the pieces follow each other, none overlapping the one before by
  // more than `overlap` frames.
  static bool Fits(const std::vector<PieceRange>& pieces, std::size_t overlap);

  bool Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
             std::string& message) override;
  void CutBack(std::size_t partial, std::string& message) override;

  // Closes the piece that is open. Call once the walk has ended.
  void End();

  // The range of the piece that is open, or that is next to be.
  const PieceRange& Current() const { return range_; }
  // How many pieces were opened (or passed over by their Open), from piece 0.
  std::size_t Begun() const { return begun_; }

 private:
  bool Enter(std::size_t piece, std::int32_t index, std::string& message);
  void Remember(const std::uint8_t* frame, std::size_t length, std::int32_t index);

  void Fetch();
  std::int32_t LengthOf(const std::uint8_t* header);

  Ranges ranges_;
  std::size_t overlap_;
  Open open_;
  Close close_;
  std::size_t current_ = 0;
  PieceRange range_;    // of piece current_
  bool have_ = false;   // whether there is a piece current_
  std::size_t begun_ = 0;
  bool entered_ = false;
  FrameSink* sink_ = nullptr;
  // The last frames that passed, for the front of the next piece.
  struct Kept {
    std::int32_t Index = 0;
    std::vector<std::uint8_t> Bytes;
  };
  std::vector<Kept> kept_;
  std::size_t keptNext_ = 0;
  // The lengths of the last two headers (a padded and an unpadded one), by
  // their first three bytes; no key of a frame's header is all ones.
  std::uint32_t lengthKeys_[2] = {~0u, ~0u};
  std::int32_t lengths_[2] = {0, 0};
  int lengthNext_ = 0;
};
