#include "album/Silence.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

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

void SilenceDetector::FeedStretch(std::int64_t frames, bool loud) {
  if (frames <= 0) return;
  if (loud) {
    Loud(position_);
    lastLoud_ = position_ + frames - 1;
  }
  position_ += frames;
}

bool SilenceDetector::AnyLoud(const std::int16_t* samples, std::size_t count) const {
  for (std::size_t k = 0; k < count; ++k)
    if (samples[k] > threshold_ || samples[k] < -threshold_) return true;
  return false;
}

std::vector<Silence> SilenceDetector::Finish() {
  Loud(position_);
  lastLoud_ = position_;  // a second Finish adds nothing
  return found_;
}

std::vector<std::int64_t> SplitPointsFromSilences(const SilenceScan& scan, std::int64_t minPieceSamples,
                                                  const std::atomic<bool>* cancel) {
  std::vector<std::int64_t> bounds{0};
  for (const Silence& s : scan.Silences)
    if (s.Start > 0 && s.End < scan.Samples) bounds.push_back(s.Start + (s.End - s.Start) / 2);
  bounds.push_back(scan.Samples);
  // Piece i lies between bounds[i] and bounds[next[i]]; prev and next link
  // the pieces left, and `pieces` orders them by length, then by place (the
  // first of the shortest joins first). Each join takes O(log n).
  const std::size_t n = bounds.size() - 1;
  std::vector<std::size_t> prev(n + 1), next(n + 1);
  for (std::size_t i = 0; i <= n; ++i) {
    prev[i] = i - 1;  // wraps for the first: never read
    next[i] = i + 1;
  }
  const auto length = [&](std::size_t i) { return bounds[next[i]] - bounds[i]; };
  std::set<std::pair<std::int64_t, std::size_t>> pieces;
  for (std::size_t i = 0; i < n; ++i) pieces.insert({length(i), i});
  // Piece `i` takes in the one after it.
  const auto join = [&](std::size_t i) {
    const std::size_t gone = next[i];
    pieces.erase({length(i), i});
    pieces.erase({length(gone), gone});
    next[i] = next[gone];
    prev[next[gone]] = i;
    pieces.insert({length(i), i});
  };
  while (pieces.size() > 1) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return {};
    const auto [shortest, i] = *pieces.begin();
    if (shortest >= minPieceSamples) break;
    const bool first = i == 0, last = next[i] == n;
    const bool joinLeft = last || (!first && bounds[i] - bounds[prev[i]] <= length(next[i]));
    join(joinLeft ? prev[i] : i);
  }
  std::vector<std::int64_t> points;
  for (std::size_t i = next[0]; i < n; i = next[i]) points.push_back(bounds[i]);
  return points;
}
