#include "output/PieceRouter.h"

#include "output/InfoCounter.h"

std::int32_t PieceRouter::LengthOf(const std::uint8_t* header) {
  // The length does not depend on the fourth byte, which changes from frame
  // to frame in joint stereo: the first three make the key.
  const std::uint32_t key = std::uint32_t{header[0]} << 16 | std::uint32_t{header[1]} << 8 | header[2];
  for (int i = 0; i < 2; ++i)
    if (lengthKeys_[i] == key) return lengths_[i];
  lengthNext_ ^= 1;
  lengthKeys_[lengthNext_] = key;
  lengths_[lengthNext_] = HeaderFrameLength(header);
  return lengths_[lengthNext_];
}

PieceRouter::PieceRouter(std::vector<PieceRange> pieces, std::size_t overlap, Open open, Close close)
    : PieceRouter(
          [list = std::move(pieces)](std::size_t k, PieceRange& range) {
            if (k >= list.size()) return false;
            range = list[k];
            return true;
          },
          overlap, std::move(open), std::move(close)) {}

PieceRouter::PieceRouter(Ranges ranges, std::size_t overlap, Open open, Close close)
    : ranges_(std::move(ranges)), overlap_(overlap), open_(std::move(open)), close_(std::move(close)) {
  kept_.resize(overlap_);
  Fetch();
}

void PieceRouter::Fetch() {
  range_ = PieceRange{};
  have_ = ranges_(current_, range_);
}

bool PieceRouter::Fits(const std::vector<PieceRange>& pieces, std::size_t overlap) {
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (pieces[k].Stop < pieces[k].Start) return false;
    if (k == 0) continue;
    const std::int64_t back = static_cast<std::int64_t>(pieces[k - 1].Stop) + 1 - pieces[k].Start;
    if (pieces[k].Start <= pieces[k - 1].Start || back > static_cast<std::int64_t>(overlap)) return false;
  }
  return true;
}

void PieceRouter::Remember(const std::uint8_t* frame, std::size_t length, std::int32_t index) {
  if (overlap_ == 0) return;
  Kept& k = kept_[keptNext_];
  k.Index = index;
  k.Bytes.assign(frame, frame + length);
  keptNext_ = (keptNext_ + 1) % overlap_;
}

bool PieceRouter::Enter(std::size_t piece, std::int32_t index, std::string& message) {
  current_ = piece;
  entered_ = true;
  ++begun_;
  sink_ = open_(piece);
  if (sink_ == nullptr) return true;
  // The frames of this piece that went by while the one before was open,
  // oldest first.
  for (std::size_t n = 0; n < overlap_; ++n) {
    const Kept& k = kept_[(keptNext_ + n) % overlap_];
    if (k.Bytes.empty() || k.Index < range_.Start || k.Index >= index) continue;
    std::size_t written = 0;
    if (!sink_->Write(k.Bytes.data(), k.Bytes.size(), k.Index, written, message)) {
      sink_->CutBack(written, message);
      return false;
    }
  }
  return true;
}

bool PieceRouter::Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex,
                        std::size_t& written, std::string& message) {
  written = 0;
  // Frames wait from `runStart` (frame `runIndex`) to go to the open piece.
  std::size_t runStart = 0;
  std::int32_t runIndex = firstIndex;
  auto pass = [&](std::size_t to) {
    if (to > runStart && sink_ != nullptr) {
      std::size_t put = 0;
      if (!sink_->Write(data + runStart, to - runStart, runIndex, put, message)) {
        written = runStart + put;
        return false;
      }
    }
    written = to;
    return true;
  };
  std::size_t p = 0;
  std::int32_t index = firstIndex;
  while (p + 4 <= length) {
    const std::int32_t frameLength = LengthOf(data + p);
    if (frameLength <= 0 || p + static_cast<std::size_t>(frameLength) > length) break;
    while (have_) {
      if (entered_ && index > range_.Stop) {
        // The open piece is done: its frames go, then it closes.
        if (!pass(p)) return false;
        close_(current_);
        sink_ = nullptr;
        entered_ = false;
        ++current_;
        Fetch();
        runStart = p;
        runIndex = index;
        continue;
      }
      if (!entered_ && index >= range_.Start) {
        if (!pass(p)) return false;  // nothing waits: frames before a piece go nowhere
        runStart = p;
        runIndex = index;
        if (!Enter(current_, index, message)) return false;
        continue;
      }
      break;
    }
    if (!have_ || !entered_) {
      // Before a piece or after the last: goes nowhere.
      if (!pass(p)) return false;
      runStart = p + static_cast<std::size_t>(frameLength);
      runIndex = index + 1;
    }
    Remember(data + p, static_cast<std::size_t>(frameLength), index);
    p += static_cast<std::size_t>(frameLength);
    ++index;
  }
  return pass(p);
}

void PieceRouter::CutBack(std::size_t partial, std::string& message) {
  if (sink_ != nullptr) sink_->CutBack(partial, message);
}

void PieceRouter::End() {
  if (entered_ && have_) close_(current_);
  entered_ = false;
  sink_ = nullptr;
}
