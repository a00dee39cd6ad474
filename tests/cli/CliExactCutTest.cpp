// Sample-exact time cuts of VBR files when only frames of the first frame's
// bit rate may be copied: a cut that gets none of its frames into the output
// leaves no output behind (and an old one as it was), as a frame copy of the
// same range does; with --any-bitrate the same cut plays. Judged by ffprobe
// and ffmpeg.

#include <algorithm>
#include <cstdlib>
#include <regex>

#include "CliRunner.h"

namespace {

using namespace clitest;

// The audio frames ffprobe reads from a file, and what it said on standard
// error; -1 when it read no count.
long ProbedFrames(const std::string& path, std::string* complaints = nullptr) {
  const std::string text = Shell(
      "ffprobe -v error -count_frames -select_streams a -show_entries "
      "stream=nb_read_frames -of csv=p=0 '" +
      path + "' 2>&1");
  if (complaints) *complaints = text;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && (*end == '\n' || *end == '\0') ? n : -1;
}

std::string DecodeErrors(const std::string& path) {
  return Shell("ffmpeg -v error -i '" + path + "' -f null - 2>&1");
}

// What ffmpeg decodes, in samples of one channel.
long DecodedSamples(const std::string& path) {
  return static_cast<long>(Shell("ffmpeg -v error -i '" + path + "' -f s16le -ac 1 - 2>/dev/null").size() /
                           2);
}

// The run said that every frame of the range was left out for its bit rate.
bool LeftOutTheWholeRange(const std::string& err) {
  static const std::regex said(
      "(\\d+) of (\\d+) frames of the range were not copied: their bit rate differs from the first frame's");
  std::smatch m;
  return std::regex_search(err, m, said) && m[1] == m[2] && m[1] != "0";
}

// Standard error with the frame counts taken out: a frame copy of a time
// range and the sample-exact cut of it count the range's frames differently.
std::string WithoutNumbers(const std::string& err) {
  return std::regex_replace(err, std::regex("\\d+"), "N");
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name != ".stdout" && name != ".stderr") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CliExactCut : public CliRun {
 protected:
  static void SetUpTestSuite() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-cli-exact-XXXXXX").string();
    fixtures_ = ::mkdtemp(tmpl.data());
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(fixtures_); }
  // Twenty seconds of a tone in noise at 48 kHz. Encoded -V 2, its audio
  // frames are all of other bit rates than the encoder's Info frame, which
  // the cut takes for the first frame; encoded at 128 kbps, all frames are
  // of one. Made when a test first asks (CTest runs each test alone).
  static std::string Fixture(const std::string& name) {
    const std::string f = fixtures_ + "/";
    if (!std::filesystem::exists(f + "s.wav")) {
      Shell(
          "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=20:sample_rate=48000 -f lavfi "
          "-i anoisesrc=color=pink:amplitude=0.3:duration=20:seed=3:sample_rate=48000 "
          "-filter_complex '[0][1]amix=inputs=2' -ac 2 -ar 48000 " +
          f + "s.wav");
    }
    if (!std::filesystem::exists(f + name))
      Shell(std::string(name == "vbr.mp3" ? "lame --silent -V 2 " : "lame --silent -b 128 ") + f + "s.wav " +
            f + name);
    return f + name;
  }
  static std::string fixtures_;
};
std::string CliExactCut::fixtures_;

