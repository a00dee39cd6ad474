// Real encoder output: what lame and ffmpeg write, cut as the cutter cuts it,
// then judged by ffprobe, ffmpeg's decoder and mpg123.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "XingTestSupport.h"
#include "stream/Scanner.h"
#include "stream/XingFrame.h"

using namespace xing_test;

namespace {

// Standard output of a shell command; `status` gets its exit status.
std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  const int s = ::pclose(p);
  if (status) *status = s;
  return out;
}

bool Have(const char* tool) {
  return std::system((std::string(tool) + " --help >/dev/null 2>&1").c_str()) == 0;
}

Bytes Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Save(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::size_t Id3v2Length(const Bytes& d) {
  if (d.size() < 10 || d[0] != 'I' || d[1] != 'D' || d[2] != '3') return 0;
  return 10 + (std::size_t{d[6]} << 21 | std::size_t{d[7]} << 14 | std::size_t{d[8]} << 7 | d[9]);
}

// Frame starts of a file made of frames only, from `from` on.
std::vector<std::size_t> FrameStarts(const Bytes& d, std::size_t from) {
  std::vector<std::size_t> starts;
  std::size_t p = from;
  while (p + 4 <= d.size()) {
    const int length = FrameLengthOf(&d[p]);
    if (length == 0 || p + static_cast<std::size_t>(length) > d.size()) break;
    starts.push_back(p);
    p += static_cast<std::size_t>(length);
  }
  starts.push_back(p);  // one past the last frame
  return starts;
}

double FormatDuration(const std::string& path) {
  return std::atof(
      Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "' 2>/dev/null").c_str());
}

// Frames the decoder decodes (a tag frame is no audio frame to it).
long DecodedFrames(const std::string& path) {
  return std::atol(
      Shell("ffprobe -v error -count_frames -select_streams a:0 -show_entries stream=nb_read_frames "
            "-of csv=p=0 '" +
            path + "' 2>/dev/null")
          .c_str());
}

// Seconds of sound the decoder gives, encoder delay and padding taken off.
double DecodedSeconds(const std::string& path) {
  const std::string pcm =
      Shell("ffmpeg -nostdin -v error -i '" + path + "' -ac 1 -ar 44100 -f s16le - 2>/dev/null");
  return static_cast<double>(pcm.size()) / 2 / 44100;
}

// What mpg123 says while it decodes, its banner and progress lines left out:
// empty when it has nothing to complain of. (Its quiet mode would silence the
// warnings too.)
std::string Mpg123Complaints(const std::string& path, const std::string& options = "") {
  const std::string err = Shell("mpg123 -t " + options + " '" + path + "' 2>&1 >/dev/null");
  std::string complaints;
  std::size_t at = 0;
  while (at < err.size()) {
    const std::size_t end = std::min(err.find('\n', at), err.size());
    const std::string line = err.substr(at, end - at);
    at = end + 1;
    const bool banner = line.empty() || line[0] == '\t' || line.rfind("High Performance MPEG", 0) == 0 ||
                        line.rfind("Playing MPEG stream", 0) == 0 || line.rfind("MPEG 1.0 L III", 0) == 0 ||
                        line.rfind("Directory: ", 0) == 0 || line.rfind("\r> ", 0) == 0 ||
                        (line[0] == '[' && line.find("] Decoding of") != std::string::npos);
    if (!banner) complaints += line + "\n";
  }
  return complaints;
}

constexpr double kFrameSeconds = 1152.0 / 44100;

