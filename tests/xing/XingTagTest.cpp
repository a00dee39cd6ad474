// Parsing, rewriting and building tag frames in memory.

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <set>
#include <string>

#include "XingTestSupport.h"
#include "stream/XingFrame.h"

using namespace xing_test;

namespace {

TEST(XingCrc16, MatchesTheStandardCheckValueAndABitwiseCrc) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xBB3D);  // CRC-16/ARC

  std::mt19937 rng(7);
  for (std::size_t n : {0u, 1u, 2u, 190u, 1000u}) {
    Bytes data(n);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    EXPECT_EQ(Crc16(data.data(), n), BitwiseCrc16(data.data(), n)) << n;
    // Going on from a partial result is the same as one pass.
    const std::size_t half = n / 2;
    EXPECT_EQ(Crc16(data.data() + half, n - half, Crc16(data.data(), half)), BitwiseCrc16(data.data(), n))
        << n;
  }
}

// Long runs are folded 64 bytes a step where the processor allows, with the
// tables finishing the last block and the bytes after it: every length around
// the block edges, from any starting value and any alignment, must agree with
// the bitwise CRC.
TEST(XingCrc16, FoldedRunsAgreeWithTheBitwiseCrcAtEveryLengthAndStart) {
  std::mt19937 rng(11);
  Bytes data(4200);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  for (std::size_t n = 0; n < 400; ++n) {
    const auto start = static_cast<std::uint16_t>(rng());
    const std::size_t skew = n % 13;
    ASSERT_EQ(Crc16(data.data() + skew, n, start), BitwiseCrc16(data.data() + skew, n, start)) << n;
    ASSERT_EQ(Crc16ByTables(data.data() + skew, n, start), BitwiseCrc16(data.data() + skew, n, start)) << n;
  }
  for (std::size_t n : {1023u, 1024u, 1025u, 4095u, 4160u}) {
    EXPECT_EQ(Crc16(data.data(), n, 0xFFFF), BitwiseCrc16(data.data(), n, 0xFFFF)) << n;
    EXPECT_EQ(Crc16(data.data() + 3, n, 0), BitwiseCrc16(data.data() + 3, n, 0)) << n;
  }
}

struct ParseCase {
  const char* Name;
  TagSpec Spec;
  std::size_t Offset;      // where the id must be found
  std::size_t LameOffset;  // 0 without an extension
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.Name; }

class XingParseTable : public testing::TestWithParam<ParseCase> {};

TEST_P(XingParseTable, FindsTheIdAfterTheSideInformationAndReadsEveryField) {
  const ParseCase& c = GetParam();
  const BuiltTag built = MakeTagFrame(c.Spec);
  ASSERT_EQ(built.Offset, c.Offset);  // the builder agrees with the table of offsets
  XingTag tag;
  ASSERT_TRUE(ParseXingTag(built.Frame.data(), built.Frame.size(), tag));
  EXPECT_TRUE(FrameHoldsXingTag(built.Frame.data(), built.Frame.size()));
  EXPECT_EQ(tag.Offset, c.Offset);
  EXPECT_EQ(tag.Info, std::string(c.Spec.Id) == "Info");
  EXPECT_EQ(tag.Flags, c.Spec.Flags);
  EXPECT_EQ(tag.Frames, (c.Spec.Flags & 1) ? 1000u : 0u);
  EXPECT_EQ(tag.Bytes, (c.Spec.Flags & 2) ? 400000u : 0u);
  EXPECT_EQ(tag.Toc[50], (c.Spec.Flags & 4) ? 100 : 0);
  EXPECT_EQ(tag.Quality, (c.Spec.Flags & 8) ? 57u : 0u);
  EXPECT_EQ(tag.HasLame, c.LameOffset != 0);
  if (c.LameOffset != 0) {
    EXPECT_EQ(tag.LameOffset, c.LameOffset);
    EXPECT_EQ(tag.Encoder, c.Spec.Encoder);
    EXPECT_EQ(tag.EncoderDelay, 576);
    EXPECT_EQ(tag.EndPadding, 1234);
    EXPECT_EQ(tag.MusicLength, 400000u);
    EXPECT_EQ(tag.MusicCrc, 0xBEEF);
    EXPECT_EQ(tag.TagCrcOffset(), c.LameOffset + 34);
    EXPECT_EQ(tag.TagCrc, BitwiseCrc16(built.Frame.data(), c.LameOffset + 34));
  }
}

