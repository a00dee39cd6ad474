// Side information and the reservoir walk, on frames built bit by bit.

#include <gtest/gtest.h>

#include <vector>

#include "gapless/Reservoir.h"
#include "gapless/SideInfo.h"

namespace {

// Writes bits into a frame, most significant first.
struct BitWriter {
  std::vector<std::uint8_t>& Bytes;
  std::size_t At;
  void Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i, ++At)
      if (value >> i & 1) Bytes[At >> 3] |= static_cast<std::uint8_t>(0x80 >> (At & 7));
  }
};

// A frame of `header` with main_data_begin and part2_3_length per granule and
// channel; every other field set to ones, so a misplaced field shows.
std::vector<std::uint8_t> Frame(std::vector<std::uint8_t> header, int mainDataBegin, std::vector<int> part23) {
  std::vector<std::uint8_t> f(400, 0);
  std::copy(header.begin(), header.end(), f.begin());
  const bool mpeg1 = (header[1] >> 3 & 3) == 3;
  const bool mono = header[3] >> 6 == 3;
  const bool crc = (header[1] & 1) == 0;
  BitWriter w{f, (crc ? 6u : 4u) * 8};
  w.Put(static_cast<std::uint32_t>(mainDataBegin), mpeg1 ? 9 : 8);
  w.Put(0x1F, mpeg1 ? (mono ? 5 : 3) : (mono ? 1 : 2));
  if (mpeg1) w.Put(0xFF, mono ? 4 : 8);
  for (int p : part23) {
    w.Put(static_cast<std::uint32_t>(p), 12);
    w.Put(0xFFFFFFFF, 32);
    w.Put(0x7FFFF, mpeg1 ? 15 : 19);
  }
  return f;
}

TEST(SideInfo, FieldsOfEveryVersionAndChannelLayout) {
  struct Case {
    const char* What;
    std::vector<std::uint8_t> Header;
    int MainDataBegin;
    std::vector<int> Part23;
    int HeaderBytes, SideBytes, Granules;
  };
  const Case cases[] = {
      {"MPEG-1 joint stereo", {0xFF, 0xFB, 0x90, 0x64}, 511, {1000, 1100, 1200, 1300}, 4, 32, 2},
      {"MPEG-1 mono with CRC", {0xFF, 0xFA, 0x90, 0xC4}, 300, {2000, 2100}, 6, 17, 2},
      {"MPEG-2 stereo", {0xFF, 0xF3, 0x80, 0x44}, 255, {700, 800}, 4, 17, 1},
      {"MPEG-2 mono", {0xFF, 0xF3, 0x80, 0xC4}, 17, {4095}, 4, 9, 1},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> f = Frame(c.Header, c.MainDataBegin, c.Part23);
    Layer3SideInfo s;
    ASSERT_TRUE(ParseLayer3SideInfo(f.data(), f.size(), s)) << c.What;
    EXPECT_EQ(s.MainDataBegin, c.MainDataBegin) << c.What;
    int bits = 0;
    for (int p : c.Part23) bits += p;
    EXPECT_EQ(s.MainDataBits, bits) << c.What;
    EXPECT_EQ(s.HeaderBytes, c.HeaderBytes) << c.What;
    EXPECT_EQ(s.SideInfoBytes, c.SideBytes) << c.What;
    EXPECT_EQ(s.Granules, c.Granules) << c.What;
    EXPECT_EQ(MainDataCapacity(417, s), 417 - c.HeaderBytes - c.SideBytes) << c.What;
  }
}

TEST(SideInfo, RefusesOtherLayersAndShortFrames) {
  const std::vector<std::uint8_t> layer2 = {0xFF, 0xFD, 0x90, 0x64, 0, 0, 0, 0};
  Layer3SideInfo s;
  EXPECT_FALSE(ParseLayer3SideInfo(layer2.data(), layer2.size(), s));
  const std::vector<std::uint8_t> f = Frame({0xFF, 0xFB, 0x90, 0x64}, 10, {1, 2, 3, 4});
  EXPECT_FALSE(ParseLayer3SideInfo(f.data(), 35, s)) << "side information cut short";
  EXPECT_TRUE(ParseLayer3SideInfo(f.data(), 36, s));
}

TEST(Reservoir, FramesBackFollowsTheCapacitiesBefore) {
  // Capacities 100, 50, 50, 200 then frames asking for reservoir bytes.
  ReservoirTracker t;
  EXPECT_EQ(t.Add(100, 0), 0);
  EXPECT_EQ(t.Add(50, 0), 0);
  EXPECT_EQ(t.Add(50, 50), 1) << "exactly the frame before";
  EXPECT_EQ(t.Add(200, 101), 3) << "one byte into the third frame back";
  EXPECT_EQ(t.Add(10, 200), 1);
  EXPECT_EQ(t.Add(10, 211), 3);
  EXPECT_EQ(t.Add(10, 511), -1) << "more than the stream ever held";
  t.Reset();
  EXPECT_EQ(t.Add(100, 1), -1) << "nothing before a stream's first frame";
}

TEST(Reservoir, OnlyTheLastFramesAreKept) {
  ReservoirTracker t;
  for (int i = 0; i < 1000; ++i) t.Add(11, 0);
  EXPECT_EQ(t.Add(11, 511), 47);  // 511 / 11, rounded up
}

}  // namespace
