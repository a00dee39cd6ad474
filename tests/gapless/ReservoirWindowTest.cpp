// The reservoir walk reads the bytes of the frames near what it measures
// only, and ends soon after it. Judged against a reading of every frame of
// real encoder output, including MPEG-2 at 8 kbps, whose frames hold 11
// bytes of main data, so that main_data_begin reaches tens of frames back.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DecodeSupport.h"
#include "gapless/GaplessStream.h"
#include "gapless/SideInfo.h"
#include "stream/Scanner.h"

namespace {

using namespace gapless_test;

// One audio frame as a reading of the whole file sees it.
struct AudioFrame {
  std::int64_t Position = 0;
  std::int32_t Index = 0;
  std::int32_t Capacity = 0;
  std::int32_t MainDataBegin = 0;
  std::vector<std::uint8_t> MainData;
  std::uint8_t Header[4] = {};
};

// What a copy starting at `target` needs, from all frames before it, in the
// simplest terms: each frame after it walks back through every frame before.
ReservoirReach Oracle(const std::vector<AudioFrame>& frames, std::int64_t target) {
  ReservoirReach r;
  r.FirstNeeded = target;
  std::int64_t capacity = 0, carry = 0;
  for (std::int64_t k = target; k < static_cast<std::int64_t>(frames.size()) && capacity <= 511; ++k) {
    const AudioFrame& f = frames[static_cast<std::size_t>(k)];
    std::int64_t holding = k;
    std::int32_t need = f.MainDataBegin;
    for (std::int64_t j = k - 1; need > 0; --j) {
      if (j < 0 || k - j > ReservoirTracker::kKept) {
        holding = 0;  // more than the stream ever held
        break;
      }
      need -= frames[static_cast<std::size_t>(j)].Capacity;
      holding = j;
    }
    r.FirstNeeded = std::min(r.FirstNeeded, holding);
    if (holding < target) r.LastLacking = k;
    carry = std::max(carry, f.MainDataBegin - capacity);
    capacity += f.Capacity;
  }
  std::vector<std::uint8_t> before;
  for (std::int64_t j = 0; j < target; ++j) {
    const auto& d = frames[static_cast<std::size_t>(j)].MainData;
    before.insert(before.end(), d.begin(), d.end());
  }
  const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>({carry, 512, static_cast<std::int64_t>(before.size())}));
  r.Carried.assign(before.end() - static_cast<std::ptrdiff_t>(n), before.end());
  return r;
}

class ReservoirWindow : public testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-window-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
    source_ = MakeFixture(dir_, GetParam());
    ASSERT_FALSE(source_.empty()) << GetParam().Make;
    std::string error;
    ASSERT_TRUE(ProbeFile(source_, reference_, error)) << error;
    ASSERT_TRUE(ReadGaplessStream(source_, reference_, stream_, error)) << error;
    const std::string bytes = clitestSlurp(source_);
    ScanOptions any;
    any.AnyBitRate = true;
    ASSERT_TRUE(WalkFrames(
        source_, reference_, any,
        [&](const FrameVisit& v) {
          if (!v.Whole || !v.Fits || v.Index < stream_.FirstAudioFrame) return true;
          const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data()) + v.Position;
          Layer3SideInfo side;
          EXPECT_TRUE(ParseLayer3SideInfo(b, static_cast<std::size_t>(v.Length), side));
          AudioFrame f;
          f.Position = v.Position;
          f.Index = v.Index;
          f.Capacity = MainDataCapacity(v.Length, side);
          f.MainDataBegin = side.MainDataBegin;
          f.MainData.assign(b + side.HeaderBytes + side.SideInfoBytes, b + v.Length);
          std::copy(b, b + 4, f.Header);
          frames_.push_back(f);
          return true;
        },
        error))
        << error;
    ASSERT_EQ(static_cast<std::int64_t>(frames_.size()), stream_.AudioFrames);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::string clitestSlurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  // Every frame's reach as the walk measures it, one target per walk.
  void ExpectEveryFrameAsTheOracle() {
    std::int64_t deepest = 0;
    for (std::int64_t t = 0; t < stream_.AudioFrames; ++t) {
      const ReservoirReach want = Oracle(frames_, t);
      deepest = std::max(deepest, t - want.FirstNeeded);
      std::vector<ReservoirReach> reach;
      std::string error;
      WalkAround around;
      ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, {t}, reach, error, &around)) << error;
      EXPECT_EQ(reach[0].FirstNeeded, want.FirstNeeded) << "frame " << t;
      EXPECT_EQ(reach[0].LastLacking, want.LastLacking) << "frame " << t;
      EXPECT_TRUE(reach[0].Carried == want.Carried) << "frame " << t << ": " << reach[0].Carried.size()
                                                    << " bytes carried, " << want.Carried.size() << " wanted";
      EXPECT_TRUE(std::equal(reach[0].Header, reach[0].Header + 4, frames_[static_cast<std::size_t>(t)].Header));
      if (HasFailure()) return;
    }
    deepest_ = deepest;
  }

  std::string dir_, source_;
  FrameHeader reference_;
  GaplessStream stream_;
  std::vector<AudioFrame> frames_;
  std::int64_t deepest_ = 0;
};

