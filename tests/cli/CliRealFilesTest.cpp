// kerfwell-cut on files as encoders and taggers make them, judged by ffmpeg,
// ffprobe and mpg123: VBR and ABR cuts with --any-bitrate, split, --tags and
// standard output.

#include <cmath>
#include <map>

#include "CliRunner.h"
#include "stream/Scanner.h"
#include "stream/XingFrame.h"

namespace {

using namespace clitest;

constexpr double kFrameSeconds = 1152.0 / 44100;

struct Frame {
  std::int64_t Position;
  std::int32_t Length;
};

// The frames of a file as the engine counts them with --any-bitrate.
std::vector<Frame> Frames(const std::string& path) {
  std::vector<Frame> frames;
  FrameHeader reference;
  if (!ProbeFile(path, reference)) return frames;
  ScanOptions options;
  options.AnyBitRate = true;
  std::string error;
  WalkFrames(
      path, reference, options,
      [&](const FrameVisit& v) {
        if (v.Whole) frames.push_back({v.Position, v.Length});
        return true;
      },
      error);
  return frames;
}

std::string FrameBytes(const std::string& file, const std::vector<Frame>& frames, std::size_t from,
                       std::size_t to) {
  std::string out;
  for (std::size_t i = from; i <= to && i < frames.size(); ++i)
    out +=
        file.substr(static_cast<std::size_t>(frames[i].Position), static_cast<std::size_t>(frames[i].Length));
  return out;
}

bool IsTagFrame(const std::string& file, const Frame& f) {
  return FrameHoldsXingTag(reinterpret_cast<const std::uint8_t*>(file.data() + f.Position),
                           static_cast<std::size_t>(f.Length));
}

// ffprobe's duration, and its start time: the encoder delay that the LAME
// tag announces and that decoding drops.
double ProbedSeconds(const std::string& path, double& start) {
  const std::string text =
      Shell("ffprobe -v error -show_entries format=start_time,duration -of csv=p=0 '" + path + "'");
  start = std::atof(text.c_str());
  const std::size_t comma = text.find(',');
  return comma == std::string::npos ? 0 : std::atof(text.c_str() + comma + 1);
}

double DecodedSeconds(const std::string& path) {
  const std::string pcm = Shell("ffmpeg -v error -i '" + path + "' -f s16le -ac 1 -ar 44100 - 2>/dev/null");
  return static_cast<double>(pcm.size()) / 2 / 44100;
}

class CliRealFiles : public CliRun {
 protected:
  static void SetUpTestSuite() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-cli-real-XXXXXX").string();
    fixtures_ = ::mkdtemp(tmpl.data());
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(fixtures_); }
  // Each file is encoded when a test first asks for it (CTest runs every test
  // in a process of its own).
  static std::string Fixture(const std::string& name) {
    const std::string f = fixtures_ + "/";
    if (!std::filesystem::exists(f + "s.wav")) {
      // Twelve seconds of a tone in noise: 459 audio frames at 44.1 kHz.
      Shell(
          "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=12 -f lavfi "
          "-i anoisesrc=color=pink:amplitude=0.3:duration=12:seed=3 -filter_complex '[0][1]amix=inputs=2' "
          "-ac 2 -ar 44100 " +
          f + "s.wav");
    }
    const std::map<std::string, std::string> encoders = {
        {"lame-v2.mp3", "lame --silent -V 2 "},
        {"lame-abr160.mp3", "lame --silent --abr 160 "},
        {"plain.mp3", "lame --silent -t -b 128 "},  // frames only
        {"tagged.mp3", "lame --silent -b 128 --add-id3v2 --tt 'Kerf Title' --ta 'Kerf Artist' "},
    };
    if (!std::filesystem::exists(f + name)) {
      if (name == "ffmpeg-q2.mp3") {
        Shell("ffmpeg -v error -y -i " + f + "s.wav -c:a libmp3lame -q:a 2 " + f + name);
      } else {
        Shell(encoders.at(name) + f + "s.wav " + f + name);
      }
    }
    return f + name;
  }
  static std::string fixtures_;
};
std::string CliRealFiles::fixtures_;

