#include "cli/Split.h"

#include <algorithm>
#include <limits>

bool SplitStarts(const std::vector<StreamPoint>& points, const FrameClock& clock, std::int32_t count,
                 std::vector<std::int32_t>& starts, std::string& error) {
  starts.assign(1, 0);
  for (const StreamPoint& p : points) {
    const std::int64_t frame = StartFrameOf(clock, p);
    const std::string shown = p.IsTime ? FormatTime(p.Nanoseconds) + " (frame " + std::to_string(frame) + ")"
                                       : "frame " + std::to_string(frame);
    if (frame >= count) {
      error = "the point " + shown + " lies after the last frame " + std::to_string(count - 1);
      return false;
    }
    if (frame <= starts.back()) {
      error = "the point " + shown +
              (starts.size() == 1 ? " is the first frame" : " is not after the one before it");
      return false;
    }
    starts.push_back(static_cast<std::int32_t>(frame));
  }
  return true;
}

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

// Nanoseconds as seconds the way --every reads them back: "0.026122449s".
std::string SecondsText(std::int64_t ns) {
  std::string fraction = std::to_string(ns % kSecond);
  fraction.insert(0, 9 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  return std::to_string(ns / kSecond) + (fraction.empty() ? "" : "." + fraction) + "s";
}

}  // namespace

std::int64_t ShortestEveryTime(const FrameClock& clock) {
  const std::int64_t scaled = std::int64_t{clock.SamplesPerFrame} * kSecond;
  return (scaled + clock.SampleRate - 1) / clock.SampleRate;
}

bool CheckEveryLength(const StreamPoint& length, const FrameClock& clock, std::string& error) {
  const std::int64_t shortest = ShortestEveryTime(clock);
  const bool tooShort = length.IsTime ? length.Nanoseconds < shortest : length.Frame < 1;
  if (tooShort) {
    error = "a length below one frame: the shortest length is " + SecondsText(shortest) +
            " (one frame of " + std::to_string(clock.SamplesPerFrame) + " samples at " +
            std::to_string(clock.SampleRate) + " Hz), or 1 as a number of frames";
  }
  return !tooShort;
}

std::int64_t EveryStartSequence::StartOf(std::size_t piece) {
  // A piece's range asks for its start and the next one's, in turn.
  if (piece + 1 == piece_) return before_;
  if (piece < piece_) *this = EveryStartSequence(length_, clock_);
  while (piece_ < piece) {
    if (ended_) return -1;
    // Each step moves on by a frame at least (CheckEveryLength), so a new
    // start comes within a step or two.
    const std::int64_t k = step_ + 1;
    std::int64_t frame = 0;
    if (length_.IsTime) {
      if (length_.Nanoseconds > std::numeric_limits<std::int64_t>::max() / (k + 1)) {
        ended_ = true;
        return -1;
      }
      frame = FrameAt(clock_, length_.Nanoseconds * k);
    } else {
      if (length_.Frame > std::numeric_limits<std::int32_t>::max() / k) {
        ended_ = true;
        return -1;
      }
      frame = length_.Frame * k;
    }
    step_ = k;
    if (frame > std::numeric_limits<std::int32_t>::max()) {
      ended_ = true;
      return -1;
    }
    if (frame > start_) {
      before_ = start_;
      start_ = frame;
      ++piece_;
    }
  }
  return start_;
}

std::int64_t EveryStartSequence::PiecesIn(std::int64_t count, std::int64_t cap) {
  std::int64_t pieces = 1;
  while (pieces <= cap) {
    const std::int64_t start = StartOf(static_cast<std::size_t>(pieces));
    if (start < 0 || start >= count) break;
    ++pieces;
  }
  return pieces;
}

bool EveryStarts(const StreamPoint& length, const FrameClock& clock, std::int32_t count,
                 std::vector<std::int32_t>& starts, std::string& error, const std::atomic<bool>* cancel) {
  starts.assign(1, 0);
  if (!CheckEveryLength(length, clock, error)) return false;
  EveryStartSequence sequence(length, clock);
  // Each piece moves on by a frame at least, so the loop ends within `count`
  // pieces; a signal may still end it sooner.
  for (std::size_t k = 1;; ++k) {
    if (cancel != nullptr && k % 4096 == 0 && cancel->load(std::memory_order_relaxed)) {
      error = "interrupted";
      return false;
    }
    const std::int64_t start = sequence.StartOf(k);
    if (start < 0 || start >= count) break;
    starts.push_back(static_cast<std::int32_t>(start));
  }
  return true;
}

PieceNameParts PieceNamePartsOf(const std::string& input, const std::string& directory) {
  const std::size_t slash = input.rfind('/');
  const std::string base = slash == std::string::npos ? input : input.substr(slash + 1);
  std::string dir = !directory.empty()           ? directory
                    : slash == std::string::npos ? "."
                    : slash == 0                 ? "/"
                                                 : input.substr(0, slash);
  if (dir.back() != '/') dir += '/';
  const std::size_t dot = base.rfind('.');
  const bool hasExt = dot != std::string::npos && dot > 0;
  return {dir, hasExt ? base.substr(0, dot) : base, hasExt ? base.substr(dot) : ""};
}

int PieceNumberDigits(std::int64_t pieces) {
  return std::max<int>(2, static_cast<int>(std::to_string(pieces).size()));
}

std::string NumberedPieceName(const PieceNameParts& parts, std::size_t index, int digits) {
  std::string number = std::to_string(index + 1);
  number.insert(0, static_cast<std::size_t>(digits) - std::min(number.size(), static_cast<std::size_t>(digits)), '0');
  return parts.Folder + parts.Stem + "_" + number + parts.Extension;
}

std::vector<SplitPiece> NamePieces(const std::string& input, const std::string& directory,
                                   const std::vector<std::int32_t>& starts, std::int32_t count) {
  const PieceNameParts parts = PieceNamePartsOf(input, directory);
  const int digits = PieceNumberDigits(static_cast<std::int64_t>(starts.size()));
  std::vector<SplitPiece> pieces;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    SplitPiece p;
    p.Start = starts[i];
    p.Stop = i + 1 < starts.size() ? starts[i + 1] - 1 : count - 1;
    p.Path = NumberedPieceName(parts, i, digits);
    pieces.push_back(p);
  }
  return pieces;
}