TEST_P(ReservoirWindow, EveryFrameMeasuresAsAReadingOfTheWholeFile) {
  ExpectEveryFrameAsTheOracle();
  // The window must have something to get wrong: main data that begins
  // frames back.
  EXPECT_GE(deepest_, std::string(GetParam().Name) == "lame-mpeg2-8kbps-mono" ? 8 : 2)
      << "how far back the fixture's reservoir reaches";
}

TEST_P(ReservoirWindow, TargetsFarApartMeasureAsEachAlone) {
  // Between targets the frames are passed unread; the walk starts its
  // count of frames afresh before each, and must not join them.
  const std::int64_t n = stream_.AudioFrames;
  ASSERT_GT(n, ReservoirTracker::kKept + 30);
  std::vector<std::int64_t> targets = {n - 5, 3, n / 2, n / 2 + 1, 20, 22 + ReservoirTracker::kKept, 10};
  std::vector<ReservoirReach> reach;
  std::string error;
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, targets, reach, error)) << error;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const ReservoirReach want = Oracle(frames_, targets[i]);
    EXPECT_EQ(reach[i].FirstNeeded, want.FirstNeeded) << "frame " << targets[i];
    EXPECT_EQ(reach[i].LastLacking, want.LastLacking) << "frame " << targets[i];
    EXPECT_TRUE(reach[i].Carried == want.Carried) << "frame " << targets[i];
  }
}

TEST_P(ReservoirWindow, TheWalkStopsAfterItsTargetAndKeepsWhereFramesLie) {
  const std::int64_t n = stream_.AudioFrames;
  const std::int64_t t = n / 3;
  std::vector<ReservoirReach> reach;
  std::string error;
  WalkAround around;
  around.PlacesFrom = t - 3;
  around.PlacesTo = t;
  around.WalkTo = t + 2;
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, {t}, reach, error, &around)) << error;
  EXPECT_FALSE(around.ReachedEnd);
  EXPECT_GE(around.AudioFrames, t + 3);
  EXPECT_LT(around.AudioFrames, n);
  ASSERT_EQ(around.Places.size(), 4u);
  for (const FramePlace& p : around.Places) {
    const AudioFrame& f = frames_[static_cast<std::size_t>(p.Audio)];
    EXPECT_EQ(p.Position, f.Position);
    EXPECT_EQ(p.Index, f.Index);
    EXPECT_TRUE(std::equal(p.Header, p.Header + 4, f.Header));
  }
  // Asked to go past the end, it meets it and counts the stream.
  around = WalkAround{};
  around.WalkTo = n + 10;
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, {t}, reach, error, &around)) << error;
  EXPECT_TRUE(around.ReachedEnd);
  EXPECT_EQ(around.AudioFrames, n);
}

// A split plans --every without a list of its pieces: the targets are asked
// for on the way, the walk goes to the end and counts the stream as a count
// of the file does.
TEST_P(ReservoirWindow, TargetsAskedForOnTheWayMeasureAsAListOfThem) {
  const std::int64_t n = stream_.AudioFrames;
  const std::int64_t step = std::max<std::int64_t>(1, n / 7);
  std::vector<std::int64_t> asked;
  std::int64_t next = step;
  WalkAround around;
  around.More = [&](std::int64_t& frame) {
    // One past the end at most, as a split asks.
    if (!asked.empty() && asked.back() >= n) return false;
    frame = next;
    next += step;
    asked.push_back(frame);
    return true;
  };
  std::vector<ReservoirReach> reach;
  std::string error;
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, {0}, reach, error, &around)) << error;
  EXPECT_TRUE(around.ReachedEnd);
  EXPECT_EQ(around.AudioFrames, n);
  ScanOptions any;
  any.AnyBitRate = true;
  EXPECT_EQ(around.Counted, ScanFrames(source_, "", 0, 0, true, reference_, {}, any).Count);
  ASSERT_GE(asked.size(), 2u);
  EXPECT_GE(asked.back(), n);  // the last asked for lies after the end
  ASSERT_EQ(reach.size(), asked.size() + 1);
  std::vector<std::int64_t> listed{0};
  listed.insert(listed.end(), asked.begin(), asked.end() - 1);
  std::vector<ReservoirReach> want;
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, listed, want, error)) << error;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(listed[i]));
    EXPECT_EQ(reach[i].FirstNeeded, want[i].FirstNeeded);
    EXPECT_EQ(reach[i].LastLacking, want[i].LastLacking);
    EXPECT_TRUE(reach[i].Carried == want[i].Carried);
    EXPECT_EQ(reach[i].FirstNeeded, Oracle(frames_, listed[i]).FirstNeeded);
  }
}

