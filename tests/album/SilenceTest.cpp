// Silence detection: the detector on samples made to measure, the choice of
// split points, and the whole search on real encoder output.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <cmath>
#include <vector>

#include "AlbumFixture.h"
#include "album/Silence.h"

namespace {

// -48 dBFS is amplitude 130.2: 130 is silent, 131 is not.
constexpr std::int16_t kQuiet = 130;
constexpr std::int16_t kLoud = 131;

// Mono samples: runs of (length, value) in turn.
std::vector<std::int16_t> Runs(std::initializer_list<std::pair<int, std::int16_t>> runs) {
  std::vector<std::int16_t> s;
  for (const auto& r : runs) s.insert(s.end(), static_cast<std::size_t>(r.first), r.second);
  return s;
}

std::vector<Silence> Detect(const std::vector<std::int16_t>& samples, std::int64_t minSamples, int channels,
                            std::size_t feedSize) {
  SilenceDetector d(-48.0, minSamples, channels);
  for (std::size_t i = 0; i < samples.size(); i += feedSize)
    d.Feed(samples.data() + i, std::min(feedSize, samples.size() - i));
  return d.Finish();
}

TEST(SilenceDetector, FindsExactStretchesWhateverTheBlocksAndFeeds) {
  // Loud 1000, quiet 600 (a silence), loud 5, quiet 599 (too short), loud 1,
  // quiet 700 at the end; the threshold is the level itself (at or below).
  const std::vector<std::int16_t> s =
      Runs({{1000, -kLoud}, {600, kQuiet}, {5, kLoud}, {599, -kQuiet}, {1, -32768}, {700, 0}});
  for (std::size_t feed : {1u, 7u, 256u, 100000u}) {
    SCOPED_TRACE(feed);
    const std::vector<Silence> found = Detect(s, 600, 1, feed);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Start, 1000);
    EXPECT_EQ(found[0].End, 1600);
    EXPECT_EQ(found[1].Start, 2205);
    EXPECT_EQ(found[1].End, 2905);
  }
  // A silence shorter than a block, between loud samples of one block.
  const std::vector<Silence> tiny = Detect(Runs({{3, kLoud}, {4, 0}, {3, kLoud}}), 4, 1, 10);
  ASSERT_EQ(tiny.size(), 1u);
  EXPECT_EQ(tiny[0].Start, 3);
  EXPECT_EQ(tiny[0].End, 7);
}

TEST(SilenceDetector, OneLoudChannelIsNoSilenceAndPositionsCountSampleFrames) {
  // Stereo: left silent throughout, right loud in frames 0-9 and 300-309.
  std::vector<std::int16_t> s(2 * 400, 0);
  for (int f : {0, 9, 300, 309}) s[static_cast<std::size_t>(2 * f + 1)] = kLoud;
  const std::vector<Silence> found = Detect(s, 200, 2, 64);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Start, 10);
  EXPECT_EQ(found[0].End, 300);  // the trailing 90 frames are too short
}

