#include "album/Silence.h"

#include <algorithm>
#include <cmath>

std::int64_t NanosecondsToSamples(std::int64_t ns, std::int32_t rate) {
  return ns / 1'000'000'000 * rate + ns % 1'000'000'000 * rate / 1'000'000'000;
}

std::int64_t SamplesToNanoseconds(std::int64_t samples, std::int32_t rate) {
  return rate <= 0 ? 0 : samples / rate * 1'000'000'000 + samples % rate * 1'000'000'000 / rate;
}

SilenceDetector::SilenceDetector(double thresholdDb, std::int64_t minSilenceSamples, int channels)
    : threshold_(static_cast<int>(std::floor(32768.0 * std::pow(10.0, thresholdDb / 20.0)))),
      minSamples_(std::max<std::int64_t>(minSilenceSamples, 1)),
      channels_(std::max(channels, 1)) {
  // Blocks no longer than the shortest silence: a silence that counts can then
  // never lie between two loud samples of one block, so a block that holds a
  // loud sample needs only its first and its last one.
  const std::int64_t frames = std::clamp<std::int64_t>(minSamples_, 1, 256);
  block_ = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_);
}

void SilenceDetector::Loud(std::int64_t at) {
  if (at - lastLoud_ - 1 >= minSamples_) found_.push_back({lastLoud_ + 1, at});
}

void SilenceDetector::Feed(const std::int16_t* samples, std::size_t count) {
  const int t = threshold_;
  for (std::size_t i = 0; i < count; i += block_) {
    const std::size_t end = std::min(count, i + block_);
    int peak = 0;
    for (std::size_t k = i; k < end; ++k) {  // vectorises: the common case
      const int v = samples[k];
      peak = std::max(peak, v < 0 ? -v : v);
    }
    if (peak <= t) continue;
    auto loud = [t](int v) { return v > t || v < -t; };
    std::size_t first = i;
    while (!loud(samples[first])) ++first;
    std::size_t last = end - 1;
    while (!loud(samples[last])) --last;
    Loud(position_ + static_cast<std::int64_t>(first) / channels_);
    lastLoud_ = position_ + static_cast<std::int64_t>(last) / channels_;
  }
  position_ += static_cast<std::int64_t>(count) / channels_;
}

std::vector<Silence> SilenceDetector::Finish() {
  Loud(position_);
  lastLoud_ = position_;  // a second Finish adds nothing
  return found_;
}

std::vector<std::int64_t> SplitPointsFromSilences(const SilenceScan& scan, std::int64_t minPieceSamples) {
  std::vector<std::int64_t> bounds{0};
  for (const Silence& s : scan.Silences)
    if (s.Start > 0 && s.End < scan.Samples) bounds.push_back(s.Start + (s.End - s.Start) / 2);
  bounds.push_back(scan.Samples);
  // bounds[i], bounds[i + 1] enclose piece i.
  while (bounds.size() > 2) {
    std::size_t shortest = 0;
    for (std::size_t i = 1; i + 1 < bounds.size(); ++i)
      if (bounds[i + 1] - bounds[i] < bounds[shortest + 1] - bounds[shortest]) shortest = i;
    if (bounds[shortest + 1] - bounds[shortest] >= minPieceSamples) break;
    const std::size_t pieces = bounds.size() - 1;
    bool joinLeft = shortest + 1 == pieces;
    if (shortest > 0 && shortest + 1 < pieces)
      joinLeft = bounds[shortest] - bounds[shortest - 1] <= bounds[shortest + 2] - bounds[shortest + 1];
    bounds.erase(bounds.begin() + static_cast<std::ptrdiff_t>(joinLeft ? shortest : shortest + 1));
  }
  return std::vector<std::int64_t>(bounds.begin() + 1, bounds.end() - 1);
}