// A signal must be able to end a split while it plans: both walks look at
// the flag, stop, and say so by their result.
TEST_P(ReservoirWindow, ASetCancelFlagEndsBothWalks) {
  std::atomic<bool> cancel{true};
  std::string error;
  GaplessStream stream;
  EXPECT_FALSE(ReadGaplessStream(source_, reference_, stream, error, true, &cancel));
  EXPECT_EQ(error, kWalkInterrupted);
  error.clear();
  std::vector<ReservoirReach> reach;
  WalkAround around;
  around.WalkTo = stream_.AudioFrames + 10;
  EXPECT_FALSE(MeasureReservoir(source_, reference_, stream_, {stream_.AudioFrames / 2}, reach, error, &around,
                                &cancel));
  EXPECT_EQ(error, kWalkInterrupted);
  EXPECT_FALSE(around.ReachedEnd);
  EXPECT_LT(around.AudioFrames, stream_.AudioFrames);
  // Unset, the same walks go through.
  cancel = false;
  error.clear();
  ASSERT_TRUE(ReadGaplessStream(source_, reference_, stream, error, true, &cancel)) << error;
  EXPECT_EQ(stream.AudioFrames, stream_.AudioFrames);
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, {stream_.AudioFrames / 2}, reach, error, &around,
                               &cancel))
      << error;
  EXPECT_TRUE(around.ReachedEnd);
}

TEST_P(ReservoirWindow, ACopyResumedWhereTheWalkMetAFrameIsTheSameCopy) {
  // Each frame of a stretch: the scan that goes on from where the walk
  // found it writes the bytes and counts the frames of the scan from the
  // file's start.
  const std::int64_t n = stream_.AudioFrames;
  for (const std::int64_t t : {std::int64_t{1}, n / 2, n - 1}) {
    const AudioFrame& f = frames_[static_cast<std::size_t>(t)];
    const std::int32_t stop = f.Index + 30;
    const std::string plain = dir_ + "/plain.mp3", resumed = dir_ + "/resumed.mp3";
    std::filesystem::remove(plain);
    std::filesystem::remove(resumed);
    ScanOptions options;
    options.EndAfterRange = true;
    const ScanResult a = ScanFrames(source_, plain, f.Index, stop, false, reference_, {}, options);
    options.Resume.Position = f.Position;
    options.Resume.Index = f.Index;
    std::copy(f.Header, f.Header + 4, options.Resume.Header);
    const ScanResult b = ScanFrames(source_, resumed, f.Index, stop, false, reference_, {}, options);
    ASSERT_TRUE(a.Ok() && b.Ok()) << a.Message << b.Message;
    EXPECT_EQ(b.Count, a.Count) << "frame " << t;
    EXPECT_EQ(b.Written, a.Written) << "frame " << t;
    EXPECT_EQ(b.FramesAfterRange, a.FramesAfterRange) << "frame " << t;
    EXPECT_TRUE(clitestSlurp(resumed) == clitestSlurp(plain)) << "frame " << t;
    // A file whose bytes there are not the frame's any more (it changed
    // since the walk) is walked from its start.
    std::filesystem::remove(resumed);
    options.Resume.Position = f.Position + 1;
    const ScanResult c = ScanFrames(source_, resumed, f.Index, stop, false, reference_, {}, options);
    EXPECT_EQ(c.Count, a.Count) << "frame " << t;
    EXPECT_TRUE(clitestSlurp(resumed) == clitestSlurp(plain)) << "frame " << t;
  }
}

const Fixture kWindowFixtures[] = {
    // 24 bytes a frame, 11 of them main data: the reservoir's 255 bytes lie
    // in the 23 frames before.
    {"lame-mpeg2-8kbps-mono", "lame --quiet -b 8 -m m --resample 24 $W $O", 24000, 1},
    {"lame-mpeg2-24k-32kbps", "lame --quiet -b 32 $W $O", 24000, 2},
    {"lame-32k-mono-32kbps", "lame --quiet -b 32 -m m --resample 32 $W $O", 32000, 1},
};

std::string Named(const testing::TestParamInfo<Fixture>& info) {
  std::string n = info.param.Name;
  std::replace(n.begin(), n.end(), '-', '_');
  return n;
}

INSTANTIATE_TEST_SUITE_P(LowBitRates, ReservoirWindow, testing::ValuesIn(kWindowFixtures), Named);

}  // namespace
