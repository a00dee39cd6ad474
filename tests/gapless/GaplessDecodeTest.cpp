// Sample-exact cuts judged by real decoders: files made at test time by lame
// and ffmpeg, cut by the planner, decoded by ffmpeg and mpg123, and compared
// sample by sample with the decoded original at the same instants.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DecodeSupport.h"
#include "GaplessTestWriter.h"

namespace {

using namespace gapless_test;

class GaplessDecode : public testing::TestWithParam<Fixture> {
 protected:
  static void SetUpTestSuite() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-gapless-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  static void TearDownTestSuite() {
    if (std::getenv("KERFWELL_KEEP_CUTS") == nullptr) std::filesystem::remove_all(dir_);
  }

  void SetUp() override {
    const Fixture& f = GetParam();
    source_ = MakeFixture(dir_, f);
    ASSERT_FALSE(source_.empty()) << f.Make;
    std::string error;
    ASSERT_TRUE(ProbeFile(source_, reference_, error)) << error;
    ASSERT_TRUE(ReadGaplessStream(source_, reference_, stream_, error)) << error;
    channels_ = reference_.Mode == 3 ? 1 : 2;
    whole_ = Ffmpeg(source_);
    wholeMpg_ = Mpg123(source_);
    // Without a tag both decoders play every decoded sample, the decoder's
    // delay too: the player's clock starts at the decoder's.
    ASSERT_EQ(static_cast<std::int64_t>(whole_.size()) / channels_, stream_.Samples());
  }

  // Plans, writes and decodes the range; returns the plan.
  GaplessPlan Cut(const SampleRange& range, const std::string& name, Pcm& ff, Pcm& mpg) {
    std::vector<ReservoirReach> reach;
    std::string error;
    const std::int64_t at = ReachFrame(stream_, std::max<std::int64_t>(0, range.Start));
    EXPECT_TRUE(MeasureReservoir(source_, reference_, stream_, {at}, reach, error)) << error;
    GaplessPlan plan;
    EXPECT_TRUE(PlanGaplessRange(stream_, range, reach.at(0), plan))
        << name << ": " << range.Start << " to " << range.Stop << " of " << stream_.Samples();
    const std::string out = dir_ + "/" + GetParam().Name + "-" + name + ".mp3";
    EXPECT_TRUE(gapless_test::WritePlannedCut(source_, reference_, stream_, plan, out, error)) << error;
    std::string err;
    ff = Ffmpeg(out, &err);
    EXPECT_EQ(err, "") << name;
    mpg = Mpg123(out, &err);
    EXPECT_EQ(err, "") << name << ": mpg123";
    EXPECT_LE(plan.PreRoll, 4) << name << ": more than mpg123 decodes ahead";
    if (std::getenv("KERFWELL_KEEP_CUTS") == nullptr) std::filesystem::remove(out);
    return plan;
  }

  // The cut of [start, stop) decodes to exactly those samples of the whole.
  void ExpectExact(const SampleRange& range, const std::string& name) {
    Pcm ff, mpg;
    const GaplessPlan plan = Cut(range, name, ff, mpg);
    EXPECT_FALSE(plan.PreRollLimited()) << name;
    const Difference d = Compare(ff, whole_, channels_, plan.Start, plan.Stop);
    EXPECT_EQ(d.Samples, d.Expected) << name << ": ffmpeg's length";
    EXPECT_EQ(d.Differing, 0) << name << ": ffmpeg, largest difference " << d.Largest;
    // mpg123's synthesis rounds the last bit by the phase of its ring
    // buffer, which depends on how many frames it decoded before: one step
    // at most, and only at the same instants.
    const Difference m = Compare(mpg, wholeMpg_, channels_, plan.Start, plan.Stop);
    EXPECT_EQ(m.Samples, m.Expected) << name << ": mpg123's length";
    EXPECT_LE(m.Largest, 1) << name << ": mpg123";
  }

  std::int64_t Rate() const { return stream_.SampleRate; }

