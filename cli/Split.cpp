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

bool EveryStarts(const StreamPoint& length, const FrameClock& clock, std::int32_t count,
                 std::vector<std::int32_t>& starts, std::string& error, const std::atomic<bool>* cancel) {
  starts.assign(1, 0);
  if (!CheckEveryLength(length, clock, error)) return false;
  // Each step moves on by a frame at least, so the loop ends within `count`
  // steps; a signal may still end it sooner.
  for (std::int64_t k = 1;; ++k) {
    if (cancel != nullptr && k % 4096 == 0 && cancel->load(std::memory_order_relaxed)) {
      error = "interrupted";
      return false;
    }
    std::int64_t frame = 0;
    if (length.IsTime) {
      if (length.Nanoseconds > std::numeric_limits<std::int64_t>::max() / (k + 1)) break;
      frame = FrameAt(clock, length.Nanoseconds * k);
    } else {
      frame = length.Frame * k;
    }
    if (frame >= count) break;
    if (frame > starts.back()) starts.push_back(static_cast<std::int32_t>(frame));
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

std::vector<SplitPiece> NamePieces(const std::string& input, const std::string& directory,
                                   const std::vector<std::int32_t>& starts, std::int32_t count) {
  const PieceNameParts parts = PieceNamePartsOf(input, directory);
  const int digits = std::max<int>(2, static_cast<int>(std::to_string(starts.size()).size()));
  std::vector<SplitPiece> pieces;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    std::string number = std::to_string(i + 1);
    number.insert(
        0, static_cast<std::size_t>(digits) - std::min(number.size(), static_cast<std::size_t>(digits)), '0');
    SplitPiece p;
    p.Start = starts[i];
    p.Stop = i + 1 < starts.size() ? starts[i + 1] - 1 : count - 1;
    p.Path = parts.Folder + parts.Stem + "_" + number + parts.Extension;
    pieces.push_back(p);
  }
  return pieces;
}
