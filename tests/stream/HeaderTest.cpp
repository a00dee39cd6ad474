#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "stream/FrameHeader.h"

namespace {

FrameHeader DecodeHex(std::uint32_t bytes, std::int64_t position = 0, std::int64_t fileSize = 0) {
  FrameHeader h;
  DecodeFrameHeader(bytes >> 24, (bytes >> 16) & 0xFF, (bytes >> 8) & 0xFF, bytes & 0xFF, position, fileSize,
                    h);
  return h;
}

struct ValidCase {
  std::uint32_t bytes;
  int version, layer, protection, bitRateIndex, sampleRateIndex, padding, mode, copyright, original;
  int kbps, hz, frameLength;
};

// Layer I counts in four-byte slots and MPEG-2 Layer II uses 144000 like
// MPEG-1; MPEG-2 Layer III keeps 72000.
const ValidCase kValid[] = {
    // MPEG-1 Layer III
    {0xFFFB9064, 3, 1, 1, 9, 0, 0, 1, 0, 1, 128, 44100, 417},
    {0xFFFB9264, 3, 1, 1, 9, 0, 1, 1, 0, 1, 128, 44100, 418},
    {0xFFFAB044, 3, 1, 0, 11, 0, 0, 1, 0, 1, 192, 44100, 626},
    {0xFFFBE4CC, 3, 1, 1, 14, 1, 0, 3, 1, 1, 320, 48000, 960},
    // MPEG-1 Layer II
    {0xFFFDC404, 3, 2, 1, 12, 1, 0, 0, 0, 1, 256, 48000, 768},
    {0xFFFDEA04, 3, 2, 1, 14, 2, 1, 0, 0, 1, 384, 32000, 1729},  // the longest frame
    // MPEG-1 Layer I at 44.1, 48 and 32 kHz, padded and not
    {0xFFFF9204, 3, 3, 1, 9, 0, 1, 0, 0, 1, 288, 44100, 316},
    {0xFFFF9004, 3, 3, 1, 9, 0, 0, 0, 0, 1, 288, 44100, 312},
    {0xFFFFC004, 3, 3, 1, 12, 0, 0, 0, 0, 1, 384, 44100, 416},
    {0xFFFFC204, 3, 3, 1, 12, 0, 1, 0, 0, 1, 384, 44100, 420},
    {0xFFFFC404, 3, 3, 1, 12, 1, 0, 0, 0, 1, 384, 48000, 384},
    {0xFFFFC604, 3, 3, 1, 12, 1, 1, 0, 0, 1, 384, 48000, 388},
    {0xFFFEEA88, 3, 3, 0, 14, 2, 1, 2, 1, 0, 448, 32000, 676},
    // MPEG-2 Layer I
    {0xFFF78004, 2, 3, 1, 8, 0, 0, 0, 0, 1, 128, 22050, 276},
    {0xFFF78204, 2, 3, 1, 8, 0, 1, 0, 0, 1, 128, 22050, 280},
    {0xFFF78404, 2, 3, 1, 8, 1, 0, 0, 0, 1, 128, 24000, 256},
    {0xFFF78804, 2, 3, 1, 8, 2, 0, 0, 0, 1, 128, 16000, 384},
    // MPEG-2 Layer II
    {0xFFF54004, 2, 2, 1, 4, 0, 0, 0, 0, 1, 32, 22050, 208},
    {0xFFF58004, 2, 2, 1, 8, 0, 0, 0, 0, 1, 64, 22050, 417},
    {0xFFF58404, 2, 2, 1, 8, 1, 0, 0, 0, 1, 64, 24000, 384},
    {0xFFF58604, 2, 2, 1, 8, 1, 1, 0, 0, 1, 64, 24000, 385},
    {0xFFF58804, 2, 2, 1, 8, 2, 0, 0, 0, 1, 64, 16000, 576},
    // MPEG-2 Layer III
    {0xFFF380C4, 2, 1, 1, 8, 0, 0, 3, 0, 1, 64, 22050, 208},
    {0xFFF384C4, 2, 1, 1, 8, 1, 0, 3, 0, 1, 64, 24000, 192},
    {0xFFF388C4, 2, 1, 1, 8, 2, 0, 3, 0, 1, 64, 16000, 288},
    {0xFFF31A44, 2, 1, 1, 1, 2, 1, 1, 0, 1, 8, 16000, 37},
};

TEST(DecodeFrameHeader, ValidHeadersGiveEveryFieldAndTheFrameLength) {
  for (const ValidCase& c : kValid) {
    SCOPED_TRACE(testing::Message() << std::hex << c.bytes);
    const FrameHeader h = DecodeHex(c.bytes, 1234, 4170000);
    EXPECT_FALSE(h.Invalid);
    EXPECT_EQ(h.Byte0, static_cast<int>(c.bytes >> 24));
    EXPECT_EQ(h.Byte1, static_cast<int>((c.bytes >> 16) & 0xFF));
    EXPECT_EQ(h.Byte2, static_cast<int>((c.bytes >> 8) & 0xFF));
    EXPECT_EQ(h.Byte3, static_cast<int>(c.bytes & 0xFF));
    EXPECT_EQ(h.Position, 1234);
    EXPECT_EQ(h.FileSize, 4170000);
    EXPECT_EQ(h.VersionId, c.version);
    EXPECT_EQ(h.Layer, c.layer);
    EXPECT_EQ(h.Protection, c.protection);
    EXPECT_EQ(h.BitRateIndex, c.bitRateIndex);
    EXPECT_EQ(h.SampleRateIndex, c.sampleRateIndex);
    EXPECT_EQ(h.Padding, c.padding);
    EXPECT_EQ(h.PrivateBit, 0);
    EXPECT_EQ(h.Mode, c.mode);
    EXPECT_EQ(h.Copyright, c.copyright);
    EXPECT_EQ(h.Original, c.original);
    EXPECT_EQ(HeaderBitRate(h), c.kbps);
    EXPECT_EQ(HeaderSampleRate(h), c.hz);
    EXPECT_EQ(h.FrameLength, c.frameLength);
    EXPECT_EQ(h.FrameEstimate, 4170000 / c.frameLength);
  }
}

TEST(DecodeFrameHeader, PrivateBitIsDecodedAndDoesNotChangeTheLength) {
  const FrameHeader h = DecodeHex(0xFFFB9164);
  EXPECT_EQ(h.PrivateBit, 1);
  EXPECT_EQ(h.FrameLength, 417);
}

TEST(DecodeFrameHeader, EachClauseOfTheValidityRuleRefusesOnItsOwn) {
  const struct {
    std::uint32_t bytes;
    const char* reason;
  } kInvalid[] = {
      {0x00FB9064, "byte 0 zero"},
      {0xFFFB0064, "byte 2 zero"},
      {0xFFFB9000, "byte 3 zero, although every field in it is legal"},
      {0xFFFE4B00, "UTF-16 tag text: FF FE, a character, 00"},
      {0xFFFB0464, "bit-rate index 0 (free format)"},
      {0xFFFBF064, "bit-rate index 15"},
      {0xFFFB9C64, "sampling-frequency index 3"},
      {0xFFF99064, "layer 0"},
      {0xFFE380C4, "MPEG 2.5"},
      {0xFFEB9064, "reserved version"},
  };
  for (const auto& c : kInvalid) {
    SCOPED_TRACE(c.reason);
    EXPECT_TRUE(DecodeHex(c.bytes).Invalid);
  }
  // Byte 1 zero cannot come from a scanner, which tests the sync bits first.
  FrameHeader h;
  DecodeFrameHeader(0xFF, 0x00, 0x90, 0x64, 0, 0, h);
  EXPECT_TRUE(h.Invalid);
}

TEST(DecodeFrameHeader, FrameEstimateIsSixtyFourBit) {
  EXPECT_EQ(DecodeHex(0xFFFB9064, 0, 4170000).FrameEstimate, 10000);
  EXPECT_EQ(DecodeHex(0xFFFB9064, 0, 5000000000LL).FrameEstimate, 11990407);
  EXPECT_EQ(DecodeHex(0xFFFB9064, 3000000000LL, 0).Position, 3000000000LL);
}

TEST(StreamInfo, TextsComeFromTheTableAtTheirOffsets) {
  const StreamInfoTexts t = DescribeHeader(DecodeHex(0xFFFB9064));
  EXPECT_EQ(t.Version, "MPEG 1");
  EXPECT_EQ(t.Layer, "III");
  EXPECT_EQ(t.BitRate, "128 kbps");
  EXPECT_EQ(t.SampleRate, "44100 Hz");
  EXPECT_EQ(t.Mode, "Joint-Stereo");
  EXPECT_EQ(t.Copyright, "No");
  EXPECT_EQ(t.Original, "Yes");

  const StreamInfoTexts u = DescribeHeader(DecodeHex(0xFFF58888));  // MPEG-2 L II, dual channel, (c)
  EXPECT_EQ(u.Version, "MPEG 2");
  EXPECT_EQ(u.Layer, "II");
  EXPECT_EQ(u.Mode, "Dual Channel");
  EXPECT_EQ(u.Copyright, "Yes");
  EXPECT_EQ(u.Original, "No");
  EXPECT_EQ(DescribeHeader(DecodeHex(0xFFFF9004)).Layer, "I");
  EXPECT_EQ(DescribeHeader(DecodeHex(0xFFFB9004)).Mode, "Stereo");
  EXPECT_EQ(DescribeHeader(DecodeHex(0xFFFB90C4)).Mode, "Single Channel");

  EXPECT_STREQ(StreamInfoNames[18], "none");
  EXPECT_STREQ(StreamInfoNames[21], "CCIT J.17");
}

TEST(StreamInfo, AnInvalidOrBlankHeaderReadsNoTableOutOfBounds) {
  EXPECT_EQ(DescribeHeader(DecodeHex(0xFFFB9000)).Version, "");
  FrameHeader bogus;
  bogus.Layer = 7;
  bogus.VersionId = -1;
  bogus.BitRateIndex = 99;
  bogus.SampleRateIndex = 5;
  EXPECT_EQ(HeaderBitRate(bogus), 0);
  EXPECT_EQ(HeaderSampleRate(bogus), 0);
  EXPECT_EQ(DescribeHeader(bogus).Layer, "");
  EXPECT_EQ(HeaderBitRate(FrameHeader{}), 0);  // the all-zero header before any probe
}

TEST(FormatDuration, HoursColonMinutesDotSeconds) {
  const struct {
    std::int64_t size;
    std::int32_t kbps;
    const char* text;
  } kCases[] = {
      {0, 128, "00:00.00"},
      {4000000, 128, "00:04.10"},
      {5000000, 320, "00:02.05"},
      {57600000, 128, "01:00.00"},
      {1000999, 8, "00:16.40"},
      {268435455, 8, "74:33.55"},
      // 256 MiB and more: the size times eight no longer fits 32 bits.
      {268435456, 8, "74:33.55"},
      {4294967296LL, 128, "74:33.55"},
      {10000000000LL, 128, "173:36.40"},
      {1000000, 0, "00:00.00"},
  };
  for (const auto& c : kCases) EXPECT_EQ(FormatDuration(c.size, c.kbps), c.text) << c.size << " @ " << c.kbps;
}

}  // namespace
