// global_gain rewritten as frames pass: the decode is the plain copy's decode
// scaled by 2^(steps/4), to the decoder's rounding; the file keeps its size
// and its bytes outside the side information; a fade rises and falls with
// no step back and leaves the music between the fades as it was.

#include <gtest/gtest.h>

#include <cmath>

#include "loudness/GainSink.h"
#include "loudness/GlobalGain.h"
#include "stream/OutputFile.h"
#include "stream/Scanner.h"
#include "tests/gapless/DecodeSupport.h"

namespace {

using namespace gapless_test;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
std::string Data(const std::string& name) { return std::string(KERFWELL_TEST_DATA) + "/" + name; }

class Gain : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-gain-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Every frame of `in` copied to `out` through a GainSink with `plan`.
  std::int64_t CopyWithGain(const std::string& in, const std::string& out, const GainPlan& plan) {
    FrameHeader reference;
    EXPECT_TRUE(ProbeFile(in, reference));
    OutputFile file;
    std::string error;
    EXPECT_EQ(file.Open(out, error), ScanStatus::Ok) << error;
    GainSink sink(file, plan);
    ScanOptions options;
    options.AnyBitRate = true;
    options.Sink = &sink;
    EXPECT_TRUE(ScanFrames(in, "", 0, std::numeric_limits<std::int32_t>::max(), false, reference, {}, options).Ok());
    EXPECT_TRUE(sink.EndFade(error)) << error;
    return sink.Clamped();
  }
  std::string dir_;
};

double Rms(const Pcm& pcm, std::size_t from, std::size_t to) {
  double sum = 0;
  to = std::min(to, pcm.size());
  for (std::size_t i = from; i < to; ++i) sum += double(pcm[i]) * pcm[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

double Db(double a, double b) { return 20 * std::log10(a / b); }

TEST_F(Gain, MinusSixDecibelsHalvesEverySampleOfEveryKindOfStream) {
  std::vector<Fixture> fixtures(std::begin(kFixtures), std::end(kFixtures));
  fixtures.push_back({"lame-crc", "lame --quiet -p -b 160 $W $O", 44100, 2});
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.Name);
    const std::string in = MakeFixture(dir_, f);
    ASSERT_FALSE(in.empty());
    const std::string plain = dir_ + "/plain.mp3", quiet = dir_ + "/quiet.mp3";
    std::filesystem::remove(plain);
    std::filesystem::remove(quiet);
    EXPECT_EQ(CopyWithGain(in, plain, {}), 0);
    GainPlan half;
    half.Steps = -4;
    EXPECT_EQ(CopyWithGain(in, quiet, half), 0);
    EXPECT_EQ(std::filesystem::file_size(quiet), std::filesystem::file_size(plain));
    const Pcm a = Ffmpeg(plain), b = Ffmpeg(quiet);
    // A frame with a CRC carries one that covers its new side information.
    std::string errors;
    Shell("ffmpeg -nostdin -v error -err_detect crccheck -i '" + quiet + "' -f null -", &errors);
    EXPECT_EQ(errors, "");
    ASSERT_EQ(a.size(), b.size());
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
      largest = std::max(largest, static_cast<int>(std::lround(std::abs(a[i] * 0.5 - b[i]))));
    EXPECT_LE(largest, 1) << "the decoder's rounding, no more";
    EXPECT_NEAR(Db(Rms(b, 0, b.size()), Rms(a, 0, a.size())), -6.02, 0.1);
    // mpg123 hears the same.
    std::string mpgErrors;
    const Pcm c = Mpg123(quiet, &mpgErrors);
    EXPECT_EQ(mpgErrors, "");
    EXPECT_NEAR(Db(Rms(c, 0, c.size()), Rms(a, 0, a.size())), -6.02, 0.15);
  }
}

TEST(GlobalGain, AFieldStopsAtItsEndsAndSaysSo) {
  // The first audio frame of a real file (after its Info frame).
  std::string song = Slurp(Data("cbr128.mp3"));
  auto* frame = reinterpret_cast<std::uint8_t*>(song.data() + 417);
  GainFields fields;
  ASSERT_TRUE(FindGainFields(frame, 417, fields));
  ASSERT_EQ(fields.Count, 4);  // two granules of stereo
  std::int32_t withMusic = 0;
  for (std::int32_t i = 0; i < fields.Count; ++i) withMusic += fields.PartBits[i] > 0;
  const std::int32_t up[2] = {300, 300}, down[2] = {-300, -300};
  EXPECT_EQ(ShiftGains(frame, fields, up), withMusic);
  for (std::int32_t i = 0; i < fields.Count; ++i)
    if (fields.PartBits[i] > 0) {
      EXPECT_EQ(ReadGain(frame, fields, i), 255);
    }
  EXPECT_EQ(ShiftGains(frame, fields, down), withMusic);
  for (std::int32_t i = 0; i < fields.Count; ++i)
    if (fields.PartBits[i] > 0) {
      EXPECT_EQ(ReadGain(frame, fields, i), 0);
    }
}

TEST_F(Gain, FadesRiseAndFallEvenlyAndLeaveTheMusicBetweenThem) {
  const Fixture& f = kFixtures[0];  // 4 s of lame 128 kbps, 44.1 kHz stereo
  const std::string in = MakeFixture(dir_, f);
  ASSERT_FALSE(in.empty());
  const std::string plain = dir_ + "/plain.mp3", faded = dir_ + "/faded.mp3";
  CopyWithGain(in, plain, {});
  const Pcm a = Ffmpeg(plain);
  GainPlan fades;
  fades.FadeInGranules = 77;  // one second
  fades.FadeOutGranules = 77;
  CopyWithGain(in, faded, fades);
  EXPECT_EQ(std::filesystem::file_size(faded), std::filesystem::file_size(plain));
  const Pcm b = Ffmpeg(faded);
  ASSERT_EQ(a.size(), b.size());
  const std::size_t window = 2 * 44100 / 20;  // 50 ms of both channels
  const double body = Rms(a, a.size() / 3, 2 * a.size() / 3);
  EXPECT_LT(Db(Rms(b, 0, window), body), -30) << "the first 50 ms";
  EXPECT_LT(Db(Rms(b, b.size() - window, b.size()), body), -30) << "the last 50 ms";
  // Window by window through each fade: never back by more than the music's own 1 dB.
  const std::size_t fade = 2 * 576 * 77;
  for (std::size_t at = window; at + window <= fade; at += window) {
    const double before = Db(Rms(b, at - window, at), body) - Db(Rms(a, at - window, at), body);
    const double now = Db(Rms(b, at, at + window), body) - Db(Rms(a, at, at + window), body);
    EXPECT_GE(now, before - 1) << "fade-in at sample " << at / 2;
    const std::size_t end = b.size() - at;
    const double later = Db(Rms(b, end, end + window), body) - Db(Rms(a, end, end + window), body);
    const double earlier = Db(Rms(b, end - window, end), body) - Db(Rms(a, end - window, end), body);
    EXPECT_LE(later, earlier + 1) << "fade-out at sample " << end / 2;
  }
  // Between the fades, past the granule that overlaps each: the plain decode.
  const std::size_t settle = 2 * 576 * 2;
  for (std::size_t i = fade + settle; i + fade + settle < b.size(); ++i) ASSERT_EQ(a[i], b[i]) << "sample " << i / 2;
}

}  // namespace
