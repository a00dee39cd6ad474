// Sample-exact cuts judged by real decoders: files made at test time by lame
// and ffmpeg, cut by the planner, decoded by ffmpeg and mpg123, and compared
// sample by sample with the decoded original at the same instants.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "GaplessTestWriter.h"

namespace {

using Pcm = std::vector<std::int16_t>;

std::string Shell(const std::string& command, std::string* err = nullptr) {
  const std::string errFile = std::filesystem::temp_directory_path() / ("gapless-err-" + std::to_string(::getpid()));
  std::string out;
  FILE* p = ::popen((command + " 2>'" + errFile + "'").c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ::pclose(p);
  if (err != nullptr) {
    std::ifstream e(errFile);
    err->assign((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
  }
  std::filesystem::remove(errFile);
  return out;
}

Pcm ToPcm(const std::string& bytes) {
  Pcm pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

// Interleaved 16-bit samples as the decoder plays the file.
Pcm Ffmpeg(const std::string& path, std::string* err = nullptr) {
  return ToPcm(Shell("ffmpeg -nostdin -v error -i '" + path + "' -f s16le -", err));
}
// mpg123 starts decoding --preframes frames (4 unless told) before the
// frame that holds the first sample it plays, and does not keep the
// reservoir of the frames before those: a longer pre-roll (MPEG-2 at low bit
// rates, whose reservoir reaches further back) needs it raised.
constexpr int kMpg123PreFrames = 4;
Pcm Mpg123(const std::string& path, int preRoll = 0) {
  const std::string preframes =
      preRoll > kMpg123PreFrames ? " --preframes " + std::to_string(preRoll) : std::string();
  return ToPcm(Shell("mpg123 -q --gapless" + preframes + " -s '" + path + "'"));
}

struct Difference {
  std::int64_t Samples = 0;  // per channel, of the cut
  std::int64_t Expected = 0;
  int Largest = 0;  // largest difference of a sample over the common length
  std::int64_t Differing = 0;
};

// `cut` against the samples [from, to) of `whole` (per channel).
Difference Compare(const Pcm& cut, const Pcm& whole, int channels, std::int64_t from, std::int64_t to) {
  Difference d;
  d.Samples = static_cast<std::int64_t>(cut.size()) / channels;
  d.Expected = to - from;
  const std::int64_t n = std::min(d.Samples, d.Expected) * channels;
  for (std::int64_t i = 0; i < n; ++i) {
    const int diff = std::abs(cut[static_cast<std::size_t>(i)] - whole[static_cast<std::size_t>(from * channels + i)]);
    d.Largest = std::max(d.Largest, diff);
    d.Differing += diff != 0;
  }
  return d;
}

struct Fixture {
  const char* Name;
  const char* Make;  // shell command; $W is the source wave, $O the output
  int Rate;          // of the wave
  int Channels;
};

// Sources: noise and a sweep, so that the encoder leans on the reservoir.
const Fixture kFixtures[] = {
    {"lame-cbr128", "lame --quiet -b 128 $W $O", 44100, 2},
    {"lame-cbr320", "lame --quiet -b 320 $W $O", 44100, 2},
    {"lame-v2-48k", "lame --quiet -V 2 $W $O", 48000, 2},
    {"lame-abr160-48k", "lame --quiet --abr 160 $W $O", 48000, 2},
    {"lame-cbr96-32k", "lame --quiet -b 96 $W $O", 32000, 2},
    {"lame-mpeg2-22k-mono", "lame --quiet -b 40 -m m $W $O", 22050, 1},
    {"lame-mpeg2-16k-mono", "lame --quiet -b 24 -m m $W $O", 16000, 1},
    {"ffmpeg-cbr128", "ffmpeg -nostdin -v error -i $W -c:a libmp3lame -b:a 128k $O", 44100, 2},
    {"ffmpeg-vbr", "ffmpeg -nostdin -v error -i $W -c:a libmp3lame -q:a 2 $O", 44100, 2},
    {"lame-untagged", "lame --quiet -t -b 128 $W $O", 44100, 2},
    {"lame-32k-mono-32kbps", "lame --quiet -b 32 -m m $W $O", 32000, 1},
};

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
    source_ = dir_ + "/" + f.Name + ".mp3";
    const std::string wave = dir_ + "/" + f.Name + ".wav";
    Shell("sox -n -r " + std::to_string(f.Rate) + " -c " + std::to_string(f.Channels) + " -b 16 '" + wave +
          "' synth 4 pinknoise synth 4 sine mix 200-4000 gain -3");
    std::string make = f.Make;
    make.replace(make.find("$W"), 2, "'" + wave + "'");
    make.replace(make.find("$O"), 2, "'" + source_ + "'");
    Shell(make);
    ASSERT_TRUE(std::filesystem::exists(source_)) << make;
    std::string error;
    ASSERT_TRUE(ProbeFile(source_, reference_, error)) << error;
    ASSERT_TRUE(ReadGaplessStream(source_, reference_, stream_, error)) << error;
    channels_ = reference_.Mode == 3 ? 1 : 2;
    whole_ = Ffmpeg(source_);
    wholeMpg_ = Mpg123(source_);
    // Without a tag both decoders play the decoder's delay too; the clock
    // starts after it.
    if (!stream_.Declared) {
      whole_.erase(whole_.begin(), whole_.begin() + kDecoderDelay * channels_);
      wholeMpg_.erase(wholeMpg_.begin(), wholeMpg_.begin() + kDecoderDelay * channels_);
    }
    ASSERT_EQ(static_cast<std::int64_t>(whole_.size()) / channels_, stream_.Samples());
  }

  // Plans, writes and decodes the range; returns the plan.
  GaplessPlan Cut(const SampleRange& range, const std::string& name, Pcm& ff, Pcm& mpg) {
    std::vector<ReservoirReach> reach;
    std::string error;
    const std::int64_t at = ReachFrame(stream_, std::max<std::int64_t>(0, range.Start));
    EXPECT_TRUE(MeasureReservoir(source_, reference_, stream_, {at}, reach, error)) << error;
    GaplessPlan plan;
    EXPECT_TRUE(PlanGaplessRange(stream_, range, reach.at(0).FirstNeeded, plan))
        << name << ": " << range.Start << " to " << range.Stop << " of " << stream_.Samples();
    const std::string out = dir_ + "/" + GetParam().Name + "-" + name + ".mp3";
    EXPECT_TRUE(gapless_test::WritePlannedCut(source_, reference_, stream_, plan, out, error)) << error;
    std::string err;
    ff = Ffmpeg(out, &err);
    EXPECT_EQ(err, "") << name;
    mpg = Mpg123(out, plan.PreRoll);
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
  EXPECT_EQ(joined.size(), whole_.size());
  EXPECT_TRUE(joined == whole_) << "ffmpeg: the pieces differ from the whole";
  const Difference m = Compare(joinedMpg, wholeMpg_, channels_, 0, stream_.Samples());
  EXPECT_EQ(m.Samples, m.Expected);
  EXPECT_LE(m.Largest, 1);
}

// At 32 kbps a frame holds little, so main data reaches two frames and more
// back: the pre-roll grows beyond the filter-bank overlap, and still decodes
// exactly.
class GaplessDeepReservoir : public GaplessDecode {};

TEST_P(GaplessDeepReservoir, ReservoirReachingFramesBackIsCopiedAlong) {
  std::vector<std::int64_t> frames;
  for (std::int64_t k = stream_.OverlapFrames(); k < stream_.AudioFrames - 10; ++k) frames.push_back(k);
  std::vector<ReservoirReach> reach;
  std::string error;
  ASSERT_TRUE(MeasureReservoir(source_, reference_, stream_, frames, reach, error)) << error;
  std::size_t deepest = 0;
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (frames[i] - reach[i].FirstNeeded > frames[deepest] - reach[deepest].FirstNeeded) deepest = i;
  ASSERT_GE(frames[deepest] - reach[deepest].FirstNeeded, 2) << "the reservoir reaches two frames back";
  // A range whose first sample lies in the frame whose output that frame's
  // overlap reaches, a few samples in.
  const std::int64_t start = FirstSampleOfFrame(stream_, stream_.FirstAudioFrame + frames[deepest] +
                                                             stream_.OverlapFrames()) + 3;
  Pcm ff, mpg;
  const GaplessPlan plan = Cut({start, start + Rate() / 2}, "deep", ff, mpg);
  EXPECT_GE(plan.PreRoll, stream_.OverlapFrames() + 2);
  const Difference d = Compare(ff, whole_, channels_, plan.Start, plan.Stop);
  EXPECT_EQ(d.Samples, d.Expected);
  EXPECT_EQ(d.Differing, 0) << "largest difference " << d.Largest;
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
