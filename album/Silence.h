#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Silence detection on decoded audio. Positions are sample frames of the
// audio as a gapless player plays it (after the encoder delay that the LAME
// tag declares, before its end padding).

struct SilenceSettings {
  double ThresholdDb = -48.0;                   // dBFS; a sample at or below it is silent
  std::int64_t MinSilenceNs = 1'500'000'000;    // the shortest silence that counts
  std::int64_t MinPieceNs = 10'000'000'000;     // shorter pieces join a neighbour
};

// A stretch of silence, [Start, End) in sample frames.
struct Silence {
  std::int64_t Start = 0;
  std::int64_t End = 0;
};

struct SilenceScan {
  std::int32_t SampleRate = 0;
  std::int64_t Samples = 0;  // sample frames of the whole decoded audio
  // Every silence of at least the minimum length, in order; one at the very
  // start or end of the audio included.
  std::vector<Silence> Silences;
};

// Finds silences in a stream of interleaved 16-bit samples fed piece by piece.
// Memory is constant but for the list of silences found.
class SilenceDetector {
 public:
  SilenceDetector(double thresholdDb, std::int64_t minSilenceSamples, int channels);
  void Feed(const std::int16_t* samples, std::size_t count);  // count: values, whole sample frames
  // A stretch of `frames` sample frames known only as loud or not: loud, it
  // is loud from its first to its last.
  void FeedStretch(std::int64_t frames, bool loud);
  // Whether a sample of these (of any channel count) is above the threshold.
  bool AnyLoud(const std::int16_t* samples, std::size_t count) const;
  // Closes a silence that runs to the end. Returns every silence found.
  std::vector<Silence> Finish();
  std::int64_t Position() const { return position_; }

 private:
  void Loud(std::int64_t at);
  int threshold_;
  std::int64_t minSamples_;
  int channels_;
  std::size_t block_;
  std::int64_t position_ = 0;
  std::int64_t lastLoud_ = -1;
  std::vector<Silence> found_;
};

// Decodes the file with libmpg123 and finds its silences, on the clock of a
// split: a frame of another sampling frequency than the first counts as long
// as the first's frames, and a damaged stretch is passed over to the next
// frame. `progress` (done, total bytes of the input) is called now and then;
// a set `cancel` stops the decoding. False, with `error` naming the file,
// when it cannot be decoded, when it changed size while decoded, or when
// cancelled.
bool FindSilences(const std::string& path, const SilenceSettings& settings, SilenceScan& scan,
                  std::string& error, const std::function<void(std::int64_t, std::int64_t)>& progress = {},
                  const std::atomic<bool>* cancel = nullptr);
// The same on the file at `path` already open as `fd` (a regular file of
// `size` bytes), decoded from its start; the descriptor stays open, and its
// offset is the decoder's (other readers of it read with pread).
bool FindSilences(int fd, std::int64_t size, const std::string& path, const SilenceSettings& settings,
                  SilenceScan& scan, std::string& error,
                  const std::function<void(std::int64_t, std::int64_t)>& progress = {},
                  const std::atomic<bool>* cancel = nullptr);

// Where to split: the middle of every silence with audio on both sides, then
// pieces shorter than the minimum joined with their shorter neighbour until
// none is (or one piece is left), in O(n log n) of the silences. Sample
// frames, ascending; empty once `cancel` is set.
std::vector<std::int64_t> SplitPointsFromSilences(const SilenceScan& scan, std::int64_t minPieceSamples,
                                                  const std::atomic<bool>* cancel = nullptr);

// Nanoseconds as sample frames at `rate`, and back.
std::int64_t NanosecondsToSamples(std::int64_t ns, std::int32_t rate);
std::int64_t SamplesToNanoseconds(std::int64_t samples, std::int32_t rate);