TagSpec Spec(int version, int mode, bool crc, const char* id, std::uint32_t flags, bool lame,
             int bitRateIndex = 9) {
  TagSpec s;
  s.VersionId = version;
  s.Mode = mode;
  s.Crc = crc;
  s.Id = id;
  s.Flags = flags;
  s.Lame = lame;
  s.BitRateIndex = bitRateIndex;
  return s;
}

// Offsets: 4 + side information (MPEG-1 32/17, MPEG-2 17/9), whether or not
// the header has a CRC, as lame writes and ffmpeg and mpg123 read. The LAME
// extension follows the fields present; for MPEG-1 stereo with all four its
// tag CRC lands at byte 190.
INSTANTIATE_TEST_SUITE_P(
    Frames, XingParseTable,
    testing::Values(ParseCase{"Mpeg1StereoInfoLame", Spec(3, 0, false, "Info", 0xF, true), 36, 156},
                    ParseCase{"Mpeg1JointXingLameCrc", Spec(3, 1, true, "Xing", 0xF, true), 36, 156},
                    ParseCase{"Mpeg1DualXingNoLame", Spec(3, 2, false, "Xing", 0xF, false), 36, 0},
                    ParseCase{"Mpeg1MonoInfoLame", Spec(3, 3, false, "Info", 0xF, true, 5), 21, 141},
                    ParseCase{"Mpeg1MonoXingCrcNoQuality", Spec(3, 3, true, "Xing", 0x7, true, 5), 21, 137},
                    ParseCase{"Mpeg2StereoInfoLame", Spec(2, 1, false, "Info", 0xF, true, 8), 21, 141},
                    ParseCase{"Mpeg2StereoFramesOnly", Spec(2, 0, true, "Xing", 0x1, true, 8), 21, 33},
                    ParseCase{"Mpeg2MonoNoToc", Spec(2, 3, false, "Xing", 0x3, false, 8), 13, 0},
                    ParseCase{"Mpeg2MonoCrcLame", Spec(2, 3, true, "Info", 0xF, true, 8), 13, 133},
                    ParseCase{"NoFlagsAtAll", Spec(3, 1, false, "Info", 0x0, true), 36, 44}),
    [](const testing::TestParamInfo<ParseCase>& p) { return std::string(p.param.Name); });

