// What a newcomer types, through the command line, on files as people have
// them (VBR, tagged, with a cover, in folders with spaces and Unicode names),
// with no extra option; the README's examples, run as written one after
// another; and what a file that is no MPEG audio is called.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"

namespace {

using namespace clitest;

class CliNewcomer : public CliRun {
 protected:
  static void SetUpTestSuite() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-newcomer-XXXXXX").string();
    fixtures_ = ::mkdtemp(tmpl.data());
    int status = -1;
    made_ = Shell("'" + std::string(KERFWELL_SOURCE_DIR) + "/tests/cli/make-newcomer-fixtures.sh' '" + fixtures_ +
                      "' 2>&1",
                  &status)
                .empty() &&
            status == 0;
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(fixtures_); }
  void SetUp() override {
    CliRun::SetUp();
    ASSERT_TRUE(made_) << "tests/cli/make-newcomer-fixtures.sh failed";
    std::filesystem::copy(fixtures_, dir_, std::filesystem::copy_options::recursive);
  }

  // Samples a gapless decoder (ffmpeg) plays, per channel.
  std::int64_t Decoded(const std::string& path) const {
    return static_cast<std::int64_t>(Pcm(path).size()) / 2;
  }
  // The decoded audio, 16-bit stereo.
  std::vector<std::int16_t> Pcm(const std::string& path) const {
    const std::string raw = Path(".pcm");
    Shell("ffmpeg -v error -y -i '" + path + "' -f s16le -ac 2 '" + raw + "'");
    const std::string bytes = Slurp(raw);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(samples.size() * 2),
              reinterpret_cast<char*>(samples.data()));
    return samples;
  }
  std::string Tags(const std::string& path) const {
    return Shell("ffprobe -v error -show_entries format_tags=title,artist,album,track -of default=nw=1 '" + path +
                 "'");
  }
  bool HasCover(const std::string& path) const {
    return Contains(Shell("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + path + "'"), "video");
  }

  static std::string fixtures_;
  static bool made_;
};
std::string CliNewcomer::fixtures_;
bool CliNewcomer::made_ = false;

constexpr std::int64_t kRate = 44100;

TEST_F(CliNewcomer, JobsAreRightWithNoExtraOption) {
  struct Output {
    const char* path;
    double seconds;    // as decoded; -1 for frame copies
    const char* tags;  // what ffprobe reads back, in part; "" for none
  };
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<Output> outputs;
  } cases[] = {
      {"trim a tagged VBR song",
       {"cut", "-o", "t.mp3", "song.mp3@0:05-"},
       {{"t.mp3", 145, "TAG:title=Kerf Song\nTAG:artist=Kerf Artist\nTAG:album=Kerf Album"}}},
      {"clip by time, bare seconds", {"cut", "-o", "c.mp3", "song.mp3@90-120"}, {{"c.mp3", 30, "title=Kerf Song"}}},
      {"a VBR clip, GNU spelling", {"cut", "--output=v.mp3", "vbr.mp3@10-20"}, {{"v.mp3", 10, ""}}},
      {"--every 60 on a podcast",
       {"split", "--every", "60", "-d", "p", "podcast.mp3"},
       {{"p/podcast_01.mp3", 60, "TAG:title=Kerf Podcast\nTAG:artist=Kerf Host\nTAG:track=1/3"},
        {"p/podcast_02.mp3", 60, "TAG:track=2/3"},
        {"p/podcast_03.mp3", 30, "TAG:track=3/3"}}},
      {"a folder with spaces and Unicode",
       {"cut", "--each", "--dir", "out dir", "--range", "0:02-", "folder/a b.mp3", "folder/ünï çødé.mp3"},
       {{"out dir/a b.mp3", 18, "TAG:title=Folder Song"}, {"out dir/ünï çødé.mp3", 18, "TAG:title=Folder Song"}}},
      // A join of several jobs takes the first job's tags (none when it has
      // none); its frames are copied at frame edges, so only the tags count.
      {"a join, the first job tagged",
       {"cut", "-q", "-o", "j1.mp3", "song.mp3@0-2", "vbr.mp3@0-2"},
       {{"j1.mp3", -1, "TAG:title=Kerf Song"}}},
      {"a join, the first job untagged", {"cut", "-q", "-o", "j2.mp3", "vbr.mp3@0-2", "song.mp3@0-2"}, {{"j2.mp3", -1, ""}}},
      {"silences, a negative value after '='",
       {"split", "--silence", "--threshold=-35", "--min-length=3", "-q", "-d", "s", "mix.mp3"},
       {{"s/mix_01.mp3", 10, ""}, {"s/mix_02.mp3", 10, ""}, {"s/mix_03.mp3", 10, ""}}},
      {"silences, a negative value as the next argument",
       {"split", "--silence", "--threshold", "-35", "--min-length", "3", "-q", "-d", "s2", "mix.mp3"},
       {{"s2/mix_03.mp3", 10, ""}}},
  };
  ExecSettings in;
  in.Cwd = dir_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome r = Exec(c.args, in);
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (const Output& o : c.outputs) {
      SCOPED_TRACE(o.path);
      ASSERT_TRUE(std::filesystem::exists(Path(o.path)));
      if (o.seconds >= 0) {
        EXPECT_EQ(Decoded(Path(o.path)), static_cast<std::int64_t>(o.seconds * kRate));
      }
      const std::string tags = Tags(Path(o.path));
      EXPECT_TRUE(*o.tags ? Contains(tags, o.tags) : tags.empty()) << tags;
    }
  }
  // The trimmed song keeps its cover; the clip is the song's samples at
  // those instants.
  EXPECT_TRUE(HasCover(Path("t.mp3")));
  const std::vector<std::int16_t> song = Pcm(Path("song.mp3")), clip = Pcm(Path("c.mp3"));
  ASSERT_EQ(clip.size(), static_cast<std::size_t>(30 * kRate * 2));
  int largest = 0;
  for (std::size_t i = 0; i < clip.size(); ++i)
    largest = std::max(largest, std::abs(clip[i] - song[static_cast<std::size_t>(90 * kRate * 2) + i]));
  EXPECT_LE(largest, 1);
  // --no-tags: frames only.
  ASSERT_EQ(Exec({"cut", "--no-tags", "-o", "bare.mp3", "song.mp3@0:05-"}, in).Status, 0);
  EXPECT_EQ(Tags(Path("bare.mp3")), "");
  EXPECT_FALSE(HasCover(Path("bare.mp3")));
}