TEST(SilencePoints, MiddlesOfInnerSilencesThenShortPiecesJoin) {
  SilenceScan scan;
  scan.SampleRate = 1000;
  scan.Samples = 100'000;
  // A leading and a trailing silence never split; inner ones split in the middle.
  scan.Silences = {{0, 2000}, {19'000, 21'000}, {40'000, 42'000}, {45'000, 47'000}, {98'000, 100'000}};
  EXPECT_EQ(SplitPointsFromSilences(scan, 0), (std::vector<std::int64_t>{20'000, 41'000, 46'000}));
  // Pieces 20, 21, 5, 54 s with a 10 s minimum: the 5 s piece joins the
  // shorter of its neighbours, the one before it.
  EXPECT_EQ(SplitPointsFromSilences(scan, 10'000), (std::vector<std::int64_t>{20'000, 46'000}));
  scan.Silences = {{1'000, 3'000}, {60'000, 62'000}};  // pieces 2, 59, 39 s: the first joins the second
  EXPECT_EQ(SplitPointsFromSilences(scan, 10'000), (std::vector<std::int64_t>{61'000}));
  EXPECT_EQ(SplitPointsFromSilences(scan, 100'000), std::vector<std::int64_t>{});  // one piece is left
  scan.Silences = {{96'000, 98'000}};  // the last piece, 3 s, joins the one before
  EXPECT_EQ(SplitPointsFromSilences(scan, 10'000), std::vector<std::int64_t>{});
}

// The joining, step by step as it is meant: the shortest piece (the first of
// equals) joins the shorter of its neighbours (the one before on a tie) while
// it is shorter than the minimum.
std::vector<std::int64_t> JoinedOneByOne(std::vector<std::int64_t> bounds, std::int64_t minimum) {
  while (bounds.size() > 2) {
    std::size_t k = 0;
    for (std::size_t i = 1; i + 1 < bounds.size(); ++i)
      if (bounds[i + 1] - bounds[i] < bounds[k + 1] - bounds[k]) k = i;
    if (bounds[k + 1] - bounds[k] >= minimum) break;
    const bool left = k + 2 == bounds.size() || (k > 0 && bounds[k] - bounds[k - 1] <= bounds[k + 2] - bounds[k + 1]);
    bounds.erase(bounds.begin() + static_cast<std::ptrdiff_t>(left ? k : k + 1));
  }
  return std::vector<std::int64_t>(bounds.begin() + 1, bounds.end() - 1);
}

// Random pieces join as one by one; a hundred thousand of them join in a
// moment, and a set cancel flag stops the joining.
TEST(SilencePoints, ManyPiecesJoinAsOneByOneQuicklyAndStopWhenCancelled) {
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::uint32_t most) { return (seed = seed * 1103515245 + 12345) >> 8 & (most - 1); };
  for (int round = 0; round < 50; ++round) {
    SilenceScan scan;
    std::vector<std::int64_t> bounds{0};
    std::int64_t at = 100;
    for (std::uint32_t k = 0, n = 1 + next(64); k < n; ++k) {
      scan.Silences.push_back({at, at + 2});
      bounds.push_back(at + 1);
      at += 3 + next(32);
    }
    scan.Samples = at + 100;
    bounds.push_back(scan.Samples);
    const std::int64_t minimum = 1 + next(64);
    EXPECT_EQ(SplitPointsFromSilences(scan, minimum), JoinedOneByOne(bounds, minimum)) << round;
  }
  SilenceScan many;
  for (std::int64_t k = 1; k <= 100'000; ++k) many.Silences.push_back({k * 10, k * 10 + 2});
  many.Samples = 100'001 * 10;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SplitPointsFromSilences(many, 1'000'000).size(), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const std::atomic<bool> cancel{true};
  EXPECT_TRUE(SplitPointsFromSilences(many, 100, &cancel).empty());
  // Uncancelled, every piece is as long as the minimum.
  std::vector<std::int64_t> points = SplitPointsFromSilences(many, 100);
  ASSERT_GT(points.size(), 1000u);
  points.insert(points.begin(), 0);
  points.push_back(many.Samples);
  for (std::size_t i = 1; i < points.size(); ++i) EXPECT_GE(points[i] - points[i - 1], 100) << i;
}

class SilenceOnTheAlbum : public testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() {
    dir_ = albumtest::TempDir();
    made_ = albumtest::MakeAlbum(dir_);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
  static std::string dir_;
  static bool made_;
};
std::string SilenceOnTheAlbum::dir_;
bool SilenceOnTheAlbum::made_ = false;

TEST_P(SilenceOnTheAlbum, FindsTheFourTrackBoundariesWithinATenthOfASecond) {
  ASSERT_TRUE(made_);
  const std::string path = dir_ + "/" + GetParam();
  SilenceScan scan;
  std::string error;
  std::int64_t lastDone = -1, total = 0;
  int calls = 0;
  SilenceSettings settings;
  ASSERT_TRUE(FindSilences(path, settings, scan, error,
                           [&](std::int64_t done, std::int64_t all) {
                             EXPECT_GE(done, lastDone);
                             lastDone = done;
                             total = all;
                             ++calls;
                           }))
      << error;
  EXPECT_GE(calls, 2);
  EXPECT_EQ(lastDone, total);
  EXPECT_EQ(scan.SampleRate, 44100);
  // The decoded length is the album's: gapless decoding drops the encoder's
  // delay and padding.
  EXPECT_NEAR(static_cast<double>(scan.Samples) / 44100, albumtest::kAlbumSeconds, 0.001);
  // The 1 s at each end is too short to count; pieces of 5 s and more stay.
  settings.MinPieceNs = 4'000'000'000;
  const std::vector<std::int64_t> points = SplitPointsFromSilences(scan, NanosecondsToSamples(settings.MinPieceNs, 44100));
  ASSERT_EQ(points.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_NEAR(static_cast<double>(points[i]) / 44100, albumtest::kTrackStarts[i + 1], 0.1) << i;
  // With the default 10 s minimum the pieces join up.
  EXPECT_LT(SplitPointsFromSilences(scan, 441'000).size(), 4u);

  // A threshold above the tones' -6 dBFS peaks takes the whole album for one
  // silence, which splits nothing.
  settings.ThresholdDb = -3;
  ASSERT_TRUE(FindSilences(path, settings, scan, error)) << error;
  ASSERT_EQ(scan.Silences.size(), 1u);
  EXPECT_EQ(scan.Silences[0].Start, 0);
  EXPECT_EQ(scan.Silences[0].End, scan.Samples);
  EXPECT_TRUE(SplitPointsFromSilences(scan, 0).empty());
}

INSTANTIATE_TEST_SUITE_P(CbrAndVbr, SilenceOnTheAlbum, testing::Values("album-cbr.mp3", "album-vbr.mp3"));

TEST(SilenceSearch, RefusesWhatCannotBeDecodedAndStopsWhenCancelled) {
  const std::string dir = albumtest::TempDir();
  SilenceScan scan;
  std::string error;
  EXPECT_FALSE(FindSilences(dir + "/missing.mp3", {}, scan, error));
  EXPECT_NE(error.find("missing.mp3"), std::string::npos) << error;
  EXPECT_FALSE(FindSilences(dir, {}, scan, error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  ASSERT_TRUE(albumtest::MakeAlbum(dir));
  const std::atomic<bool> cancel{true};
  EXPECT_FALSE(FindSilences(dir + "/album-cbr.mp3", {}, scan, error, {}, &cancel));
  EXPECT_NE(error.find("interrupted"), std::string::npos) << error;
  // A file that shrinks while it is decoded gives no points of a file that
  // is no more.
  const std::string shrinking = dir + "/album-cbr.mp3";
  bool cut = false;
  // At a frame's header: the stream then ends cleanly, with fewer frames.
  std::ifstream bytes(shrinking, std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(bytes)), std::istreambuf_iterator<char>());
  const std::size_t half = whole.find("\xFF\xFB", whole.size() / 2);
  ASSERT_NE(half, std::string::npos);
  EXPECT_FALSE(FindSilences(shrinking, {}, scan, error, [&](std::int64_t, std::int64_t) {
    if (!cut) cut = ::truncate(shrinking.c_str(), static_cast<off_t>(half)) == 0;
  }));
  EXPECT_TRUE(cut);
  EXPECT_NE(error.find(shrinking + ": the file changed while it was decoded"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

}  // namespace