TEST(ParseXingTag, RefusesFramesThatAreNotTagFrames) {
  const TagSpec base = Spec(3, 1, false, "Info", 0xF, true);
  XingTag tag;
  {
    BuiltTag t = MakeTagFrame(base);
    std::memcpy(&t.Frame[t.Offset], "Xinh", 4);
    EXPECT_FALSE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag)) << "another id";
  }
  {
    // With a CRC the tag stays where it is; two bytes later players do not look.
    BuiltTag t = MakeTagFrame(Spec(3, 1, true, "Info", 0xF, false));
    Bytes moved = t.Frame;
    std::fill(moved.begin() + 6, moved.end(), 0);
    std::memcpy(&moved[t.Offset + 2], "Info", 4);
    EXPECT_FALSE(ParseXingTag(moved.data(), moved.size(), tag)) << "id after the CRC's two bytes";
  }
  {
    // A tagger's bytes in the side information: still a tag, to be made true.
    BuiltTag t = MakeTagFrame(base);
    t.Frame[20] = 0x01;
    ASSERT_TRUE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag)) << "side information not blank";
    EXPECT_FALSE(tag.BlankSideInfo);
    ASSERT_TRUE(ParseXingTag(MakeTagFrame(base).Frame.data(), t.Frame.size(), tag));
    EXPECT_TRUE(tag.BlankSideInfo);
  }
  {
    BuiltTag t = MakeTagFrame(base);
    t.Frame[1] = 0xFD;  // Layer II
    EXPECT_FALSE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag)) << "Layer II";
  }
  {
    BuiltTag t = MakeTagFrame(base);
    t.Frame[2] = 0xF0;  // bit-rate index 15
    EXPECT_FALSE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag)) << "invalid header";
  }
  {
    // 32 kbps MPEG-1: 104 bytes, too short for the TOC the flags declare.
    BuiltTag t = MakeTagFrame(Spec(3, 3, false, "Xing", 0x3, false, 1));
    ASSERT_EQ(t.Frame.size(), 104u);
    PutBe32(&t.Frame[t.Offset + 4], 0x7);
    EXPECT_FALSE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag)) << "TOC past the frame";
    PutBe32(&t.Frame[t.Offset + 4], 0x3);
    EXPECT_TRUE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag)) << "frames and bytes fit";
  }
  {
    const BuiltTag t = MakeTagFrame(base);
    EXPECT_FALSE(ParseXingTag(t.Frame.data(), t.Offset + 7, tag)) << "cut before the flags end";
    EXPECT_FALSE(ParseXingTag(t.Frame.data(), 3, tag)) << "not even a header";
  }
}

TEST(ParseXingTag, AcceptsTheStereoHeaderWithoutFlagsThatFfmpegWrites) {
  BuiltTag t = MakeTagFrame(Spec(3, 0, false, "Info", 0xF, true));
  t.Frame[3] = 0x00;  // FF FB 90 00
  XingTag tag;
  ASSERT_TRUE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag));
  EXPECT_EQ(tag.Offset, 36u);
  EXPECT_TRUE(tag.HasLame);
}

TEST(ParseXingTag, TellsAnExtensionFromBlankOrStrayBytes) {
  XingTag tag;
  for (const char* encoder : {"LAME3.100", "Lavc59.37", "Lavf"}) {
    TagSpec s = Spec(3, 1, false, "Info", 0xF, true);
    s.Encoder = encoder;
    const BuiltTag t = MakeTagFrame(s);
    ASSERT_TRUE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag));
    EXPECT_TRUE(tag.HasLame) << encoder;
    EXPECT_EQ(tag.Encoder, encoder);
  }
  BuiltTag t = MakeTagFrame(Spec(3, 1, false, "Info", 0xF, true));
  t.Frame[t.LameOffset] = 0x00;
  ASSERT_TRUE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag));
  EXPECT_FALSE(tag.HasLame) << "blank";
  t.Frame[t.LameOffset] = 'L';
  t.Frame[t.LameOffset + 5] = 0xFF;
  ASSERT_TRUE(ParseXingTag(t.Frame.data(), t.Frame.size(), tag));
  EXPECT_FALSE(tag.HasLame) << "binary bytes";
}

// The positions a rewrite may touch, for a frame built by MakeTagFrame.
std::set<std::size_t> FieldBytes(const BuiltTag& t, std::uint32_t flags) {
  std::set<std::size_t> s;
  std::size_t p = t.Offset + 8;
  auto add = [&](std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) s.insert(p + i);
    p += n;
  };
  if (flags & 1) add(4);
  if (flags & 2) add(4);
  if (flags & 4) add(100);
  if (t.LameOffset) {
    for (std::size_t i : {22u, 23u, 28u, 29u, 30u, 31u, 32u, 33u, 34u, 35u}) s.insert(t.LameOffset + i);
  }
  return s;
}

