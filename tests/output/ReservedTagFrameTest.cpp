// A tag frame reserved in front of a new output's first audio frame: a silent
// frame while the run lasts, "Xing" or "Info" with the output's counts after,
// and with a LAME extension the delay and padding asked for.

#include <cstdlib>

#include "OutputTestSupport.h"
#include "stream/XingFrame.h"

namespace output_test {
namespace {

std::string Data(const char* name) { return std::string(KERFWELL_TEST_DATA) + "/" + name; }

struct Walked {
  std::vector<std::int64_t> Starts;  // whole frames, any bit rate
  std::int64_t End = 0;
};

Walked Walk(const std::string& path) {
  Walked w;
  FrameHeader reference;
  if (!ProbeFile(path, reference)) return w;
  ScanOptions any;
  any.AnyBitRate = true;
  std::string error;
  WalkFrames(
      path, reference, any,
      [&](const FrameVisit& f) {
        if (f.Whole) {
          w.Starts.push_back(f.Position);
          w.End = f.Position + f.Length;
        }
        return true;
      },
      error);
  return w;
}

long DecodedFrames(const std::string& path) {
  return std::atol(Shell("ffprobe -v error -count_frames -select_streams a:0 -show_entries "
                         "stream=nb_read_frames -of csv=p=0 '" + path + "' 2>/dev/null")
                       .c_str());
}

std::string DecoderComplaints(const std::string& path) {
  return Shell("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
}

class ReservedTag : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "lame or ffmpeg is not installed";
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-reserved-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(ReservedTag, BecomesXingForSeveralBitRatesAndInfoForOne) {
  // A CBR stream without a tag frame: lame -t.
  const std::string cbr = dir_ + "/cbr.mp3";
  Shell("lame --quiet -t -b 128 '" + Encode("source.wav") + "' '" + cbr + "'");
  struct Case {
    const char* name;
    std::string input;
    const char* id;
  } cases[] = {
      {"VBR frames", Encode("lame-vbr-untagged.mp3"), "Xing"},
      {"CBR frames", cbr, "Info"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir_ + "/" + c.id + ".mp3";
    OutputSettings settings;
    settings.ReserveTagFrame = true;
    std::string error;
    ASSERT_TRUE(CutThroughWriter(out, {{c.input}}, true, settings, {}, error)) << error;
    const std::string data = Slurp(out);
    XingTag tag;
    ASSERT_TRUE(ParseXingTag(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), tag));
    EXPECT_EQ(data.substr(tag.Offset, 4), c.id);
    const Walked in = Walk(c.input);
    const Walked w = Walk(out);
    ASSERT_EQ(w.Starts.size(), in.Starts.size() + 1);
    // The input's frames follow the tag frame unchanged.
    EXPECT_TRUE(data.substr(static_cast<std::size_t>(w.Starts[1])) == Slurp(c.input));
    EXPECT_EQ(tag.Frames, in.Starts.size());
    EXPECT_EQ(tag.Bytes, data.size());
    const std::int64_t from = w.Starts[1];
    EXPECT_EQ(tag.Toc, MakeXingToc(tag.Frames, static_cast<std::uint64_t>(w.End - from), [&](std::uint32_t k) {
                return static_cast<std::uint64_t>(w.Starts[k + 1] - from);
              }));
    EXPECT_FALSE(tag.HasLame);
    EXPECT_EQ(DecodedFrames(out), static_cast<long>(in.Starts.size())) << "the tag frame is no audio frame";
    EXPECT_EQ(DecoderComplaints(out), "");
  }
}

TEST_F(ReservedTag, IsASilentFrameUntilFilled) {
  const std::string in = Encode("lame-vbr-untagged.mp3");
  const std::string out = dir_ + "/running.mp3";
  OutputWriter writer;
  OutputSettings settings;
  settings.ReserveTagFrame = true;
  OutputOpened opened;
  std::string error;
  ASSERT_EQ(writer.Open(out, settings, opened, error), OutputStatus::Ok) << error;
  FrameHeader reference;
  ASSERT_TRUE(ProbeFile(in, reference));
  ScanOptions options;
  options.AnyBitRate = true;
  options.Sink = &writer;
  writer.BeginJob();
  ASSERT_TRUE(ScanFrames(in, "", 0, 299, false, reference, {}, options).Ok());
  // As it stands before it is filled, still unnamed.
  const std::string unfilled = Slurp("/proc/self/fd/" + std::to_string(writer.Descriptor()));
  const std::string copy = dir_ + "/killed.mp3";
  std::ofstream(copy, std::ios::binary) << unfilled;
  const Walked w = Walk(copy);
  ASSERT_EQ(w.Starts.size(), 301u);
  EXPECT_EQ(unfilled.find_first_not_of('\0', 4), static_cast<std::size_t>(w.Starts[1]));
  XingTag tag;
  EXPECT_FALSE(ParseXingTag(reinterpret_cast<const std::uint8_t*>(unfilled.data()), unfilled.size(), tag));
  EXPECT_EQ(DecoderComplaints(copy), "");
  EXPECT_EQ(DecodedFrames(copy), 301) << "a silent frame, then the 300";
  ASSERT_TRUE(writer.Finish({}, error)) << error;
  ASSERT_TRUE(writer.Commit(error)) << error;
  EXPECT_EQ(DecodedFrames(out), 300);
}

TEST_F(ReservedTag, CarriesTheLameFieldsAskedFor) {
  const std::string in = Encode("lame-vbr-untagged.mp3");
  const std::string out = dir_ + "/lame.mp3";
  OutputSettings settings;
  settings.ReserveTagFrame = true;
  settings.Lame = true;
  settings.LameValues.Encoder = "LAME3.100";
  settings.LameValues.EncoderDelay = 576;
  settings.LameValues.EndPadding = 1000;
  std::string error;
  ASSERT_TRUE(CutThroughWriter(out, {{in, 10, 409}}, true, settings, {}, error)) << error;
  const std::string data = Slurp(out);
  const auto* frame = reinterpret_cast<const std::uint8_t*>(data.data());
  XingTag tag;
  ASSERT_TRUE(ParseXingTag(frame, data.size(), tag));
  ASSERT_TRUE(tag.HasLame);
  EXPECT_EQ(tag.Encoder, "LAME3.100");
  EXPECT_EQ(tag.EncoderDelay, 576);
  EXPECT_EQ(tag.EndPadding, 1000);
  EXPECT_EQ(tag.Frames, 400u);
  EXPECT_EQ(tag.MusicLength, data.size());
  const Walked w = Walk(out);
  ASSERT_EQ(w.Starts.size(), 401u);
  const std::size_t audio = static_cast<std::size_t>(w.Starts[1]);
  EXPECT_EQ(tag.MusicCrc, Crc16(frame + audio, data.size() - audio));
  EXPECT_EQ(tag.TagCrc, Crc16(frame, tag.TagCrcOffset()));
  // ffmpeg trusts a LAME extension: it plays the frames' samples less the
  // delay and the padding.
  const std::string pcm = Shell("ffmpeg -nostdin -v error -i '" + out + "' -f s16le -ac 1 - 2>/dev/null");
  EXPECT_EQ(pcm.size() / 2, 400u * 1152 - 576 - 1000);
}

TEST_F(ReservedTag, IsNotReservedWhereTheOutputHasOneOrCannotHaveOne) {
  struct Case {
    const char* name;
    std::string input;
  } cases[] = {
      {"an encode with its own Info frame, cut from frame 0", Encode("lame-vbr.mp3")},
      {"Layer II", Data("mpeg1-l2.mp2")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir_ + "/out.mp3";
    std::filesystem::remove(out);
    OutputSettings settings;
    settings.ReserveTagFrame = true;
    std::string error;
    ASSERT_TRUE(CutThroughWriter(out, {{c.input, 0, 30}}, true, settings, {}, error)) << error;
    const Walked in = Walk(c.input);
    const Walked w = Walk(out);
    EXPECT_EQ(w.Starts.size(), 31u);
    // The input's frame 0 leads the output.
    const std::string source = Slurp(c.input);
    EXPECT_EQ(Slurp(out).substr(0, 4), source.substr(static_cast<std::size_t>(in.Starts[0]), 4));
  }
}

}  // namespace
}  // namespace output_test