// The encodes, made once per build folder and shared by the test processes
// that CTest starts: each is written under another name and renamed into
// place, so that two processes making it at once do no harm.
std::string Fixture(const std::string& name) {
  const std::string dir = std::string(KERFWELL_BINARY_DIR) + "/tests/xing/fixtures-1";
  const std::string path = dir + "/" + name;
  if (std::filesystem::exists(path)) return path;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string part = path + ".part-" + std::to_string(::getpid());
  // A minute of tone and swelling noise, so that VBR frames vary.
  static const std::map<std::string, std::string> commands = {
      {"source.wav",
       "ffmpeg -nostdin -v error -y -f lavfi -i "
       "\"aevalsrc='0.4*sin(2*PI*440*t)+0.3*(random(0)-0.5)*(1+sin(0.5*t))|"
       "0.4*sin(2*PI*660*t)+0.3*(random(1)-0.5)*(1+cos(0.5*t))':s=44100:d=60\" -f wav"},
      {"lame-cbr.mp3", "lame --quiet -b 128"},
      {"lame-vbr.mp3", "lame --quiet -V 2"},
      {"lame-vbr-untagged.mp3", "lame --quiet -V 2 -t"},
      {"lame-mono-crc.mp3", "lame --quiet -b 64 -m m -p"},
      {"ffmpeg-cbr.mp3", "ffmpeg -nostdin -v error -y -i"},
  };
  const std::string& command = commands.at(name);
  if (name == "source.wav") {
    Shell(command + " '" + part + "'");
  } else if (name.rfind("ffmpeg", 0) == 0) {
    Shell(command + " '" + Fixture("source.wav") + "' -c:a libmp3lame -b:a 128k -f mp3 '" + part + "'");
  } else {
    Shell(command + " '" + Fixture("source.wav") + "' '" + part + "'");
  }
  std::filesystem::rename(part, path, ec);
  return path;
}