TEST(RewriteXingTag, WritesTheCountsAndBothCrcsAndNothingElse) {
  struct Case {
    TagSpec Spec;
    bool KeepPadding;
  };
  const Case cases[] = {
      {Spec(3, 1, false, "Info", 0xF, true), false},     {Spec(3, 1, true, "Xing", 0xF, true), true},
      {Spec(3, 3, false, "Info", 0x7, true, 5), false},  {Spec(2, 1, false, "Xing", 0x3, true, 8), false},
      {Spec(2, 3, false, "Info", 0xF, false, 8), false}, {Spec(3, 0, false, "Xing", 0x1, false), false},
  };
  for (const Case& c : cases) {
    const BuiltTag built = MakeTagFrame(c.Spec);
    XingTag before;
    ASSERT_TRUE(ParseXingTag(built.Frame.data(), built.Frame.size(), before));
    XingCounts counts;
    counts.Frames = 517;
    counts.Bytes = 216321;
    for (int i = 0; i < 100; ++i)
      counts.Toc[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 2 + 1);
    counts.MusicCrc = 0x1234;

    Bytes frame = built.Frame;
    RewriteXingTag(frame.data(), before, counts, c.KeepPadding);
    XingTag after;
    ASSERT_TRUE(ParseXingTag(frame.data(), frame.size(), after));
    const std::uint32_t f = c.Spec.Flags;
    EXPECT_EQ(after.Frames, (f & 1) ? 517u : 0u);
    EXPECT_EQ(after.Bytes, (f & 2) ? 216321u : 0u);
    EXPECT_EQ(after.Toc[99], (f & 4) ? 199 : 0);
    EXPECT_EQ(after.Quality, before.Quality);
    if (c.Spec.Lame) {
      EXPECT_EQ(after.MusicLength, 216321u);
      EXPECT_EQ(after.MusicCrc, 0x1234);
      EXPECT_EQ(after.EncoderDelay, 576) << "the delay still holds: the output starts where the input did";
      EXPECT_EQ(after.EndPadding, c.KeepPadding ? 1234 : 0);
      EXPECT_EQ(after.TagCrc, BitwiseCrc16(frame.data(), after.TagCrcOffset()));
      EXPECT_NE(after.TagCrc, before.TagCrc);
    }
    const std::set<std::size_t> fields = FieldBytes(built, f);
    for (std::size_t i = 0; i < frame.size(); ++i) {
      if (!fields.count(i)) {
        EXPECT_EQ(frame[i], built.Frame[i]) << "byte " << i << " is no field";
      }
    }
  }
}

TEST(MakeXingToc, GivesTheShareOfBytesBeforeTheFrameAtEachPercent) {
  // 1000 frames of alternately 100 and 300 bytes; the frames the entries
  // fall on (k = 10 i) are even, and start at 200 k.
  auto start = [](std::uint32_t k) { return std::uint64_t{k} / 2 * 400 + (k % 2) * 100; };
  const XingToc toc = MakeXingToc(1000, 400000, start);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(toc[static_cast<std::size_t>(i)], i * 10 * 200 * 256 / 400000) << i;

  // Fewer frames than entries: entries repeat the frame they fall in.
  std::vector<std::uint64_t> starts = {0, 1000, 1100, 5000};
  const XingToc few = MakeXingToc(4, 6000, [&](std::uint32_t k) { return starts.at(k); });
  EXPECT_EQ(few[0], 0);
  EXPECT_EQ(few[24], 0);
  EXPECT_EQ(few[25], 1000 * 256 / 6000);
  EXPECT_EQ(few[50], 1100 * 256 / 6000);
  EXPECT_EQ(few[99], 5000 * 256 / 6000);

  const XingToc none = MakeXingToc(0, 0, [](std::uint32_t) -> std::uint64_t { return 0; });
  EXPECT_EQ(none, XingToc{});
  EXPECT_EQ(XingTocEntry(10, 10), 255) << "never past 255";
}

