// The Xing/Info frame that the writer fills from counts kept while copying
// must say exactly what the update that reads the finished output again (three
// walks: counts, table of contents, music CRC) says. That update stays in the
// engine, and is the yardstick here.

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "OutputTestSupport.h"
#include "output/InfoCounter.h"
#include "stream/XingFrame.h"

namespace output_test {
namespace {

struct Case {
  const char* name;
  std::vector<Job> jobs;
  bool anyBitRate;
  bool keepEndPadding;
};

std::string Data(const char* name) { return std::string(KERFWELL_TEST_DATA) + "/" + name; }

// The old way: frames appended by path, then the update that reads them back.
bool CutThenUpdate(const std::string& output, const std::vector<Job>& jobs, bool anyBitRate, bool keep,
                   std::string& error) {
  for (const Job& j : jobs) {
    FrameHeader reference;
    if (!ProbeFile(j.Input, reference)) return false;
    ScanOptions options;
    options.AnyBitRate = anyBitRate;
    const ScanResult r = ScanFrames(j.Input, output, j.Start, j.Stop, false, reference, {}, options);
    if (!r.Ok()) {
      error = r.Message;
      return false;
    }
  }
  return UpdateOutputXingFrame(output, keep, error) != XingResult::Failed;
}

void ExpectSameTag(const std::string& mine, const std::string& theirs) {
  XingTag a, b;
  const auto* ma = reinterpret_cast<const std::uint8_t*>(mine.data());
  const auto* mb = reinterpret_cast<const std::uint8_t*>(theirs.data());
  ASSERT_TRUE(ParseXingTag(ma, mine.size(), a));
  ASSERT_TRUE(ParseXingTag(mb, theirs.size(), b));
  EXPECT_EQ(a.Info, b.Info);
  EXPECT_EQ(a.Flags, b.Flags);
  EXPECT_EQ(a.Frames, b.Frames);
  EXPECT_EQ(a.Bytes, b.Bytes);
  EXPECT_EQ(a.Toc, b.Toc);
  EXPECT_EQ(a.HasLame, b.HasLame);
  EXPECT_EQ(a.EncoderDelay, b.EncoderDelay);
  EXPECT_EQ(a.EndPadding, b.EndPadding);
  EXPECT_EQ(a.MusicLength, b.MusicLength);
  EXPECT_EQ(a.MusicCrc, b.MusicCrc);
  EXPECT_EQ(a.TagCrc, b.TagCrc);
  EXPECT_TRUE(mine == theirs) << "the files differ beyond the tag's fields";
}

class OnePassTagFrame : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "lame or ffmpeg is not installed";
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-output-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(OnePassTagFrame, SaysWhatTheThreePassUpdateSaysOnRealFiles) {
  const std::string cbr = Encode("lame-cbr.mp3");
  const std::string vbr = Encode("lame-vbr.mp3");
  const std::string mono = Encode("lame-mono-crc.mp3");
  const std::string mpeg2 = Encode("lame-mpeg2.mp3");
  const std::string ff = Encode("ffmpeg-vbr.mp3");
  const Case cases[] = {
      {"a whole CBR encode", {{cbr}}, false, true},
      {"the head of a CBR encode", {{cbr, 0, 200}}, false, false},
      {"a whole VBR encode", {{vbr}}, true, true},
      {"the head of a VBR encode", {{vbr, 0, 300}}, true, false},
      {"a VBR encode's head and a later stretch", {{vbr, 0, 100}, {vbr, 400, 500}}, true, false},
      {"a VBR head, then a CBR file", {{vbr, 0, 50}, {cbr, 1, 60}}, true, false},
      {"mono with CRCs", {{mono}}, false, true},
      {"MPEG-2 at 22.05 kHz", {{mpeg2, 0, 150}}, true, false},
      {"ffmpeg's encoder", {{ff}}, true, true},
      {"a tagged file, its tags left out", {{Data("tagged.mp3"), 0, 80}}, false, false},
      {"the fixture of 116 frames", {{Data("cbr128.mp3"), 0, 50}, {Data("cbr128.mp3"), 60, 70}}, false, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string mine = dir_ + "/mine-" + std::to_string(n) + ".mp3";
    const std::string theirs = dir_ + "/theirs-" + std::to_string(n++) + ".mp3";
    std::string error;
    OutputSettings settings;
    settings.Existing = ExistingOutput::Refuse;
    FinishSettings finish;
    finish.KeepEndPadding = c.keepEndPadding;
    ASSERT_TRUE(CutThroughWriter(mine, c.jobs, c.anyBitRate, settings, finish, error)) << error;
    ASSERT_TRUE(CutThenUpdate(theirs, c.jobs, c.anyBitRate, c.keepEndPadding, error)) << error;
    ExpectSameTag(Slurp(mine), Slurp(theirs));
  }
}

TEST_F(OnePassTagFrame, AppendingCountsWhatTheOutputHeldBefore) {
  const std::string vbr = Encode("lame-vbr.mp3");
  const std::string cbr = Encode("lame-cbr.mp3");
  const std::string mine = dir_ + "/mine.mp3";
  const std::string theirs = dir_ + "/theirs.mp3";
  std::string error;
  OutputSettings settings;
  ASSERT_TRUE(CutThroughWriter(mine, {{vbr, 0, 200}}, true, settings, {}, error)) << error;
  ASSERT_TRUE(CutThenUpdate(theirs, {{vbr, 0, 200}}, true, false, error)) << error;
  settings.Existing = ExistingOutput::Append;
  ASSERT_TRUE(CutThroughWriter(mine, {{vbr, 300, 420}, {cbr, 5, 9}}, true, settings, {}, error)) << error;
  ASSERT_TRUE(CutThenUpdate(theirs, {{vbr, 300, 420}, {cbr, 5, 9}}, true, false, error)) << error;
  ExpectSameTag(Slurp(mine), Slurp(theirs));
}

// Joined jobs change bytes already counted (free bytes, a header given a
// higher bit rate, side information of muted frames): the counts must still
// be those that reading the finished output again gives.
TEST_F(OnePassTagFrame, JoinedJobsKeepTheCountsTrue) {
  const std::string cbr = Encode("lame-cbr.mp3");
  const std::string vbr = Encode("lame-vbr.mp3");
  const std::string mono = Encode("lame-mono-crc.mp3");
  const std::string mpeg2 = Encode("lame-mpeg2.mp3");
  const std::string ff = Encode("ffmpeg-vbr.mp3");
  const struct {
    const char* name;
    std::vector<Job> jobs;
    bool everyBitRate;
  } cases[] = {
      {"CBR stretches, one bit rate", {{cbr, 0, 100}, {cbr, 300, 400}, {cbr, 50, 60}}, false},
      {"VBR stretches", {{vbr, 0, 100}, {vbr, 400, 500}, {vbr, 700, 720}}, true},
      {"mono with CRCs, one bit rate", {{mono, 10, 100}, {mono, 300, 310}}, false},
      {"mono with CRCs, wider frames", {{mono, 10, 100}, {mono, 300, 310}}, true},
      {"MPEG-2", {{mpeg2, 0, 150}, {mpeg2, 300, 320}}, true},
      {"ffmpeg's encoder after lame's", {{cbr, 0, 100}, {ff, 200, 300}}, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string mine = dir_ + "/joined-" + std::to_string(n++) + ".mp3";
    std::string error;
    OutputSettings settings;
    settings.Existing = ExistingOutput::Refuse;
    settings.ReserveTagFrame = true;
    settings.WidenAtJunctions = c.everyBitRate;
    ASSERT_TRUE(CutThroughWriter(mine, c.jobs, c.everyBitRate, settings, {}, error, true)) << error;
    const std::string read = mine + ".read.mp3";
    std::filesystem::copy_file(mine, read);
    ASSERT_NE(UpdateOutputXingFrame(read, false, error), XingResult::Failed) << error;
    ExpectSameTag(Slurp(mine), Slurp(read));
  }
}

// A stream of frames of random bit rates, MPEG-1 Layer III at 44.1 kHz.
std::string RandomFrames(int n, std::mt19937& random) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    const int index = 1 + static_cast<int>(random() % 14);
    const int padding = static_cast<int>(random() % 2);
    const std::uint8_t h[4] = {0xFF, 0xFB, static_cast<std::uint8_t>(index << 4 | padding << 1), 0x44};
    std::string frame(static_cast<std::size_t>(HeaderFrameLength(h)), static_cast<char>(i));
    std::memcpy(frame.data(), h, 4);
    out += frame;
  }
  return out;
}

TEST(InfoCounter, ATableOfContentsFromKeptOffsetsEqualsOneFromEveryOffset) {
  std::mt19937 random(7);
  std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-counter-XXXXXX").string();
  const std::string dir = ::mkdtemp(tmpl.data());
  // Few offsets kept, so that the stride doubles again and again.
  for (std::size_t keep : {2, 4, 6, 64}) {
    for (int frames : {1, 2, 3, 7, 99, 100, 101, 257, 1000, 4099}) {
      SCOPED_TRACE(testing::Message() << frames << " frames, " << keep << " offsets kept");
      const std::string lead(37, '\x5A');  // bytes in front of the audio: a tag frame, say
      const std::string data = lead + RandomFrames(frames, random);
      const std::string path = dir + "/frames.bin";
      std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
      InfoCounter counter(keep);
      counter.Start(static_cast<std::int64_t>(lead.size()));
      std::vector<std::uint64_t> starts;
      for (std::size_t p = lead.size(); p < data.size();) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(data.data() + p);
        const std::int32_t length = HeaderFrameLength(b);
        starts.push_back(p - lead.size());
        counter.AddFrame(static_cast<std::int64_t>(p), length, b);
        p += static_cast<std::size_t>(length);
      }
      counter.AddBytes(reinterpret_cast<const std::uint8_t*>(data.data() + lead.size()), data.size() - lead.size());
      const int fd = ::open(path.c_str(), O_RDONLY);
      ASSERT_GE(fd, 0);
      XingToc toc{};
      std::string error;
      ASSERT_TRUE(counter.Toc(fd, toc, error)) << error;
      ::close(fd);
      const std::uint64_t audio = data.size() - lead.size();
      EXPECT_EQ(toc, MakeXingToc(static_cast<std::uint32_t>(frames), audio, [&](std::uint32_t k) { return starts[k]; }));
      EXPECT_EQ(counter.Frames(), static_cast<std::uint32_t>(frames));
      EXPECT_EQ(counter.AudioEnd(), static_cast<std::int64_t>(data.size()));
      EXPECT_EQ(counter.MusicCrc(),
                Crc16(reinterpret_cast<const std::uint8_t*>(data.data() + lead.size()), data.size() - lead.size()));
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace output_test