  static std::string dir_;
  std::string source_;
  FrameHeader reference_;
  GaplessStream stream_;
  int channels_ = 2;
  Pcm whole_, wholeMpg_;
};
std::string GaplessDecode::dir_;

TEST_P(GaplessDecode, TimeCutAtFrameEdgesDecodesToTheSameSamples) {
  const std::int64_t edge1 = FirstSampleOfFrame(stream_, stream_.FirstAudioFrame + 40);
  const std::int64_t edge2 = FirstSampleOfFrame(stream_, stream_.FirstAudioFrame + 90);
  ExpectExact({edge1, edge2}, "edges");
}

TEST_P(GaplessDecode, TimeCutInsideFramesDecodesToTheSameSamples) {
  ExpectExact({Rate() * 13 / 10 + 37, Rate() * 271 / 100}, "inside");
  ExpectExact({Rate() / 100, Rate() * 3 / 2}, "near-start");
  ExpectExact({Rate() * 2 + 5}, "to-end");
}

TEST_P(GaplessDecode, SplitPiecesPlayedBackToBackAreTheWhole) {
  const std::vector<std::int64_t> points = {
      Rate() * 7 / 10 + 11, FirstSampleOfFrame(stream_, stream_.FirstAudioFrame + stream_.AudioFrames / 2),
      Rate() * 3 + 577};
  Pcm joined, joinedMpg;
  std::int64_t from = 0;
  for (std::size_t i = 0; i <= points.size(); ++i) {
    const SampleRange range{from, i < points.size() ? points[i] : -1};
    Pcm ff, mpg;
    const GaplessPlan plan = Cut(range, "piece" + std::to_string(i), ff, mpg);
    if (i == 0) {
      EXPECT_EQ(plan.EncoderDelay, stream_.EncoderDelay) << "the first piece keeps the delay";
    }
    if (i == points.size()) {
      EXPECT_EQ(plan.EndPadding, stream_.EndPadding) << "the last keeps the padding";
    }
    joined.insert(joined.end(), ff.begin(), ff.end());
    joinedMpg.insert(joinedMpg.end(), mpg.begin(), mpg.end());
    if (i < points.size()) from = points[i];
  }
  // The whole, but for the decoder's first samples of a stream without a tag:
  // its players play them, a copy's decoder makes them before its first.
  const std::int64_t first = stream_.Declared ? 0 : kDecoderDelay;
  const Pcm played(whole_.begin() + first * channels_, whole_.end());
  EXPECT_EQ(joined.size(), played.size());
  EXPECT_TRUE(joined == played) << "ffmpeg: the pieces differ from the whole";
  const Difference m = Compare(joinedMpg, wholeMpg_, channels_, first, stream_.Samples());
  EXPECT_EQ(m.Samples, m.Expected);
  EXPECT_LE(m.Largest, 1);
}

// At 32 kbps a frame holds little, so main data reaches several frames back:
// copying those frames would need more delay than the tag's 12 bits hold.
// One carrier frame holds their bytes instead, and the cut decodes exactly.
class GaplessDeepReservoir : public GaplessDecode {};

TEST_P(GaplessDeepReservoir, ReservoirReachingFramesBackIsCarried) {
  std::vector<std::int64_t> frames;
  for (std::int64_t k = stream_.OverlapFrames(); k < stream_.AudioFrames - 10; ++k) frames.push_back(k);
  std::vector<ReservoirReach> reach;
  std::string error;
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, frames, reach, error)) << error;
  std::size_t deepest = 0;
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (frames[i] - reach[i].FirstNeeded > frames[deepest] - reach[deepest].FirstNeeded) deepest = i;
  const std::int64_t back = frames[deepest] - reach[deepest].FirstNeeded;
  ASSERT_GE(back, 3) << "the reservoir reaches three frames back";
  // A range whose first sample lies late in the frame whose output that
  // frame's overlap reaches: copying the frames would need a delay of
  // (back + overlap) frames and more.
  const std::int64_t start = FirstSampleOfFrame(stream_, stream_.FirstAudioFrame + frames[deepest] +
                                                             stream_.OverlapFrames()) + stream_.SamplesPerFrame - 20;
  ASSERT_GT((back + stream_.OverlapFrames()) * stream_.SamplesPerFrame, kLargestTagDelay);
  Pcm ff, mpg;
  const GaplessPlan plan = Cut({start, start + Rate() / 2}, "deep", ff, mpg);
  EXPECT_FALSE(plan.Carrier.empty());
  EXPECT_EQ(plan.PreRoll, stream_.OverlapFrames() + 1);
  const Difference d = Compare(ff, whole_, channels_, plan.Start, plan.Stop);
  EXPECT_EQ(d.Samples, d.Expected);
  EXPECT_EQ(d.Differing, 0) << "largest difference " << d.Largest;
  const Difference m = Compare(mpg, wholeMpg_, channels_, plan.Start, plan.Stop);
  EXPECT_EQ(m.Samples, m.Expected);
  EXPECT_LE(m.Largest, 1);
}

std::string FixtureName(const testing::TestParamInfo<Fixture>& info) {
  std::string n = info.param.Name;
  std::replace(n.begin(), n.end(), '-', '_');
  return n;
}

INSTANTIATE_TEST_SUITE_P(Files, GaplessDecode, testing::ValuesIn(kFixtures), FixtureName);
INSTANTIATE_TEST_SUITE_P(LowBitRate, GaplessDeepReservoir,
                         testing::Values(kFixtures[std::size(kFixtures) - 1]), FixtureName);

}  // namespace