struct BuildCase {
  const char* Name;
  std::uint8_t Header[4];
  std::uint64_t AverageKbps;  // of the frames that follow
  int BitRate;                // expected of the tag frame
  std::size_t Offset;
};

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.Name; }

class XingBuildTable : public testing::TestWithParam<BuildCase> {};

TEST_P(XingBuildTable, MakesASilentTagFrameOfTheStreamThatParsesBack) {
  const BuildCase& c = GetParam();
  FrameHeader first;
  DecodeFrameHeader(c.Header[0], c.Header[1], c.Header[2], c.Header[3], 0, 0, first);
  ASSERT_FALSE(first.Invalid);
  const std::uint32_t frames = 2000;
  const std::uint64_t audioBytes = c.AverageKbps * 1000 / 8 * std::uint64_t(SamplesPerFrame(first)) * frames /
                                   std::uint64_t(HeaderSampleRate(first));
  XingToc toc;
  for (int i = 0; i < 100; ++i) toc[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 5 / 2);

  const Bytes frame = BuildXingFrame(first, frames, audioBytes, toc);
  ASSERT_FALSE(frame.empty());
  FrameHeader h;
  DecodeFrameHeader(frame[0], frame[1], frame[2], frame[3] == 0 ? 0x04 : frame[3], 0, 0, h);
  ASSERT_FALSE(h.Invalid);
  EXPECT_EQ(static_cast<std::size_t>(h.FrameLength), frame.size());
  EXPECT_EQ(h.Layer, 1);
  EXPECT_EQ(h.VersionId, first.VersionId);
  EXPECT_EQ(h.SampleRateIndex, first.SampleRateIndex);
  EXPECT_EQ(h.Mode, first.Mode);
  EXPECT_EQ(h.Protection, 1) << "no CRC";
  EXPECT_EQ(h.Padding, 0);
  EXPECT_EQ(HeaderBitRate(h), c.BitRate);

  XingTag tag;
  ASSERT_TRUE(ParseXingTag(frame.data(), frame.size(), tag));
  EXPECT_EQ(tag.Offset, c.Offset);
  EXPECT_FALSE(tag.Info);
  EXPECT_EQ(tag.Flags, 0x7u);
  EXPECT_EQ(tag.Frames, frames);
  EXPECT_EQ(tag.Bytes, audioBytes + frame.size()) << "the tag frame counts itself";
  EXPECT_EQ(tag.Toc, toc);
  EXPECT_FALSE(tag.HasLame);
  for (std::size_t i = c.Offset + 116; i < frame.size(); ++i) ASSERT_EQ(frame[i], 0) << i;
}

// The nearest table rate to the average, unless the tag needs more room:
// 4 + side information + 116 bytes.
INSTANTIATE_TEST_SUITE_P(
    Headers, XingBuildTable,
    testing::Values(BuildCase{"Mpeg1Joint128", {0xFF, 0xFB, 0x90, 0x64}, 131, 128, 36},
                    BuildCase{"Mpeg1Stereo190", {0xFF, 0xFA, 0xB0, 0x04}, 190, 192, 36},
                    BuildCase{"Mpeg1LowAverageNeedsRoom", {0xFF, 0xFB, 0x90, 0x64}, 20, 48, 36},
                    BuildCase{"Mpeg1Mono48k", {0xFF, 0xFB, 0x54, 0xC4}, 33, 48, 21},
                    BuildCase{"Mpeg2Joint22k", {0xFF, 0xF3, 0x80, 0x44}, 70, 64, 21},
                    BuildCase{"Mpeg2Mono16kLow", {0xFF, 0xF3, 0x18, 0xC4}, 8, 32, 13}),
    [](const testing::TestParamInfo<BuildCase>& p) { return std::string(p.param.Name); });