TEST_F(CliRealFiles, VbrAndAbrCutsHoldTheirFramesAndPlayersMeasureThemRight) {
  // Frame 0 is the encoder's Xing/Info frame; audio frame k is frame k + 1
  // and starts at k × 26.12 ms, 1105 samples (576 of encoder delay, 529 of
  // the decoder's) before the player's clock. 3 s plays in audio frame 115,
  // 9 s in 345 (the last to start before it), 6 s starts in audio frame 230.
  // --frames: these are frame copies.
  struct Cut {
    const char* range;
    std::size_t first, last;  // frame indexes; last 0 for the last frame
  } cuts[] = {{"", 0, 0}, {"@3s-9s", 116, 346}, {"@-6s", 0, 231}};
  for (const char* name : {"lame-v2.mp3", "lame-abr160.mp3", "ffmpeg-q2.mp3"}) {
    const std::string in = Fixture(name);
    const std::string source = Slurp(in);
    const std::vector<Frame> frames = Frames(in);
    ASSERT_GT(frames.size(), 400u) << name;
    ASSERT_TRUE(IsTagFrame(source, frames[0])) << name;
    for (const Cut& cut : cuts) {
      SCOPED_TRACE(std::string(name) + cut.range);
      const std::string out = Path(std::string(name) + cut.range + ".mp3");
      const Outcome r = Exec({"cut", "--frames", "--no-tags", "-o", out, in + cut.range});
      ASSERT_EQ(r.Status, 0) << r.Err;
      EXPECT_EQ(r.Err, "");

      // A tag frame first, then exactly the source's audio frames of the range.
      const std::string output = Slurp(out);
      const std::vector<Frame> got = Frames(out);
      ASSERT_GE(got.size(), 2u);
      EXPECT_TRUE(IsTagFrame(output, got[0]));
      EXPECT_EQ(got[0].Position, 0);
      const std::size_t last = cut.last ? cut.last : frames.size() - 1;
      const std::size_t firstAudio = std::max<std::size_t>(cut.first, 1);
      EXPECT_EQ(got.size() - 1, last - firstAudio + 1);
      EXPECT_TRUE(output.substr(static_cast<std::size_t>(got[0].Length)) ==
                  FrameBytes(source, frames, firstAudio, last));

      // Decodes cleanly; the length players read from the Xing frame is the
      // decoded length, and the length of the frames cut.
      EXPECT_EQ(Shell("ffmpeg -v error -i '" + out + "' -f null - 2>&1"), "");
      double start = 0;
      const double probed = ProbedSeconds(out, start), decoded = DecodedSeconds(out);
      // The encoder's end padding is trimmed by the decoder; an output that
      // does not end where the input ended has none left to announce.
      EXPECT_NEAR(probed, start + decoded, cut.last ? 0.0005 : kFrameSeconds);
      EXPECT_NEAR(probed, static_cast<double>(last - firstAudio + 1) * kFrameSeconds, 2 * kFrameSeconds);
      int status = -1;
      const std::string mpg123 =
          Shell("mpg123 -q -t -k " + std::to_string(got.size() / 2) + " '" + out + "' 2>&1", &status);
      EXPECT_EQ(status, 0);
      EXPECT_EQ(mpg123, "");
    }
  }
}

TEST_F(CliRealFiles, StandardOutputPipesIntoAPlayer) {
  // A pipe cannot be measured, only read: the 231 audio frames of 3 s to 9 s.
  int status = -1;
  const std::string read = Shell("'" + binary_ + "' cut --frames --any-bitrate -o - '" + Fixture("lame-v2.mp3") +
                                     "@3s-9s' | ffprobe -v error -count_packets -show_entries "
                                     "stream=codec_name,sample_rate,nb_read_packets "
                                     "-of csv=p=0 -",
                                 &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read, "mp3,44100,231\n");
}

