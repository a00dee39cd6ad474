// Side information and the reservoir walk, on frames built bit by bit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "gapless/GaplessStream.h"
#include "gapless/Reservoir.h"
#include "gapless/SideInfo.h"
#include "stream/Scanner.h"

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

// A file of 128 kbps frames (381 bytes of main data each) whose main data
// bytes tell frame and offset apart, with main_data_begin as given.
struct SyntheticStream {
  std::string Path;
  std::vector<std::uint8_t> MainData;  // every frame's main-data area, in order
  explicit SyntheticStream(const std::vector<int>& mainDataBegin) {
    Path = (std::filesystem::temp_directory_path() / ("gapless-synthetic-" + std::to_string(::getpid()) + ".mp3"))
               .string();
    std::ofstream out(Path, std::ios::binary);
    for (std::size_t k = 0; k < mainDataBegin.size(); ++k) {
      std::vector<std::uint8_t> f = Frame({0xFF, 0xFB, 0x90, 0x64}, mainDataBegin[k], {0, 0, 0, 0});
      f.resize(417);
      for (std::size_t i = 36; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(k * 41 + i * 3 + 1);
      MainData.insert(MainData.end(), f.begin() + 36, f.end());
      out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    }
  }
  ~SyntheticStream() { std::filesystem::remove(Path); }
  // The `n` main-data bytes before frame k's area.
  std::vector<std::uint8_t> Before(std::size_t k, std::size_t n) const {
    return std::vector<std::uint8_t>(MainData.begin() + static_cast<std::ptrdiff_t>(k * 381 - n),
                                     MainData.begin() + static_cast<std::ptrdiff_t>(k * 381));
  }
};

TEST(Reservoir, MeasuredReachCarriesTheBytesTheFramesTake) {
  // Frame 2 takes 450 bytes: all of frame 1's area and 69 of frame 0's.
  // Frame 5 takes 5, frame 6 reaches 60 bytes before frame 5's area (more
  // than frame 5 itself). Frame 8 takes 20 bytes of frame 7.
  const SyntheticStream s({0, 100, 450, 0, 0, 5, 441, 0, 20, 0, 0, 0});
  FrameHeader reference;
  GaplessStream stream;
  std::string error;
  ASSERT_TRUE(ProbeFile(s.Path, reference, error)) << error;
  ASSERT_TRUE(ReadGaplessStream(s.Path, reference, stream, error)) << error;
  EXPECT_EQ(stream.AudioFrames, 12);
  EXPECT_FALSE(stream.Declared);
  std::vector<ReservoirReach> reach;
  ASSERT_TRUE(MeasureReservoir(s.Path, reference, stream, {5, 2, 8, 9}, reach, error)) << error;

  EXPECT_EQ(reach[1].FirstNeeded, 0);
  EXPECT_EQ(reach[1].LastLacking, 2);
  EXPECT_TRUE(reach[1].Carried == s.Before(2, 450));
  EXPECT_EQ(reach[1].Header[0], 0xFF);
  EXPECT_EQ(reach[1].Header[2], 0x90);

  EXPECT_EQ(reach[0].FirstNeeded, 4) << "frame 6 reaches into frame 4";
  EXPECT_EQ(reach[0].LastLacking, 6);
  EXPECT_TRUE(reach[0].Carried == s.Before(5, 60)) << "what frame 6 takes, more than frame 5";

  EXPECT_EQ(reach[2].FirstNeeded, 7);
  EXPECT_EQ(reach[2].LastLacking, 8);
  EXPECT_TRUE(reach[2].Carried == s.Before(8, 20));

  EXPECT_EQ(reach[3].FirstNeeded, 9) << "nothing reaches back past frame 9";
  EXPECT_EQ(reach[3].LastLacking, -1);
  EXPECT_TRUE(reach[3].Carried.empty());
}

}  // namespace