TEST(BuildXingFrame, RefusesWhatIsNotALayerIIIHeader) {
  FrameHeader layer2;
  DecodeFrameHeader(0xFF, 0xFD, 0xC4, 0x04, 0, 0, layer2);
  ASSERT_FALSE(layer2.Invalid);
  EXPECT_TRUE(BuildXingFrame(layer2, 10, 10000, XingToc{}).empty());
  FrameHeader invalid;
  DecodeFrameHeader(0xFF, 0xFB, 0xF0, 0x64, 0, 0, invalid);
  EXPECT_TRUE(BuildXingFrame(invalid, 10, 10000, XingToc{}).empty());
}

}  // namespace

namespace {

// The delay goes when the output no longer starts with the source's first
// audio frame, the padding when it no longer ends with its last; the tag CRC
// covers whatever was kept.
TEST(RewriteXingTag, KeepsTheDelayAndThePaddingOnlyWhereTheyStillHold) {
  const BuiltTag built = MakeTagFrame(Spec(3, 1, false, "Info", 0xF, true));
  XingTag before;
  ASSERT_TRUE(ParseXingTag(built.Frame.data(), built.Frame.size(), before));
  XingCounts counts;
  counts.Frames = 10;
  counts.Bytes = 4600;
  counts.MusicCrc = 0x4321;
  for (bool delay : {false, true}) {
    for (bool padding : {false, true}) {
      SCOPED_TRACE(testing::Message() << "delay " << delay << ", padding " << padding);
      Bytes frame = built.Frame;
      XingRewrite keep;
      keep.KeepEncoderDelay = delay;
      keep.KeepEndPadding = padding;
      RewriteXingTag(frame.data(), before, counts, keep);
      XingTag after;
      ASSERT_TRUE(ParseXingTag(frame.data(), frame.size(), after));
      EXPECT_EQ(after.EncoderDelay, delay ? 576 : 0);
      EXPECT_EQ(after.EndPadding, padding ? 1234 : 0);
      EXPECT_EQ(after.TagCrc, BitwiseCrc16(frame.data(), after.TagCrcOffset()));
      EXPECT_TRUE(XingTagDescribes(after, counts));
      // Each field on its own makes the tag false.
      XingCounts other = counts;
      other.Frames = 11;
      EXPECT_FALSE(XingTagDescribes(after, other));
      other = counts;
      other.MusicCrc = 0x4320;
      EXPECT_FALSE(XingTagDescribes(after, other)) << "a stale music CRC";
      other = counts;
      other.Toc[50] = 1;
      EXPECT_FALSE(XingTagDescribes(after, other));
    }
  }
}

TEST(TagFrameKindOf, TellsTagFramesByTheirIdAlone) {
  const BuiltTag info = MakeTagFrame(Spec(3, 1, false, "Info", 0xF, true));
  EXPECT_EQ(TagFrameKindOf(info.Frame.data(), info.Frame.size()), TagFrameKind::Xing);
  Bytes unreadable = info.Frame;
  PutBe32(&unreadable[info.Offset + 4], 0xF);
  unreadable.resize(info.Offset + 20);  // its fields do not fit
  XingTag tag;
  EXPECT_FALSE(ParseXingTag(unreadable.data(), unreadable.size(), tag));
  EXPECT_EQ(TagFrameKindOf(unreadable.data(), unreadable.size()), TagFrameKind::Xing);
  Bytes vbri = MakeTagFrame(Spec(3, 3, false, "Xing", 0xF, false)).Frame;  // mono: Xing at 21
  std::memcpy(&vbri[21], "\0\0\0\0", 4);
  std::memcpy(&vbri[36], "VBRI", 4);
  EXPECT_EQ(TagFrameKindOf(vbri.data(), vbri.size()), TagFrameKind::Vbri);
  Bytes audio = info.Frame;
  std::memcpy(&audio[info.Offset], "Xinh", 4);
  EXPECT_EQ(TagFrameKindOf(audio.data(), audio.size()), TagFrameKind::None);
}

}  // namespace