TEST_F(CliRealFiles, SplitPiecesJoinedAreTheInput) {
  const std::string in = Fixture("plain.mp3");  // frames only: no tags, no Info frame
  const std::string source = Slurp(in);
  const std::size_t total = Frames(in).size();
  ASSERT_GT(total, 400u);
  const std::string dir = Path("pieces");
  // --frames: pieces that join back with cat.
  Outcome r = Exec({"split", "--frames", "-d", dir, in, "100f", "4s", "0:08.5"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::string joined;
  // The clock starts 529 samples (the decoder's delay) into the first frame:
  // 4 s plays in frame 153 (153.6), 8.5 s in frame 325 (325.9).
  const std::size_t sizes[] = {100, 53, 172, total - 325};
  for (int i = 1; i <= 4; ++i) {
    const std::string piece = dir + "/plain_0" + std::to_string(i) + ".mp3";
    EXPECT_EQ(Frames(piece).size(), sizes[i - 1]) << piece;
    joined += Slurp(piece);
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/plain_05.mp3"));
  EXPECT_TRUE(joined == source);

  // Existing pieces are kept unless --overwrite.
  std::ofstream(dir + "/plain_02.mp3") << "mine";
  r = Exec({"split", "--frames", "-d", dir, in, "200f"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, dir + "/plain_01.mp3: exists")) << r.Err;
  EXPECT_EQ(Slurp(dir + "/plain_02.mp3"), "mine");
  r = Exec({"split", "--frames", "--overwrite", "-d", dir, in, "200f"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(dir + "/plain_01.mp3") + Slurp(dir + "/plain_02.mp3") == source);

  // Points past the end, out of order, or at the first frame are refused, and
  // nothing is written.
  for (const std::vector<std::string>& points :
       std::vector<std::vector<std::string>>{{"100", "50"}, {"0:20"}, {"0"}, {"5s", "5s"}}) {
    std::vector<std::string> args{"split", "--frames", "-d", Path("refused"), in};
    args.insert(args.end(), points.begin(), points.end());
    r = Exec(args);
    EXPECT_EQ(r.Status, 1) << testing::PrintToString(points);
    EXPECT_FALSE(std::filesystem::exists(Path("refused")));
  }
}

TEST_F(CliRealFiles, SplitEveryLeavesTheRestToTheLastPiece) {
  const std::string in = Fixture("plain.mp3");
  const std::size_t total = Frames(in).size();
  std::filesystem::copy_file(in, Path("take.mp3"));
  // Beside the input; --frames: pieces that join back with cat.
  const Outcome r = Exec({"split", "--frames", "--every", "5s", Path("take.mp3")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  // Without a LAME tag players play from the decoder's first sample: 5 s
  // plays in frame 191 (191.4), 10 s in frame 382 (382.8).
  EXPECT_EQ(Frames(Path("take_01.mp3")).size(), 191u);
  EXPECT_EQ(Frames(Path("take_02.mp3")).size(), 191u);
  EXPECT_EQ(Frames(Path("take_03.mp3")).size(), total - 382);
  EXPECT_FALSE(std::filesystem::exists(Path("take_04.mp3")));
  EXPECT_TRUE(Slurp(Path("take_01.mp3")) + Slurp(Path("take_02.mp3")) + Slurp(Path("take_03.mp3")) ==
              Slurp(in));
}

TEST_F(CliRealFiles, TagsAreKeptUnlessNoTags) {
  const std::string in = Fixture("tagged.mp3");
  const std::string source = Slurp(in);
  const auto tags = [](const std::string& path) {
    return Shell("ffprobe -v error -show_entries format_tags=title,artist -of default=nw=1 '" + path + "'");
  };
  ASSERT_TRUE(Contains(tags(in), "TAG:title=Kerf Title")) << tags(in);
  ASSERT_EQ(source.substr(source.size() - 128, 3), "TAG");

  Outcome r = Exec({"cut", "-o", Path("kept.mp3"), in + "@2-6"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string kept = Slurp(Path("kept.mp3"));
  const std::string t = tags(Path("kept.mp3"));
  EXPECT_TRUE(Contains(t, "TAG:title=Kerf Title")) << t;
  EXPECT_TRUE(Contains(t, "TAG:artist=Kerf Artist")) << t;
  // The ID3v2 tag in front, the ID3v1 tag behind, and between them exactly
  // the frames of a cut without tags.
  ASSERT_EQ(Exec({"cut", "--no-tags", "-o", Path("bare.mp3"), in + "@2s-6s"}).Status, 0);
  const std::string bare = Slurp(Path("bare.mp3"));
  EXPECT_EQ(tags(Path("bare.mp3")), "");
  const std::size_t id3v2 = static_cast<std::size_t>(Frames(in)[0].Position);
  ASSERT_GT(id3v2, 10u);
  EXPECT_TRUE(kept == source.substr(0, id3v2) + bare + source.substr(source.size() - 128));

  // --tags is the default, and every piece of a split gets them too.
  r = Exec({"cut", "--tags", "-o", Path("kept-too.mp3"), in + "@2s-6s"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("kept-too.mp3")) == kept);
  r = Exec({"split", "-d", Path("p"), in, "6"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  for (const char* piece : {"p/tagged_01.mp3", "p/tagged_02.mp3"})
    EXPECT_TRUE(Contains(tags(Path(piece)), "TAG:artist=Kerf Artist")) << piece;

  // Appending to an existing output adds frames only.
  r = Exec({"cut", "--frames", "--append", "-o", Path("bare.mp3"), in + "@7s-8s"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Slurp(Path("bare.mp3")).find("ID3"), std::string::npos);
}

}  // namespace
