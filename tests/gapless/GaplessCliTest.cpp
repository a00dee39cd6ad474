// kerfwell-cut's sample-exact cuts and splits as a user runs them, judged by
// ffmpeg and mpg123 against the decoded original; --frames and frame-number
// ranges as frame copies; the warning for a frame copy that starts inside
// the bit reservoir.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "DecodeSupport.h"
#include "cli/TimePoint.h"
#include "gapless/GaplessPlan.h"
#include "gapless/LameTag.h"
#include "stream/Scanner.h"
#include "stream/XingFrame.h"
#include "tests/cli/CliRunner.h"

namespace {

using namespace gapless_test;
using clitest::Contains;
using clitest::Outcome;

// The tag frame at the front of a file (after no ID3v2 tag), parsed.
bool LeadingTag(const std::string& path, XingTag& tag, std::string& frame) {
  const std::string bytes = clitest::Slurp(path);
  StreamProbe probe;
  std::string error;
  if (!ProbeStream(path, probe, error) || !probe.TagFrame) return false;
  frame = bytes.substr(static_cast<std::size_t>(probe.TagHeader.Position),
                       static_cast<std::size_t>(probe.TagHeader.FrameLength));
  return ParseXingTag(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size(), tag);
}

class GaplessCli : public clitest::CliRun {
 protected:
  // Makes a fixture and decodes it as the player's clock runs.
  void Load(const Fixture& f) {
    source_ = MakeFixture(dir_, f);
    ASSERT_FALSE(source_.empty()) << f.Make;
    std::string error;
    ASSERT_TRUE(ProbeFile(source_, reference_, error)) << error;
    ASSERT_TRUE(ReadGaplessStream(source_, reference_, stream_, error)) << error;
    channels_ = f.Channels;
    rate_ = stream_.SampleRate;
    whole_ = Ffmpeg(source_);
    wholeMpg_ = Mpg123(source_);
  }

  // The decoded output equals the original's samples [from, to).
  void ExpectSamples(const std::string& out, std::int64_t from, std::int64_t to, const std::string& what) {
    std::string err;
    const Difference d = Compare(Ffmpeg(out, &err), whole_, channels_, from, to);
    EXPECT_EQ(err, "") << what;
    EXPECT_EQ(d.Samples, d.Expected) << what << ": ffmpeg's length";
    EXPECT_EQ(d.Differing, 0) << what << ": ffmpeg, largest difference " << d.Largest;
    const Difference m = Compare(Mpg123(out, &err), wholeMpg_, channels_, from, to);
    EXPECT_EQ(err, "") << what << ": mpg123";
    EXPECT_EQ(m.Samples, m.Expected) << what << ": mpg123's length";
    EXPECT_LE(m.Largest, 1) << what << ": mpg123";
  }

