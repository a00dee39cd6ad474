#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "StreamFixtures.h"
#include "stream/Scanner.h"

namespace kerfwell_test {
namespace {

using Calls = std::vector<std::pair<std::int32_t, std::int32_t>>;

// 417- and 418-byte frames of one 128 kbps stream, padding mixed in.
std::vector<Bytes> MixedFrames(int n) {
  std::vector<Bytes> frames;
  for (int i = 0; i < n; ++i) frames.push_back(Frame128(i % 3 == 1, static_cast<char>('a' + i % 26)));
  return frames;
}

Bytes Join(const std::vector<Bytes>& frames, std::size_t from = 0, std::size_t to = ~std::size_t{0}) {
  Bytes all;
  for (std::size_t i = from; i < frames.size() && i <= to; ++i) all += frames[i];
  return all;
}

struct Cut {
  ScanResult Result;
  Calls Progress;
};

Cut CutFrames(const std::string& in, const std::string& out, std::int32_t start, std::int32_t stop) {
  FrameHeader ref;
  EXPECT_TRUE(ProbeFile(in, ref));
  Cut c;
  c.Result = ScanFrames(in, out, start, stop, false, ref, [&c](std::int32_t done, std::int32_t total) {
    c.Progress.emplace_back(done, total);
  });
  return c;
}

std::int32_t Count(const std::string& in) {
  FrameHeader ref;
  ProbeFile(in, ref);
  return ScanFrames(in, "", 0, 100, true, ref).Count;
}

TEST(ScanFrames, PaddedAndUnpaddedFramesAreCountedAndCopiedByteForByte) {
  ScratchDir dir;
  const Bytes stream = Join(MixedFrames(20));
  WriteFile(dir / "in.mp3", stream);
  EXPECT_EQ(Count(dir / "in.mp3"), 20);
  const Cut c = CutFrames(dir / "in.mp3", dir / "out.mp3", 0, 20);
  EXPECT_TRUE(c.Result.Ok()) << c.Result.Message;
  EXPECT_EQ(c.Result.Count, 20);
  EXPECT_EQ(c.Result.Written, 20);
  EXPECT_EQ(ReadFile(dir / "out.mp3"), stream);
  ASSERT_EQ(c.Progress.size(), 20u);
  EXPECT_EQ(c.Progress.back(), std::make_pair(19, 20));
}

TEST(ScanFrames, RangesAreInclusiveAndReportProgressPerFrame) {
  ScratchDir dir;
  const std::vector<Bytes> frames = MixedFrames(20);
  WriteFile(dir / "in.mp3", Join(frames));

  const Cut middle = CutFrames(dir / "in.mp3", dir / "5-9.mp3", 5, 9);
  EXPECT_EQ(ReadFile(dir / "5-9.mp3"), Join(frames, 5, 9));
  EXPECT_EQ(middle.Progress, (Calls{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(middle.Result.Count, 20);  // the scan goes on to the end

  const Cut beyond = CutFrames(dir / "in.mp3", dir / "15-99.mp3", 15, 99);
  EXPECT_EQ(ReadFile(dir / "15-99.mp3"), Join(frames, 15));
  EXPECT_EQ(beyond.Progress.size(), 5u);

  const Cut single = CutFrames(dir / "in.mp3", dir / "7-7.mp3", 7, 7);
  EXPECT_EQ(ReadFile(dir / "7-7.mp3"), frames[7]);
  EXPECT_EQ(single.Progress, (Calls{{0, 0}}));

  const Cut reversed = CutFrames(dir / "in.mp3", dir / "deep/er/9-5.mp3", 9, 5);
  EXPECT_TRUE(reversed.Result.Ok());
  EXPECT_TRUE(Exists(dir / "deep/er/9-5.mp3"));  // created, though nothing is written
  EXPECT_EQ(ReadFile(dir / "deep/er/9-5.mp3"), "");
  EXPECT_TRUE(reversed.Progress.empty());
  EXPECT_EQ(reversed.Result.Written, 0);
}

TEST(ScanFrames, OutputIsAppendedToAndCreatedWithItsDirectories) {
  ScratchDir dir;
  const std::vector<Bytes> frames = MixedFrames(12);
  WriteFile(dir / "in.mp3", Join(frames));
  WriteFile(dir / "existing.mp3", "earlier content");
  CutFrames(dir / "in.mp3", dir / "existing.mp3", 0, 2);
  CutFrames(dir / "in.mp3", dir / "existing.mp3", 10, 11);
  EXPECT_EQ(ReadFile(dir / "existing.mp3"), "earlier content" + Join(frames, 0, 2) + Join(frames, 10, 11));

  const Cut c = CutFrames(dir / "in.mp3", dir / "a/b/c/out.mp3", 3, 3);
  EXPECT_TRUE(c.Result.Ok()) << c.Result.Message;
  EXPECT_EQ(ReadFile(dir / "a/b/c/out.mp3"), frames[3]);
}

TEST(ScanFrames, AMissingInputTouchesNothing) {
  ScratchDir dir;
  FrameHeader ref;
  for (bool countOnly : {false, true}) {
    const ScanResult r = ScanFrames(dir / "missing.mp3", dir / "sub/out.mp3", 0, 10, countOnly, ref);
    EXPECT_EQ(r.Status, ScanStatus::InputMissing);
    EXPECT_EQ(r.Count, 0);
    EXPECT_NE(r.Message.find(dir / "missing.mp3"), std::string::npos);
    EXPECT_FALSE(Exists(dir / "sub"));
  }
}

TEST(ScanFrames, TrailingTagIsNeitherCountedNorCopied) {
  ScratchDir dir;
  const Bytes frames = Join(MixedFrames(8));
  Bytes tag = "TAGSome title";
  tag.resize(128, ' ');
  WriteFile(dir / "in.mp3", frames + tag);
  EXPECT_EQ(Count(dir / "in.mp3"), 8);
  CutFrames(dir / "in.mp3", dir / "out.mp3", 0, 8);
  EXPECT_EQ(ReadFile(dir / "out.mp3"), frames);
}

TEST(ScanFrames, AFrameCutShortByTheEndIsCountedButNeverWritten) {
  ScratchDir dir;
  const Bytes whole = Join(MixedFrames(10));
  WriteFile(dir / "in.mp3", whole + Frame128(false).substr(0, 100));
  const Cut c = CutFrames(dir / "in.mp3", dir / "out.mp3", 0, 100);
  EXPECT_EQ(c.Result.Count, 11);
  EXPECT_EQ(c.Result.Written, 10);
  EXPECT_EQ(ReadFile(dir / "out.mp3"), whole);
}

TEST(ScanFrames, FewerThanFourBytesAtTheEndAreNotExamined) {
  ScratchDir dir;
  const Bytes whole = Join(MixedFrames(4));
  for (std::size_t tail = 0; tail <= 4; ++tail) {
    SCOPED_TRACE(tail);
    WriteFile(dir / "in.mp3", whole + HeaderBytes({}).substr(0, tail));
    // A complete header there starts a frame that the end cuts short: counted.
    EXPECT_EQ(Count(dir / "in.mp3"), tail == 4 ? 5 : 4);
  }
}

TEST(ScanFrames, ToleranceIsOneByteOrOneLayerISlot) {
  ScratchDir dir;
  HeaderFields layer1;  // MPEG-1 Layer I, 384 kbps, 44100 Hz: 416 bytes, 420 padded
  layer1.Layer = 3;
  layer1.BitRateIndex = 12;
  HeaderFields layer1Padded = layer1;
  layer1Padded.Padding = 1;
  HeaderFields layer1Slow = layer1;  // 128 kbps: 136 bytes
  layer1Slow.BitRateIndex = 4;

  const std::vector<Bytes> layerI = {Frame(layer1, 416, 'a'), Frame(layer1Padded, 420, 'b'),
                                     Frame(layer1, 416, 'c'), Frame(layer1Padded, 420, 'd')};
  WriteFile(dir / "l1.mp1", Join(layerI) + Frame(layer1Slow, 136, 'e') + layerI[0]);
  const Cut l1 = CutFrames(dir / "l1.mp1", dir / "l1-out.mp1", 0, 100);
  EXPECT_EQ(l1.Result.Count, 6);
  // 136 is far off: counted, not copied, stepped over; the next frame is met.
  EXPECT_EQ(ReadFile(dir / "l1-out.mp1"), Join(layerI) + layerI[0]);

  // A Layer III reference admits one byte: the 416-byte Layer I frame, not the
  // 420. (The first frame is confirmed by the second, of its own stream.)
  const std::vector<Bytes> l3 = {Frame128(false, 'o'), Frame128(false, 'p'), Frame(layer1, 416, 'q'),
                                 Frame128(true, 'r')};
  WriteFile(dir / "l3.mp3", Join(l3) + Frame(layer1Padded, 420, 's') + Frame128(false, 't'));
  const Cut c3 = CutFrames(dir / "l3.mp3", dir / "l3-out.mp3", 0, 100);
  EXPECT_EQ(c3.Result.Count, 6);
  // The 420 is stepped over by its own length, so 't' is met where it starts.
  EXPECT_EQ(c3.Result.Written, 5);
  EXPECT_EQ(ReadFile(dir / "l3-out.mp3"), Join(l3) + Frame128(false, 't'));
}

TEST(ScanFrames, RealFilesCountTheirFrames) {
  // Encoder frames (ffprobe's packet count) plus lame's Info frame, which is
  // itself a valid frame of the stream's length.
  const struct {
    const char* name;
    int count;
  } kCases[] = {
      {"cbr128.mp3", 116 + 1}, {"tagged.mp3", 116 + 1}, {"mpeg2-l3.mp3", 156 + 1},
      {"mpeg1-l2.mp2", 84},    {"mpeg2-l2.mp2", 63},
  };
  for (const auto& c : kCases) EXPECT_EQ(Count(TestData(c.name)), c.count) << c.name;
}

}  // namespace
}  // namespace kerfwell_test
