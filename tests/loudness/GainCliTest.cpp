// --gain, --fade-in and --fade-out through kerfwell-cut, as a user runs them:
// decoded by ffmpeg and measured.

#include <cmath>

#include "tests/cli/CliRunner.h"
#include "tests/gapless/DecodeSupport.h"

namespace {

using clitest::CliRun;
using clitest::Contains;
using clitest::Outcome;

double Rms(const gapless_test::Pcm& pcm, std::size_t from, std::size_t to) {
  double sum = 0;
  to = std::min(to, pcm.size());
  for (std::size_t i = from; i < to; ++i) sum += double(pcm[i]) * pcm[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0;
}
double Db(double a, double b) { return 20 * std::log10(a / b); }

class GainCli : public CliRun {};

TEST_F(GainCli, GainAndFadesAreHeardAsAskedAndCostNoByte) {
  const std::string song = gapless_test::MakeFixture(dir_, gapless_test::kFixtures[2]);  // lame -V 2, 48 kHz
  ASSERT_FALSE(song.empty());
  const std::string range = song + "@0:00.5-0:03.5";
  ASSERT_EQ(Exec({"cut", "-q", "-o", Path("plain.mp3"), range}).Status, 0);
  const gapless_test::Pcm plain = gapless_test::Ffmpeg(Path("plain.mp3"));
  const double body = Rms(plain, 0, plain.size());

  Outcome r = Exec({"cut", "-q", "--gain", "-6dB", "-o", Path("quiet.mp3"), range});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(std::filesystem::file_size(Path("quiet.mp3")), std::filesystem::file_size(Path("plain.mp3")));
  EXPECT_NEAR(Db(Rms(gapless_test::Ffmpeg(Path("quiet.mp3")), 0, plain.size()), body), -6.02, 0.1);

  r = Exec({"cut", "-q", "--fade-in", "1", "--fade-out=1s", "-o", Path("faded.mp3"), range});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(std::filesystem::file_size(Path("faded.mp3")), std::filesystem::file_size(Path("plain.mp3")));
  const gapless_test::Pcm faded = gapless_test::Ffmpeg(Path("faded.mp3"));
  ASSERT_EQ(faded.size(), plain.size());
  const std::size_t window = 2 * 48000 / 20;  // 50 ms, both channels
  EXPECT_LT(Db(Rms(faded, 0, window), body), -30) << "the first 50 ms";
  EXPECT_LT(Db(Rms(faded, faded.size() - window, faded.size()), body), -30) << "the last 50 ms";
  // Between the fades (and the granule that overlaps each), the plain cut.
  const std::size_t from = 2 * (48000 + 2 * 576), to = faded.size() - 2 * (48000 + 2 * 576);
  std::size_t differing = 0;
  for (std::size_t i = from; i < to; ++i) differing += faded[i] != plain[i];
  EXPECT_EQ(differing, 0u);
}

TEST_F(GainCli, WhatCannotBeDoneIsSaid) {
  const std::string mp3 = clitest::Data("cbr128.mp3"), mp2 = clitest::Data("mpeg1-l2.mp2");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
    bool made;
  } cases[] = {
      {{"--gain", "loud", mp3}, 2, "--gain loud: expected decibels", false},
      {{"--fade-in", "40", mp3}, 2, "up to 30 seconds", false},
      {{"--fade-out", "0", mp3}, 2, "a length above 0", false},
      {{"--gain", "-6", mp2}, 1, "change Layer III streams only", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const std::string out = Path("out.mp3");
    std::filesystem::remove(out);
    std::vector<std::string> args{"cut", "-q", "-o", out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome r = Exec(args);
    EXPECT_EQ(r.Status, c.status) << r.Err;
    EXPECT_TRUE(Contains(r.Err, c.says)) << r.Err;
    EXPECT_EQ(std::filesystem::exists(out), c.made);
  }
}

}  // namespace