class XingFiles : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Have("lame") || !Have("ffmpeg") || !Have("mpg123")) return;
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-xing-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  static void TearDownTestSuite() {
    if (dir_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void SetUp() override {
    if (dir_.empty()) GTEST_SKIP() << "lame, ffmpeg or mpg123 is not installed";
  }
  // Where a test writes its outputs.
  static std::string Path(const std::string& name) { return dir_ + "/" + name; }
  // An encode of the minute.
  static std::string Source(const std::string& name) { return Fixture(name); }

  static std::string dir_;
};
std::string XingFiles::dir_;

// The encoders' own tags, read before anything changes them: what the counts
// count, and both CRCs, by our reading of the format.
TEST_F(XingFiles, FreshEncodesAgreeWithOurReadingOfTheirTags) {
  for (const char* name : {"lame-cbr.mp3", "lame-vbr.mp3", "lame-mono-crc.mp3", "ffmpeg-cbr.mp3"}) {
    SCOPED_TRACE(name);
    const Bytes d = Load(Source(name));
    const std::size_t tags = Id3v2Length(d);
    const std::vector<std::size_t> starts = FrameStarts(d, tags);
    ASSERT_GT(starts.size(), 2000u);
    ASSERT_EQ(starts.back(), d.size()) << "frames only, up to the end";
    const std::size_t tagFrame = starts[1] - starts[0];
    XingTag tag;
    ASSERT_TRUE(ParseXingTag(&d[tags], tagFrame, tag));
    ASSERT_TRUE(tag.HasLame);
    EXPECT_TRUE(StartsWithXingFrame(Source(name)));

    EXPECT_EQ(tag.Frames, starts.size() - 2) << "the frames after the tag frame";
    EXPECT_EQ(tag.Bytes, d.size() - tags) << "the tag frame and all after it";
    EXPECT_EQ(tag.MusicLength, tag.Bytes);
    EXPECT_EQ(tag.MusicCrc, BitwiseCrc16(&d[starts[1]], d.size() - starts[1]))
        << "the frames after the tag frame";
    EXPECT_EQ(tag.TagCrc, Crc16(&d[tags], tag.TagCrcOffset())) << "the frame's bytes before the tag CRC";
    EXPECT_EQ(tag.TagCrc, BitwiseCrc16(&d[tags], tag.TagCrcOffset()));
    EXPECT_EQ(tag.EncoderDelay, 576);
    EXPECT_GT(tag.EndPadding, 0);
  }
}

// Rewriting a whole encode, padding kept, must give back what the encoder
// wrote, but for the TOC, which we place a frame earlier than lame does.
TEST_F(XingFiles, UpdatingAWholeEncodeRestatesTheEncodersCounts) {
  for (const char* name : {"lame-cbr.mp3", "lame-vbr.mp3", "ffmpeg-cbr.mp3"}) {
    SCOPED_TRACE(name);
    const std::string out = Path(std::string("whole-") + name);
    const Bytes original = Load(Source(name));
    Save(out, original);
    std::string message;
    ASSERT_EQ(UpdateOutputXingFrame(out, true, message), XingResult::Updated) << message;
    const Bytes updated = Load(out);
    ASSERT_EQ(updated.size(), original.size());
    const std::size_t tags = Id3v2Length(original);
    XingTag before, after;
    ASSERT_TRUE(ParseXingTag(&original[tags], original.size() - tags, before));
    ASSERT_TRUE(ParseXingTag(&updated[tags], updated.size() - tags, after));
    EXPECT_EQ(after.Frames, before.Frames);
    EXPECT_EQ(after.Bytes, before.Bytes);
    EXPECT_EQ(after.MusicLength, before.MusicLength);
    EXPECT_EQ(after.MusicCrc, before.MusicCrc);
    EXPECT_EQ(after.EncoderDelay, before.EncoderDelay);
    EXPECT_EQ(after.EndPadding, before.EndPadding);
    EXPECT_EQ(after.TagCrc, Crc16(&updated[tags], after.TagCrcOffset()));
    for (std::size_t i = 1; i < 100; ++i) {
      EXPECT_LE(std::abs(after.Toc[i] - before.Toc[i]), 2) << "entry " << i;
      EXPECT_GE(after.Toc[i], after.Toc[i - 1]);
    }
    const std::size_t tocAt = tags + after.Offset + 16;
    for (std::size_t i = 0; i < original.size(); ++i) {
      const bool toc = i >= tocAt && i < tocAt + 100;
      const bool tagCrc = i == tags + after.TagCrcOffset() || i == tags + after.TagCrcOffset() + 1;
      if (!toc && !tagCrc && updated[i] != original[i]) {
        ADD_FAILURE() << "byte " << i << " changed";
        break;
      }
    }
  }
}

// The first N frames of a minute, as a cut from frame 0 leaves them: the
// copied tag still says a minute until it is updated.
TEST_F(XingFiles, AHeadCutTellsItsOwnLengthAfterTheUpdate) {
  struct Case {
    const char* Source;
    std::size_t Frames;  // audio frames kept
  };
  for (const Case& c : {Case{"lame-cbr.mp3", 500}, Case{"ffmpeg-cbr.mp3", 300}, Case{"lame-vbr.mp3", 700},
                        Case{"lame-mono-crc.mp3", 400}}) {
    SCOPED_TRACE(c.Source);
    const Bytes source = Load(Source(c.Source));
    const std::size_t tags = Id3v2Length(source);
    const std::vector<std::size_t> starts = FrameStarts(source, tags);
    const Bytes cut(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(starts[1 + c.Frames]));
    const std::string out = Path(std::string("head-") + c.Source);
    Save(out, cut);
    ASSERT_GT(FormatDuration(out), 55.0) << "the copied tag claims the whole minute";
    ASSERT_NE(Mpg123Complaints(out), "") << "mpg123 finds the copied byte count wrong";

    std::string message;
    ASSERT_EQ(UpdateOutputXingFrame(out, false, message), XingResult::Updated) << message;
    const Bytes updated = Load(out);
    ASSERT_EQ(updated.size(), cut.size());
    for (std::size_t i = 0; i < cut.size(); ++i) {
      if ((i < starts[0] || i >= starts[1]) && updated[i] != cut[i]) {
        ADD_FAILURE() << "byte " << i << " outside the tag frame changed";
        break;
      }
    }
    XingTag tag;
    ASSERT_TRUE(ParseXingTag(&updated[tags], starts[1] - starts[0], tag));
    EXPECT_EQ(tag.Frames, c.Frames);
    EXPECT_EQ(tag.Bytes, cut.size() - tags);
    EXPECT_EQ(tag.MusicLength, cut.size() - tags);
    EXPECT_EQ(tag.MusicCrc, BitwiseCrc16(&cut[starts[1]], cut.size() - starts[1]));
    EXPECT_EQ(tag.TagCrc, BitwiseCrc16(&updated[tags], tag.TagCrcOffset()));
    EXPECT_EQ(tag.EncoderDelay, 576);
    EXPECT_EQ(tag.EndPadding, 0) << "the encoder's padding was at the end of the minute";

    const double seconds = FormatDuration(out);
    EXPECT_NEAR(seconds, static_cast<double>(c.Frames) * kFrameSeconds, kFrameSeconds / 2);
    EXPECT_EQ(DecodedFrames(out), static_cast<long>(c.Frames));
    EXPECT_NEAR(seconds, DecodedSeconds(out), kFrameSeconds) << "what ffprobe says against what decodes";
    EXPECT_EQ(Mpg123Complaints(out), "");
    EXPECT_EQ(Mpg123Complaints(out, "-k " + std::to_string(c.Frames / 2) + " -n 10"), "");
  }
}

// The same through the engine: frame 0 of an encoder's file is its tag frame,
// so a cut of frames 0 to N holds N audio frames.
TEST_F(XingFiles, ACutFromFrameZeroByTheEngine) {
  struct Case {
    const char* Source;
    bool AnyBitRate;
    std::int32_t Stop;
  };
  for (const Case& c : {Case{"lame-cbr.mp3", false, 400}, Case{"lame-vbr.mp3", true, 600},
                        Case{"ffmpeg-cbr.mp3", false, 250}}) {
    SCOPED_TRACE(c.Source);
    const std::string out = Path(std::string("engine-") + c.Source);
    FrameHeader reference;
    ASSERT_TRUE(ProbeFile(Source(c.Source), reference));
    ScanOptions options;
    options.AnyBitRate = c.AnyBitRate;
    options.EndAfterRange = true;
    const ScanResult cut = ScanFrames(Source(c.Source), out, 0, c.Stop, false, reference, {}, options);
    ASSERT_TRUE(cut.Ok()) << cut.Message;
    ASSERT_EQ(cut.Written, c.Stop + 1);
    ASSERT_TRUE(StartsWithXingFrame(out));

    std::string message;
    ASSERT_EQ(UpdateOutputXingFrame(out, false, message), XingResult::Updated) << message;
    EXPECT_NEAR(FormatDuration(out), c.Stop * kFrameSeconds, kFrameSeconds / 2);
    EXPECT_EQ(DecodedFrames(out), c.Stop);
    EXPECT_EQ(Mpg123Complaints(out), "");
  }
}

TEST_F(XingFiles, OutputsWithoutATagFrameAreLeftAsTheyAre) {
  const Bytes source = Load(Source("lame-cbr.mp3"));
  const std::vector<std::size_t> starts = FrameStarts(source, 0);
  const std::string middle = Path("middle.mp3");
  const Bytes cut(source.begin() + static_cast<std::ptrdiff_t>(starts[100]),
                  source.begin() + static_cast<std::ptrdiff_t>(starts[400]));
  Save(middle, cut);
  const std::string empty = Path("empty.mp3");
  Save(empty, {});
  const std::string text = Path("text.mp3");
  Save(text, Bytes(5000, 'x'));
  for (const std::string& path : {middle, empty, text}) {
    SCOPED_TRACE(path);
    const Bytes before = Load(path);
    std::string message;
    EXPECT_EQ(UpdateOutputXingFrame(path, false, message), XingResult::NoTag);
    EXPECT_EQ(Load(path), before);
    EXPECT_FALSE(StartsWithXingFrame(path));
  }
  std::string message;
  EXPECT_EQ(UpdateOutputXingFrame(Path("missing.mp3"), false, message), XingResult::Failed);
  EXPECT_NE(message.find("missing.mp3"), std::string::npos) << message;
  message.clear();
  EXPECT_EQ(UpdateOutputXingFrame(dir_, false, message), XingResult::Failed) << "a folder";
  EXPECT_NE(message.find(dir_), std::string::npos) << message;
}

// A VBR output that came without a tag frame gets one in front: players then
// know its length and seek in it.
TEST_F(XingFiles, AFreshXingFrameInFrontOfAVbrOutput) {
  const Bytes untagged = Load(Source("lame-vbr-untagged.mp3"));
  ASSERT_FALSE(FrameHoldsXingTag(untagged.data(), untagged.size()));
  // A small ID3v2 tag in front, which must stay in front.
  Bytes id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
  id3.resize(30, 0);
  struct Case {
    const char* Name;
    bool Tagged;
  };
  for (const Case& c : {Case{"vbr-plain.mp3", false}, Case{"vbr-id3.mp3", true}}) {
    SCOPED_TRACE(c.Name);
    Bytes original = c.Tagged ? id3 : Bytes{};
    original.insert(original.end(), untagged.begin(), untagged.end());
    const std::string out = Path(c.Name);
    Save(out, original);
    const std::size_t tags = c.Tagged ? id3.size() : 0;
    const std::vector<std::size_t> starts = FrameStarts(original, tags);
    const std::size_t frames = starts.size() - 1;

    EXPECT_TRUE(HoldsSeveralBitRates(out));
    EXPECT_FALSE(StartsWithXingFrame(out));
    EXPECT_GT(std::abs(FormatDuration(out) - static_cast<double>(frames) * kFrameSeconds), 1.0)
        << "without a tag, the length is guessed from the first frame's bit rate";

    std::string message;
    ASSERT_TRUE(PrependXingFrame(out, message)) << message;
    const Bytes after = Load(out);
    const std::size_t xingLength = static_cast<std::size_t>(FrameLengthOf(&after[tags]));
    ASSERT_EQ(after.size(), original.size() + xingLength);
    EXPECT_TRUE(
        std::equal(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(tags), after.begin()));
    EXPECT_TRUE(std::equal(original.begin() + static_cast<std::ptrdiff_t>(tags), original.end(),
                           after.begin() + static_cast<std::ptrdiff_t>(tags + xingLength)))
        << "the frames follow unchanged";
    XingTag tag;
    ASSERT_TRUE(ParseXingTag(&after[tags], xingLength, tag));
    EXPECT_EQ(tag.Frames, frames);
    EXPECT_EQ(tag.Bytes, after.size() - tags);
    EXPECT_TRUE(StartsWithXingFrame(out));
    EXPECT_TRUE(HoldsSeveralBitRates(out)) << "the tag frame is left aside";
    for (std::size_t i = 1; i < 100; ++i) EXPECT_GE(tag.Toc[i], tag.Toc[i - 1]);

    const double seconds = FormatDuration(out);
    EXPECT_NEAR(seconds, static_cast<double>(frames) * kFrameSeconds, kFrameSeconds / 2);
    EXPECT_EQ(DecodedFrames(out), static_cast<long>(frames));
    EXPECT_NEAR(seconds, DecodedSeconds(out), kFrameSeconds);
    EXPECT_EQ(Mpg123Complaints(out), "");
    EXPECT_EQ(Mpg123Complaints(out, "-k " + std::to_string(frames / 2) + " -n 10"), "");

    // Once is enough: a second frame would play as a frame of silence.
    message.clear();
    EXPECT_FALSE(PrependXingFrame(out, message));
    EXPECT_NE(message.find(out), std::string::npos) << message;
    EXPECT_EQ(Load(out), after);
  }
}

TEST_F(XingFiles, PrependingThroughALinkReplacesTheFileAndKeepsTheLink) {
  const std::string target = Path("linked-target.mp3");
  const Bytes untagged = Load(Source("lame-vbr-untagged.mp3"));
  Save(target, untagged);
  const std::string link = Path("link.mp3");
  std::filesystem::create_symlink(target, link);
  std::string message;
  ASSERT_TRUE(PrependXingFrame(link, message)) << message;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(StartsWithXingFrame(target));
  EXPECT_GT(Load(target).size(), untagged.size());
}

TEST_F(XingFiles, PrependingRefusesWhatItCannotDescribeAndKeepsTheFile) {
  EXPECT_FALSE(HoldsSeveralBitRates(Source("lame-cbr.mp3")));
  EXPECT_TRUE(HoldsSeveralBitRates(Source("lame-vbr.mp3")));
  const std::string text = Path("notes.mp3");
  Save(text, Bytes(3000, 'y'));
  std::string message;
  EXPECT_FALSE(PrependXingFrame(text, message));
  EXPECT_NE(message.find(text), std::string::npos) << message;
  EXPECT_EQ(Load(text), Bytes(3000, 'y'));
  message.clear();
  EXPECT_FALSE(PrependXingFrame(Path("absent.mp3"), message));
  EXPECT_NE(message.find("absent.mp3"), std::string::npos) << message;
  // Nothing is left beside the outputs.
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().string().find(".xing-"), std::string::npos) << entry.path();
  }
}

}  // namespace