TEST_F(CliNewcomer, TheReadmeExamplesRunAsWritten) {
  std::ifstream readme(std::string(KERFWELL_SOURCE_DIR) + "/README.md");
  std::vector<std::string> examples;
  bool inSection = false;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## The command-line cutter";
    if (inSection && line.rfind("    kerfwell-cut ", 0) == 0) examples.push_back(line.substr(4));
  }
  ASSERT_GE(examples.size(), 10u);
  const std::string bin = CutBinary().substr(0, CutBinary().rfind('/'));
  for (const std::string& example : examples) {
    SCOPED_TRACE(example);
    std::ofstream(Path(".example.sh")) << example << "\n";
    int status = -1;
    const std::string said =
        Shell("cd '" + dir_ + "' && PATH='" + bin + "':\"$PATH\" bash .example.sh </dev/null 2>&1 >/dev/null", &status);
    EXPECT_EQ(status, 0) << said;
  }
  for (const char* made : {"trimmed.mp3", "clip.mp3", "frames.mp3", "piped.mp3", "trimmed/a b.mp3", "set_03.mp3",
                           "parts/podcast_03.mp3", "tracks/03 - Three.mp3"})
    EXPECT_TRUE(std::filesystem::exists(Path(made))) << made;
}

TEST_F(CliNewcomer, RefusalsNameWhatTheFileIs) {
  const std::string songFrames = Shell("'" + binary_ + "' info '" + Path("song.mp3") + "' | sed -n 's/^FirstFrame: //p'");
  struct Case {
    const char* name;
    std::string make;  // a shell command writing x
    const char* said;
  } cases[] = {
      {"WAV named .mp3", "ffmpeg -v error -f lavfi -i sine=d=1 -f wav x", "it is a WAV (RIFF) file"},
      {"FLAC", "ffmpeg -v error -f lavfi -i sine=d=1 -f flac x", "it is a FLAC file"},
      {"Ogg", "ffmpeg -v error -f lavfi -i sine=d=1 -c:a libvorbis -f ogg x", "it is an Ogg file"},
      {"M4A", "ffmpeg -v error -f lavfi -i sine=d=1 -c:a aac -f mp4 x", "it is an MP4/M4A file"},
      {"PNG", "ffmpeg -v error -f lavfi -i color=red:s=8x8 -frames:v 1 -f image2 -c:v png x", "it is a PNG image"},
      {"JPEG", "ffmpeg -v error -f lavfi -i color=red:s=8x8 -frames:v 1 -f image2 -c:v mjpeg x", "it is a JPEG image"},
      {"text", "echo 'a song list, not a song' > x", "it is text"},
      {"an ID3 tag alone", "head -c " + songFrames.substr(0, songFrames.size() - 1) + " song.mp3 > x",
       "it is an ID3 tag without audio"},
      {"noise", "head -c 5000 /dev/urandom | tr -d '\\377' > x", "no MPEG audio frame was found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Path("x"));
    Shell("cd '" + dir_ + "' && " + c.make);
    const Outcome r = Exec({"info", Path("x")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, "x: Is Something Strange With This File ! (" + std::string(c.said))) << r.Err;
  }
  // "N of M jobs failed" counts only what happened.
  std::ofstream(Path("notes.txt")) << "no frames";
  Outcome r = Exec({"cut", "--each", "-d", Path("o"), Path("notes.txt")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "1 of 1 job failed\n")) << r.Err;
  r = Exec({"cut", "--each", "-q", "-d", Path("o"), Path("notes.txt"), Path("vbr.mp3") + "@1-2"});
  EXPECT_TRUE(Contains(r.Err, "1 of 2 jobs failed; the others were cut\n")) << r.Err;
}

}  // namespace