TEST_F(CliExactCut, AVbrCutThatCopiesNoFrameLeavesNoOutput) {
  const std::string in = Fixture("vbr.mp3") + "@5s-12.5s";
  // The frame copy of the range is what the sample-exact cut must match.
  const std::string out = Path("out.mp3");
  const Outcome frames = Exec({"cut", "--one-bitrate", "--frames", "-o", out, in});
  ASSERT_TRUE(LeftOutTheWholeRange(frames.Err)) << frames.Err;
  EXPECT_EQ(frames.Status, 1);
  EXPECT_TRUE(Contains(frames.Err, "no audio frame reached " + out + "; no output was made")) << frames.Err;
  ASSERT_FALSE(std::filesystem::exists(out));

  const Outcome exact = Exec({"cut", "--one-bitrate", "-o", out, in});
  EXPECT_EQ(exact.Status, 1);
  EXPECT_TRUE(LeftOutTheWholeRange(exact.Err)) << exact.Err;
  EXPECT_TRUE(Contains(exact.Err, "no audio frame reached " + out + "; no output was made")) << exact.Err;
  EXPECT_EQ(WithoutNumbers(exact.Err), WithoutNumbers(frames.Err));
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(FilesIn(dir_), std::vector<std::string>{});  // nothing half-made either

  // Standard output gets no bytes.
  const Outcome piped = Exec({"cut", "--one-bitrate", "-o", "-", in});
  EXPECT_EQ(piped.Status, 1);
  EXPECT_EQ(piped.Out.size(), 0u);
  EXPECT_TRUE(Contains(piped.Err, "no audio frame reached standard output")) << piped.Err;
}

TEST_F(CliExactCut, AVbrCutThatCopiesNoFrameLeavesAnOldOutputAsItWas) {
  const std::string in = Fixture("vbr.mp3");
  const std::string out = Path("old.mp3");
  ASSERT_EQ(Exec({"cut", "-o", out, Fixture("cbr.mp3") + "@1s-3s"}).Status, 0);
  const std::string before = Slurp(out);
  ASSERT_GT(ProbedFrames(out), 0);

  const Outcome r = Exec({"cut", "--one-bitrate", "--overwrite", "-o", out, in + "@5s-12.5s"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(LeftOutTheWholeRange(r.Err)) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "no audio frame reached " + out + "; " + out + " was left as it was")) << r.Err;
  EXPECT_TRUE(Slurp(out) == before);
  EXPECT_EQ(FilesIn(dir_), std::vector<std::string>{"old.mp3"});
}

TEST_F(CliExactCut, TheSameCutWithoutOneBitRatePlaysItsRange) {
  const std::string out = Path("any.mp3");
  const Outcome r = Exec({"cut", "-o", out, Fixture("vbr.mp3") + "@5-12.5"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  std::string complaints;
  // 7.5 s are 312.5 frames of 1152 samples.
  EXPECT_GE(ProbedFrames(out, &complaints), 313) << complaints;
  EXPECT_EQ(DecodeErrors(out), "");
  EXPECT_EQ(DecodedSamples(out), 7'500 * 48);
}

TEST_F(CliExactCut, OtherJobsKeepTheirFrames) {
  const std::string vbr = Fixture("vbr.mp3") + "@5s-12.5s";
  const std::string cbr = Fixture("cbr.mp3") + "@1s-3s";

  // --each: each job a cut of its own; the one that copies nothing makes no file.
  const std::string dir = Path("each");
  Outcome r = Exec({"cut", "--one-bitrate", "--each", "-d", dir, vbr, cbr});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(LeftOutTheWholeRange(r.Err)) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "1 of 2 jobs failed; the others were cut")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir + "/vbr.mp3"));
  std::string complaints;
  EXPECT_GE(ProbedFrames(dir + "/cbr.mp3", &complaints), 84) << complaints;  // 2 s
  EXPECT_EQ(DecodeErrors(dir + "/cbr.mp3"), "");
  EXPECT_EQ(DecodedSamples(dir + "/cbr.mp3"), 2'000 * 48);

  // Several jobs into one output, one of which loses every frame.
  for (const std::vector<std::string>& order : {std::vector<std::string>{vbr, cbr}, {cbr, vbr}}) {
    SCOPED_TRACE(order[0]);
    const std::string joined = Path("joined.mp3");
    std::filesystem::remove(joined);
    r = Exec({"cut", "--one-bitrate", "-o", joined, order[0], order[1]});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(LeftOutTheWholeRange(r.Err)) << r.Err;
    // A run that left frames out does not make its output.
    EXPECT_FALSE(std::filesystem::exists(joined));
  }
}

}  // namespace
