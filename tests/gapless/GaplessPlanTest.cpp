// The delay and padding arithmetic of sample-exact cuts, on streams described
// by hand.

#include <gtest/gtest.h>

#include "gapless/CarrierFrame.h"
#include "gapless/GaplessPlan.h"
#include "gapless/LameTag.h"
#include "gapless/SideInfo.h"

namespace {

GaplessStream Stream(int spf, int granules, std::int64_t frames, int delay, int padding, bool declared = true) {
  GaplessStream s;
  s.SamplesPerFrame = spf;
  s.SampleRate = spf == 1152 ? 44100 : 22050;
  s.Granules = granules;
  s.FirstAudioFrame = declared ? 1 : 0;
  s.AudioFrames = frames;
  s.Declared = declared;
  s.EncoderDelay = declared ? delay : 0;
  s.EndPadding = declared ? padding : 0;
  return s;
}

// A reach without the reservoir's bytes: the frames that hold them are copied.
ReservoirReach Reach(std::int64_t firstNeeded) {
  ReservoirReach r;
  r.FirstNeeded = firstNeeded;
  return r;
}

// What a gapless decoder makes of the plan: it decodes the plan's frames and
// drops delay + 529 samples at the front and plays up to 529 samples past the
// padding's start.
std::int64_t PlayedSamples(const GaplessStream& s, const GaplessPlan& p) {
  const std::int64_t decoded = p.Frames() * s.SamplesPerFrame;
  return std::min(decoded, decoded - p.EndPadding + kDecoderDelay) - p.EncoderDelay - kDecoderDelay;
}

// The decoder sample of the whole stream that the plan's first played sample is.
std::int64_t FirstPlayed(const GaplessStream& s, const GaplessPlan& p) {
  const std::int64_t carrier = p.Carrier.empty() ? 0 : 1;
  return (p.FirstFrame - s.FirstAudioFrame - carrier) * s.SamplesPerFrame + p.EncoderDelay + kDecoderDelay;
}

TEST(GaplessPlan, RangesPlayExactlyTheirSamples) {
  const GaplessStream lame = Stream(1152, 2, 1000, 576, 1200);
  const GaplessStream mpeg2 = Stream(576, 1, 2000, 576, 900);
  const GaplessStream bare = Stream(1152, 2, 1000, 0, 0, false);
  struct Case {
    const char* What;
    GaplessStream S;
    SampleRange Range;
    std::int64_t FirstNeededBack;  // frames before the reach frame the reservoir needs
    std::int32_t PreRoll;
  };
  const Case cases[] = {
      {"MPEG-1 inside frames", lame, {441000, 882000}, 1, 2},
      {"MPEG-1 at a frame edge", lame, {1152 * 100 - 1105, 1152 * 200 - 1105}, 0, 1},
      {"MPEG-1 one sample before an edge", lame, {1152 * 100 - 1106, 1152 * 200 - 1106}, 0, 1},
      {"MPEG-1 reservoir three back", lame, {1152 * 434 - 1095, 500001}, 3, 4},
      {"MPEG-2 overlaps two frames", mpeg2, {220500, 330750}, 1, 3},
      {"no tag: a range in the decoder's first samples starts after them", bare, {0, 1000}, 0, 0},
      {"no tag, later", bare, {44100, 88200}, 2, 3},
      {"no tag, at a frame edge", bare, {1152 * 10, 1152 * 20}, 1, 2},
      {"no tag, just after the decoder's first samples", bare, {529, 1152 * 3}, 0, 0},
      {"to the end", lame, {1000000, -1}, 1, 2},
  };
  for (const Case& c : cases) {
    const std::int64_t reach = ReachFrame(c.S, c.Range.Start);
    GaplessPlan p;
    ASSERT_TRUE(PlanGaplessRange(c.S, c.Range, Reach(reach - c.FirstNeededBack), p)) << c.What;
    EXPECT_EQ(p.PreRoll, c.PreRoll) << c.What;
    EXPECT_FALSE(p.PreRollLimited()) << c.What;
    EXPECT_EQ(p.StartFrame - p.FirstFrame, p.PreRoll) << c.What;
    const std::int64_t stop = c.Range.Stop < 0 ? c.S.Samples() : c.Range.Stop;
    // A copy's decoder makes 529 samples before its first played one: a
    // stream that plays them (no tag) can be cut only after them.
    const std::int64_t start = std::max(c.Range.Start, kDecoderDelay - c.S.DecoderOffset());
    EXPECT_EQ(p.Start, start) << c.What;
    EXPECT_EQ(PlayedSamples(c.S, p), stop - start) << c.What;
    EXPECT_EQ(FirstPlayed(c.S, p), start + c.S.DecoderOffset()) << c.What;
    EXPECT_GE(p.EncoderDelay, 0) << c.What;
    EXPECT_LE(p.EncoderDelay, kLargestTagDelay) << c.What;
    EXPECT_GE(p.EndPadding, 0) << c.What;
    EXPECT_LE(p.EndPadding, kLargestTagDelay) << c.What;
    // The last frame holds the last sample, and no frame after it is copied.
    const std::int64_t lastDecoded = stop - 1 + c.S.DecoderOffset();
    EXPECT_EQ(p.LastFrame - c.S.FirstAudioFrame, lastDecoded / c.S.SamplesPerFrame) << c.What;
  }
}

TEST(GaplessPlan, FirstAndLastPiecesKeepTheStreamsDelayAndPadding) {
  for (const GaplessStream& s : {Stream(1152, 2, 500, 576, 1300), Stream(576, 1, 800, 1105, 300),
                                 Stream(1152, 2, 500, 2500, 2000), Stream(1152, 2, 500, 576, 100)}) {
    GaplessPlan first, last;
    ASSERT_TRUE(PlanGaplessRange(s, {0, 44100}, Reach(0), first));
    EXPECT_EQ(first.FirstFrame, s.FirstAudioFrame);
    EXPECT_EQ(first.EncoderDelay, s.EncoderDelay);
    ASSERT_TRUE(PlanGaplessRange(s, {44100, -1}, Reach(ReachFrame(s, 44100) - 1), last));
    EXPECT_EQ(last.EndPadding, s.EndPadding);
    EXPECT_EQ(last.LastFrame, s.FirstAudioFrame + s.AudioFrames - 1);
    EXPECT_EQ(PlayedSamples(s, first) + PlayedSamples(s, last), s.Samples());
  }
}

TEST(GaplessPlan, ACarrierFrameHoldsTheReservoirSoThePreRollStaysShort) {
  struct Case {
    const char* What;
    GaplessStream S;
    std::vector<std::uint8_t> Header;
    std::size_t Bytes;
    std::int32_t PreRoll;
  };
  const Case cases[] = {
      // 128 kbps frames hold 381 bytes of main data: 300 fit the stream's rate.
      {"MPEG-1 at the stream's rate", Stream(1152, 2, 1000, 576, 1200), {0xFF, 0xFB, 0x90, 0x64}, 300, 2},
      {"MPEG-1, 511 bytes need a higher rate", Stream(1152, 2, 1000, 576, 1200), {0xFF, 0xFB, 0x90, 0x64}, 511, 2},
      {"MPEG-2 mono", Stream(576, 1, 2000, 576, 900), {0xFF, 0xF3, 0x40, 0xC4}, 255, 3},
  };
  for (const Case& c : cases) {
    const std::int64_t start = 1152 * 434 - 1095;  // late enough for any pre-roll
    ReservoirReach r;
    r.FirstNeeded = ReachFrame(c.S, start) - 5;  // copying would take 5 frames more
    for (std::size_t i = 0; i < c.Bytes; ++i) r.Carried.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    std::copy(c.Header.begin(), c.Header.end(), r.Header);
    GaplessPlan p;
    ASSERT_TRUE(PlanGaplessRange(c.S, {start, start + 50000}, r, p)) << c.What;
    ASSERT_FALSE(p.Carrier.empty()) << c.What;
    EXPECT_EQ(p.PreRoll, c.PreRoll) << c.What << ": the carrier and the overlap frames";
    EXPECT_FALSE(p.PreRollLimited()) << c.What;
    EXPECT_EQ(p.StartFrame - p.FirstFrame + 1, p.PreRoll) << c.What;
    EXPECT_EQ(PlayedSamples(c.S, p), 50000) << c.What;
    EXPECT_EQ(FirstPlayed(c.S, p), start + c.S.DecoderOffset()) << c.What;
    // A silent frame of the stream's kind: no reservoir of its own, no
    // granule data, the bytes at the end of its main data.
    Layer3SideInfo side;
    ASSERT_TRUE(ParseLayer3SideInfo(p.Carrier.data(), p.Carrier.size(), side)) << c.What;
    EXPECT_EQ(side.MainDataBegin, 0);
    EXPECT_EQ(side.MainDataBits, 0);
    EXPECT_EQ(p.Carrier[1] & 0xFE, c.Header[1] & 0xFE) << c.What << ": version and layer";
    EXPECT_EQ(p.Carrier[2] & 0x0C, c.Header[2] & 0x0C) << c.What << ": sampling frequency";
    EXPECT_EQ(p.Carrier[3], c.Header[3]) << c.What << ": mode";
    EXPECT_TRUE(std::equal(r.Carried.begin(), r.Carried.end(), p.Carrier.end() - static_cast<std::ptrdiff_t>(c.Bytes)));
    FrameHeader h;
    DecodeFrameHeader(p.Carrier[0], p.Carrier[1], p.Carrier[2], p.Carrier[3], 0, 0, h);
    EXPECT_EQ(static_cast<std::size_t>(h.FrameLength), p.Carrier.size());
    if (c.Bytes <= 381 && c.S.Granules == 2) {
      EXPECT_EQ(p.Carrier[2] >> 4, 9) << "the stream's own 128 kbps";
    }
  }
}

// Without the reservoir's bytes at hand (no carrier) the frames that hold
// them are copied, as many as the delay field allows.
TEST(GaplessPlan, TheTwelveBitDelayFieldLimitsThePreRoll) {
  const GaplessStream s = Stream(1152, 2, 1000, 576, 1200);
  // The start lies late in its frame: 1151 - 529 samples of it are delay.
  const std::int64_t start = 1152 * 300 - 1105 + 1151;
  GaplessPlan p;
  ASSERT_TRUE(PlanGaplessRange(s, {start, start + 10000}, Reach(ReachFrame(s, start) - 4), p));
  EXPECT_EQ(p.PreRollWanted, 5);
  EXPECT_EQ(p.PreRoll, 3) << "3 × 1152 + 622 fits 4095, 4 × 1152 + 622 does not";
  EXPECT_TRUE(p.PreRollLimited());
  EXPECT_EQ(p.EncoderDelay, 3 * 1152 + 622);
  EXPECT_EQ(PlayedSamples(s, p), 10000);
}

TEST(GaplessPlan, RangesOutsideTheStreamAreRefused) {
  const GaplessStream s = Stream(1152, 2, 100, 576, 1200);
  GaplessPlan p;
  EXPECT_FALSE(PlanGaplessRange(s, {s.Samples(), -1}, Reach(0), p));
  EXPECT_FALSE(PlanGaplessRange(s, {500, 500}, Reach(0), p));
  ASSERT_TRUE(PlanGaplessRange(s, {s.Samples() - 1, s.Samples() + 5000}, Reach(90), p));
  EXPECT_EQ(p.Samples(), 1) << "a stop past the end is the end";
}

TEST(GaplessPlan, StreamLengthFollowsTheDecoders) {
  EXPECT_EQ(Stream(1152, 2, 100, 576, 1200).Samples(), 115200 - 576 - 1200);
  EXPECT_EQ(Stream(1152, 2, 100, 576, 100).Samples(), 115200 - 576 - 529) << "padding below the decoder delay";
  EXPECT_EQ(Stream(1152, 2, 100, 0, 0, false).Samples(), 115200) << "no tag: every decoded sample";
}

TEST(GaplessPlan, DamagedLeadingFramesCountLackingFramesAndTheirOverlap) {
  const GaplessStream mpeg1 = Stream(1152, 2, 100, 576, 1200);
  const GaplessStream mpeg2 = Stream(576, 1, 100, 576, 1200);
  EXPECT_EQ(DamagedLeadingFrames(mpeg1, 10, {8, 11}), 3);
  EXPECT_EQ(DamagedLeadingFrames(mpeg2, 10, {9, 10}), 3);
  EXPECT_EQ(DamagedLeadingFrames(mpeg1, 10, {10, -1}), 0);
}

TEST(GaplessTag, FreshTagIsHonouredByBothDecodersAndHoldsItsFields) {
  GaplessStream s = Stream(576, 1, 100, 0, 0, false);
  DecodeFrameHeader(0xFF, 0xF3, 0x18, 0xC4, 0, 0, s.FirstAudio);  // MPEG-2, 8 kbps, 16 kHz, mono
  for (bool vbr : {false, true}) {
    GaplessTagFrame t;
    ASSERT_TRUE(MakeGaplessTagFrame(s, vbr, 4000, 1234, t));
    XingTag parsed;
    ASSERT_TRUE(ParseXingTag(t.Bytes.data(), t.Bytes.size(), parsed)) << "the smallest rate cannot hold it";
    EXPECT_EQ(parsed.Info, !vbr);
    ASSERT_TRUE(parsed.HasLame);
    EXPECT_TRUE(DecodersHonourEncoder(parsed.Encoder)) << parsed.Encoder;
    EXPECT_EQ(parsed.EncoderDelay, 4000);
    EXPECT_EQ(parsed.EndPadding, 1234);
    XingCounts counts;
    counts.Frames = 77;
    counts.Bytes = 5000;
    counts.MusicCrc = 0xBEEF;
    FillGaplessTag(t, counts);
    ASSERT_TRUE(ParseXingTag(t.Bytes.data(), t.Bytes.size(), parsed));
    EXPECT_EQ(parsed.Frames, 77u);
    EXPECT_EQ(parsed.MusicLength, 5000u);
    EXPECT_EQ(parsed.MusicCrc, 0xBEEF);
    EXPECT_EQ(parsed.EncoderDelay, 4000) << "filling the counts keeps the delay";
    EXPECT_EQ(parsed.EndPadding, 1234);
    EXPECT_EQ(parsed.TagCrc, Crc16(t.Bytes.data(), parsed.TagCrcOffset()));
  }
  GaplessTagFrame t;
  EXPECT_FALSE(MakeGaplessTagFrame(s, false, 4096, 0, t)) << "12 bits";
}

}  // namespace