  std::string source_;
  FrameHeader reference_;
  GaplessStream stream_;
  int channels_ = 2;
  std::int32_t rate_ = 44100;
  Pcm whole_, wholeMpg_;
};

const Fixture& Named(const std::string& name) {
  for (const Fixture& f : kFixtures)
    if (name == f.Name) return f;
  return kFixtures[0];
}

TEST_F(GaplessCli, TimeCutsPlayExactlyTheirRangeAndKeepTheEncoderString) {
  struct Case {
    const char* Fixture;
    const char* Range;
    std::int64_t From, To;  // samples, at the fixture's rate
    const char* Encoder;    // of the output's tag
    bool AnyBitRate;
  };
  const Case cases[] = {
      {"lame-cbr128", "@1.3s-0:02.71", 57330, 119511, "LAME3.100", false},
      {"lame-v2-48k", "@0:01.000021-3s", 48002, 144000, "LAME3.100", true},
      {"ffmpeg-vbr", "@0.5s-", 22050, -1, "Lavc", true},
      // Without a tag players play every decoded sample: a cut lands where
      // they show it, and one from the start begins after the 529 samples
      // that a copy's decoder makes before its first.
      {"lame-untagged", "@-2.5s", 529, 110250, "Lavf", false},
      {"lame-untagged", "@1s-2s", 44100, 88200, "Lavf", false},
      // Its frames are too small for lame's tag: a stream without one.
      {"lame-mpeg2-16k-mono", "@40f-1.9s", -40, 30400, "Lavf", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Fixture) + c.Range);
    Load(Named(c.Fixture));
    // A frame-number start is where that frame's output starts.
    const std::int64_t from = c.From >= 0 ? c.From : FirstSampleOfFrame(stream_, -c.From);
    const std::int64_t to = c.To >= 0 ? c.To : stream_.Samples();
    const std::string out = Path(std::string(c.Fixture) + "-" + std::to_string(&c - cases) + ".cut.mp3");
    std::vector<std::string> args = {"cut", "-q", "-o", out, source_ + c.Range};
    if (c.AnyBitRate) args.insert(args.begin() + 1, "--any-bitrate");
    const Outcome r = Exec(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    ExpectSamples(out, from, to, c.Range);
    XingTag tag;
    std::string frame;
    ASSERT_TRUE(LeadingTag(out, tag, frame));
    EXPECT_EQ(tag.Encoder.substr(0, std::string(c.Encoder).size()), c.Encoder);
    EXPECT_EQ(tag.TagCrc, Crc16(reinterpret_cast<const std::uint8_t*>(frame.data()), tag.TagCrcOffset()));
  }
}

// A time cut is planned from a walk that ends a few frames after its start:
// whether its stop lies before the stream's end is learnt while copying.
// Stops around the end of the samples (inside the last frames, where the
// encoder's padding lies, and past the last frame) play exactly to the
// stop or to the end, and the tag keeps the stream's padding for the end.
TEST_F(GaplessCli, StopsAroundTheEndOfTheStreamPlayExactly) {
  for (const char* name : {"lame-cbr128", "lame-untagged", "lame-mpeg2-22k-mono", "lame-v2-48k"}) {
    Load(Named(name));
    const std::int64_t total = stream_.Samples();
    // Nanosecond times of whole samples, so that each names that sample.
    const auto at = [&](std::int64_t sample) {
      const std::int64_t ns = sample * 1000000000LL / rate_;
      const std::string f = std::to_string(ns % 1000000000LL);
      return std::to_string(ns / 1000000000LL) + "." + std::string(9 - f.size(), '0') + f + "s";
    };
    const std::int64_t from = rate_ / 2 + 17;
    const std::int64_t frame = stream_.SamplesPerFrame;
    for (const std::int64_t stop : {total - frame - 1, total - 300, total - 1, total, total + 1, total + 700,
                                    total + 3 * frame, total + rate_ * 5}) {
      const std::string range = "@" + at(from) + "-" + at(stop);
      SCOPED_TRACE(std::string(name) + range);
      const std::int64_t want = SampleAt(rate_, SamplesTime(rate_, stop));
      ASSERT_EQ(want, stop) << "the time names the sample";
      const std::string out = Path(std::string(name) + "-end.mp3");
      std::filesystem::remove(out);
      const Outcome r = Exec({"cut", "-q", "--any-bitrate", "-o", out, source_ + range});
      ASSERT_EQ(r.Status, 0) << r.Err;
      EXPECT_EQ(r.Err, "");
      ExpectSamples(out, from, std::min(stop, total), range);
      XingTag tag;
      std::string bytes;
      ASSERT_TRUE(LeadingTag(out, tag, bytes));
      if (stop >= total) {
        EXPECT_EQ(tag.EndPadding, stream_.EndPadding) << "a cut to the end keeps the stream's padding";
      }
    }
  }
}

// A tag whose end padding is longer than a frame and the decoder's delay
// (a stream of several files joined and retagged, say): a stop a few frames
// before the last may already lie after the end of the samples, so the walk
// that plans the cut goes on to the stop.
TEST_F(GaplessCli, APaddingOfSeveralFramesIsWalkedToTheStop) {
  Load(Named("lame-v2-48k"));
  ASSERT_TRUE(stream_.Declared);
  std::string bytes = clitest::Slurp(source_);
  StreamProbe probe;
  std::string error;
  ASSERT_TRUE(ProbeStream(source_, probe, error) && probe.TagFrame) << error;
  auto* frame = reinterpret_cast<std::uint8_t*>(bytes.data()) + probe.TagHeader.Position;
  XingTag tag;
  ASSERT_TRUE(ParseXingTag(frame, static_cast<std::size_t>(probe.TagHeader.FrameLength), tag));
  const std::int32_t padding = 2 * stream_.SamplesPerFrame + 900;  // 12 bits hold it
  SetDelayAndPadding(frame, tag, stream_.EncoderDelay, padding);
  const std::uint16_t crc = Crc16(frame, tag.TagCrcOffset());
  frame[tag.TagCrcOffset()] = static_cast<std::uint8_t>(crc >> 8);
  frame[tag.TagCrcOffset() + 1] = static_cast<std::uint8_t>(crc);
  const std::string padded = Path("padded.mp3");
  {
    std::ofstream out(padded, std::ios::binary);
    out << bytes;
  }
  source_ = padded;
  ASSERT_TRUE(ReadGaplessStream(padded, reference_, stream_, error)) << error;
  ASSERT_EQ(stream_.EndPadding, padding);
  whole_ = Ffmpeg(padded);
  wholeMpg_ = Mpg123(padded);
  const std::int64_t total = stream_.Samples();
  ASSERT_EQ(static_cast<std::int64_t>(whole_.size()) / channels_, total) << "ffmpeg trims the padding";
  const auto at = [&](std::int64_t sample) {
    const std::int64_t ns = sample * 1000000000LL / rate_;
    const std::string f = std::to_string(ns % 1000000000LL);
    return std::to_string(ns / 1000000000LL) + "." + std::string(9 - f.size(), '0') + f + "s";
  };
  const std::int64_t from = rate_ + 3;
  for (const std::int64_t stop : {total - 5, total + 1, total + stream_.SamplesPerFrame * 2 + 9}) {
    const std::string range = "@" + at(from) + "-" + at(stop);
    SCOPED_TRACE(range);
    const std::string out = Path("padded-cut.mp3");
    std::filesystem::remove(out);
    const Outcome r = Exec({"cut", "-q", "--any-bitrate", "-o", out, padded + range});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ExpectSamples(out, from, std::min(stop, total), range);
  }
}

// Three minutes of lame's frames (without a tag frame, so none lies in the
// middle), cut in the middle: the copy goes on from where the planning walk
// met its first frame, and plays exactly the range.
TEST_F(GaplessCli, AMiddleStretchOfALongFilePlaysExactly) {
  Load(Named("lame-untagged"));
  const std::string longer = Path("longer.mp3");
  Shell("for i in $(seq 45); do cat '" + source_ + "'; done > '" + longer + "'");
  std::string error;
  FrameHeader reference;
  ASSERT_TRUE(ProbeFile(longer, reference, error)) << error;
  GaplessStream stream;
  ASSERT_TRUE(ReadGaplessStream(longer, reference, stream, error)) << error;
  const std::string out = Path("middle.mp3");
  const Outcome r = Exec({"cut", "-q", "-o", out, longer + "@1:00.25-2:00.5"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  // The decoded long file, as the player's clock runs: from the decoder's
  // first sample, as no tag declares a delay.
  Pcm all = Ffmpeg(longer);
  ASSERT_FALSE(stream.Declared);
  const std::int64_t from = SampleAt(rate_, 60250000000LL), to = SampleAt(rate_, 120500000000LL);
  std::string err;
  const Difference d = Compare(Ffmpeg(out, &err), all, channels_, from, to);
  EXPECT_EQ(err, "");
  EXPECT_EQ(d.Samples, d.Expected);
  EXPECT_EQ(d.Differing, 0) << "largest difference " << d.Largest;
}

TEST_F(GaplessCli, SplitPiecesPlayedBackToBackAreTheWhole) {
  for (const char* name : {"lame-cbr320", "ffmpeg-cbr128", "lame-mpeg2-22k-mono", "lame-untagged"}) {
    SCOPED_TRACE(name);
    Load(Named(name));
    const std::string dir = Path(std::string(name) + "-pieces");
    // A time inside a frame, a frame number, and a time at a frame edge of
    // the decoder's output.
    const std::int64_t edge = FirstSampleOfFrame(stream_, 110);
    const std::string edgeTime = std::to_string(edge / rate_) + "." + [&] {
      std::string f = std::to_string((edge % rate_) * 1000000000LL / rate_);
      return std::string(9 - f.size(), '0') + f;
    }() + "s";
    const Outcome r = Exec({"split", "-q", "-d", dir, source_, "0:00.7", "60f", edgeTime});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    Pcm joined;
    // A stream without a tag plays the decoder's first samples; no piece can.
    const std::int64_t first = stream_.Declared ? 0 : kDecoderDelay;
    std::int64_t samples = first;
    const std::int64_t bounds[] = {first, SampleAt(rate_, 700000000), FirstSampleOfFrame(stream_, 60), edge,
                                   stream_.Samples()};
    for (int i = 1; i <= 4; ++i) {
      const std::string piece = dir + "/" + name + "_0" + std::to_string(i) + ".mp3";
      // Both decoders play the piece as they play the source at its instants.
      ExpectSamples(piece, bounds[i - 1], bounds[i], piece);
      std::string err;
      const Pcm p = Ffmpeg(piece, &err);
      EXPECT_EQ(err, "") << piece;
      joined.insert(joined.end(), p.begin(), p.end());
      XingTag tag;
      std::string frame;
      ASSERT_TRUE(LeadingTag(piece, tag, frame)) << piece;
      if (i == 1) {
        EXPECT_EQ(tag.EncoderDelay, stream_.EncoderDelay) << "the first piece keeps the delay";
        EXPECT_EQ(static_cast<std::int64_t>(p.size()) / channels_, SampleAt(rate_, 700000000) - first);
      }
      if (i == 4) {
        EXPECT_EQ(tag.EndPadding, stream_.EndPadding) << "the last piece keeps the padding";
      }
      if (i == 3) {
        EXPECT_EQ(samples, FirstSampleOfFrame(stream_, 60)) << "the third piece starts where frame 60 plays";
        EXPECT_EQ(samples + static_cast<std::int64_t>(p.size()) / channels_, edge);
      }
      samples += static_cast<std::int64_t>(p.size()) / channels_;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/" + name + "_05.mp3"));
    EXPECT_EQ(samples, stream_.Samples());
    EXPECT_TRUE(joined == Pcm(whole_.begin() + first * channels_, whole_.end()))
        << "decoded back to back, the pieces are the whole";
  }
}

// Points early in a long file: the plan stops walking soon after the last
// one, and the walk that writes the pieces finds where the last one ends. It
// is said as it plays: its last frame is the stream's, its time its samples.
TEST_F(GaplessCli, TheLastPieceOfAPlanThatStoppedEarlyIsSaidAsItPlays) {
  for (const char* name : {"lame-cbr128", "lame-untagged"}) {
    Load(Named(name));
    for (const bool any : {false, true}) {
      SCOPED_TRACE(std::string(name) + (any ? " --any-bitrate" : ""));
      const std::string dir = Path(std::string(name) + (any ? "-any" : "-plain"));
      std::vector<std::string> args{"split", "-d", dir, source_, "0.3s", "0.6s"};
      if (any) args.insert(args.begin() + 1, "--any-bitrate");
      const Outcome r = Exec(args);
      ASSERT_EQ(r.Status, 0) << r.Err;
      const std::int64_t last = stream_.FirstAudioFrame + stream_.AudioFrames - 1;
      const std::int64_t samples = stream_.Samples() - SampleAt(rate_, 600'000'000);
      const std::string said = "/" + std::string(name) + "_03.mp3: frames ";
      const std::size_t at = r.Out.find(said);
      ASSERT_NE(at, std::string::npos) << r.Out;
      const std::string line = r.Out.substr(at, r.Out.find('\n', at) - at);
      EXPECT_TRUE(Contains(line, " to " + std::to_string(last) + " (")) << line;
      EXPECT_TRUE(Contains(line, FormatTime(samples * 1'000'000'000 / rate_) + ")")) << line;
      std::string err;
      EXPECT_EQ(static_cast<std::int64_t>(Ffmpeg(dir + "/" + name + "_03.mp3", &err).size()) / channels_, samples);
      EXPECT_EQ(err, "");
    }
  }
}

// Pieces of 10 ms: several begin with the same frame, so they cannot share
// one walk. mpg123 judges them: ffmpeg 5.1 drops the rest of the delay in a
// frame that the padding also begins in (the packet's side data resets it),
// so a piece whose samples all lie inside one frame comes out too long there.
TEST_F(GaplessCli, PiecesShorterThanAFramePlayBackToBack) {
  Load(Named("lame-cbr128"));
  const std::string dir = Path("short");
  const Outcome r = Exec({"split", "-q", "-d", dir, source_, "1s", "1.01s", "1.02s", "1.03s", "2s"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::int64_t bounds[] = {0, rate_, rate_ * 101 / 100, rate_ * 102 / 100, rate_ * 103 / 100, 2 * rate_,
                                 stream_.Samples()};
  Pcm joined;
  for (int i = 1; i <= 6; ++i) {
    const std::string piece = dir + "/lame-cbr128_0" + std::to_string(i) + ".mp3";
    std::string err;
    const Pcm p = Mpg123(piece, &err);
    EXPECT_EQ(err, "") << piece;
    const Difference d = Compare(p, wholeMpg_, channels_, bounds[i - 1], bounds[i]);
    EXPECT_EQ(d.Samples, d.Expected) << piece;
    EXPECT_LE(d.Largest, 1) << piece;
    joined.insert(joined.end(), p.begin(), p.end());
  }
  const Difference all = Compare(joined, wholeMpg_, channels_, 0, stream_.Samples());
  EXPECT_EQ(all.Samples, all.Expected);
  EXPECT_LE(all.Largest, 1);
}

TEST_F(GaplessCli, FramesOptionAndFrameRangesCopyFrames) {
  Load(Named("lame-cbr128"));
  // --frames: pieces that join back with cat (the Info frame of the first
  // brought up to date).
  const std::string dir = Path("frames");
  Outcome r = Exec({"split", "-q", "--frames", "-d", dir, source_, "1.3s", "100f"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::string joined;
  for (int i = 1; i <= 3; ++i) joined += clitest::Slurp(dir + "/lame-cbr128_0" + std::to_string(i) + ".mp3");
  const std::string original = clitest::Slurp(source_);
  const std::size_t info = static_cast<std::size_t>(reference_.FrameLength);
  ASSERT_EQ(joined.size(), original.size());
  EXPECT_TRUE(joined.substr(info) == original.substr(info));

  // A frame-number range is a byte copy of those frames, and says how many of
  // its first frames decode damaged; the exit status stays 0.
  std::vector<std::int64_t> starts;
  std::vector<std::int32_t> lengths;
  ScanOptions any;
  std::string error;
  ASSERT_TRUE(WalkFrames(
      source_, reference_, any,
      [&](const FrameVisit& v) {
        starts.push_back(v.Position);
        lengths.push_back(v.Length);
        return true;
      },
      error));
  r = Exec({"cut", "-q", "--frames", "-o", Path("f.mp3"), source_ + "@50f-80f", source_ + "@1f-10f"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string copied = clitest::Slurp(Path("f.mp3"));
  EXPECT_TRUE(copied == original.substr(static_cast<std::size_t>(starts[50]),
                                        static_cast<std::size_t>(starts[81] - starts[50])) +
                            original.substr(static_cast<std::size_t>(starts[1]),
                                            static_cast<std::size_t>(starts[11] - starts[1])));
  EXPECT_TRUE(Contains(r.Err, "job 1 of 2: " + source_ + "@50f-80f: the first ")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "frames will decode damaged: frame 50 takes bit-reservoir bytes")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "a time range without --frames gives an exact start")) << r.Err;
  EXPECT_FALSE(Contains(r.Err, "job 2 of 2")) << "frame 1 is the first audio frame: " << r.Err;
  EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
  // A time cut with --frames copies frames too, without the warning.
  r = Exec({"cut", "-q", "--frames", "-o", Path("t.mp3"), source_ + "@1.3s-2s"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  XingTag tag;
  std::string frame;
  EXPECT_FALSE(LeadingTag(Path("t.mp3"), tag, frame)) << "no tag frame in front of a mid-stream frame copy";
  // Times that cannot be met to the sample (joined jobs, appending) are said
  // once, and only without --frames.
  const std::string notice = "time ranges are cut at frame edges when ";
  r = Exec({"cut", "-q", "-o", Path("joined.mp3"), source_ + "@1.3s-2s", source_ + "@0:03-"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Contains(r.Err, notice + "several jobs are joined")) << r.Err;
  r = Exec({"cut", "-q", "--append", "-o", Path("joined.mp3"), source_ + "@1s-2s"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Contains(r.Err, notice + "appending")) << r.Err;
  r = Exec({"cut", "-q", "--frames", "--append", "-o", Path("joined.mp3"), source_ + "@1s-2s"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_FALSE(Contains(r.Err, notice)) << r.Err;
}

TEST_F(GaplessCli, LayerTwoTimeCutsStayFrameCopies) {
  const std::string in = Path("l2.mp2");
  Shell("sox -n -r 48000 -c 2 -b 16 '" + Path("l2.wav") + "' synth 3 pinknoise gain -3");
  Shell("twolame --quiet -b 192 '" + Path("l2.wav") + "' '" + in + "'");
  ASSERT_TRUE(std::filesystem::exists(in));
  // 24 ms frames: 0.5 s plays in frame 20, 1 s in 41 (the last to start
  // before it is 41).
  Outcome r = Exec({"cut", "-q", "-o", Path("t.mp2"), in + "@0.5s-1s"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  r = Exec({"cut", "-q", "-o", Path("f.mp2"), in + "@20f-41f"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(clitest::Slurp(Path("t.mp2")) == clitest::Slurp(Path("f.mp2")));
  EXPECT_FALSE(clitest::Slurp(Path("t.mp2")).empty());
}

TEST_F(GaplessCli, InfoGivesTheDelayPaddingAndExactLength) {
  Load(Named("lame-cbr128"));
  Outcome r = Exec({"info", source_});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Contains(r.Out, "EncoderDelay: 576\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "EndPadding: " + std::to_string(stream_.EndPadding) + "\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "Samples: " + std::to_string(whole_.size() / 2) + "\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "ExactDuration: 0:00:04.000000\n")) << r.Out;
  // Without a tag: no delay or padding to print, and the decoder's delay is
  // not played.
  Load(Named("lame-untagged"));
  r = Exec({"info", source_});
  EXPECT_FALSE(Contains(r.Out, "EncoderDelay")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "Samples: " + std::to_string(whole_.size() / 2) + "\n")) << r.Out;
}

}  // namespace
