// One walk, many pieces: every frame reaches the piece (or the two pieces)
// whose range holds it, in order, whatever the runs the scan hands over.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "output/InfoCounter.h"
#include "output/PieceRouter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Frame i: a 128 kbps MPEG-1 Layer III header and the index in every byte after.
Bytes Frame(int i) {
  const std::uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x44};
  Bytes f(static_cast<std::size_t>(HeaderFrameLength(h)), static_cast<std::uint8_t>(i));
  std::memcpy(f.data(), h, 4);
  return f;
}

// Notes the index of every frame it gets, checking it against the bytes.
class Recorder : public FrameSink {
 public:
  explicit Recorder(std::vector<int>& got) : got_(got) {}
  bool Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
             std::string&) override {
    for (std::size_t p = 0; p < length; p += static_cast<std::size_t>(HeaderFrameLength(data + p))) {
      EXPECT_EQ(data[p + 4], static_cast<std::uint8_t>(firstIndex)) << "index and bytes disagree";
      got_.push_back(firstIndex++);
    }
    written = length;
    return true;
  }
  void CutBack(std::size_t, std::string&) override {}

 private:
  std::vector<int>& got_;
};

struct Case {
  const char* name;
  std::vector<PieceRange> pieces;
  std::size_t overlap;
  std::vector<std::vector<int>> runs;  // the frames of each run the scan hands over
  std::vector<std::vector<int>> expected;  // per piece
};

TEST(PieceRouter, EveryFrameReachesThePiecesThatHoldIt) {
  const Case cases[] = {
      {"one run over two pieces", {{0, 4}, {5, 9}}, 0, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}, {{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}}},
      {"frame by frame", {{0, 1}, {2, 2}, {3, 4}}, 0, {{0}, {1}, {2}, {3}, {4}}, {{0, 1}, {2}, {3, 4}}},
      {"runs broken by frames left out", {{0, 3}, {4, 9}}, 0, {{0, 1}, {3, 4, 5}, {8, 9}}, {{0, 1, 3}, {4, 5, 8, 9}}},
      {"a piece all of whose frames were left out", {{0, 2}, {3, 5}, {6, 8}}, 0, {{0, 1, 2}, {7, 8}},
       {{0, 1, 2}, {}, {7, 8}}},
      {"frames before the first piece and after the last", {{2, 3}, {4, 5}}, 0, {{0, 1, 2, 3, 4, 5, 6, 7}},
       {{2, 3}, {4, 5}}},
      {"pieces that overlap by two frames", {{0, 5}, {4, 9}, {8, 11}}, 2, {{0, 1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11}},
       {{0, 1, 2, 3, 4, 5}, {4, 5, 6, 7, 8, 9}, {8, 9, 10, 11}}},
      {"an overlap whose frames came in another run", {{0, 3}, {2, 6}}, 3, {{0, 1}, {2}, {3, 4}, {5, 6}},
       {{0, 1, 2, 3}, {2, 3, 4, 5, 6}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(PieceRouter::Fits(c.pieces, c.overlap));
    std::map<std::size_t, std::vector<int>> got;
    std::vector<Recorder> recorders;
    recorders.reserve(c.pieces.size());
    std::vector<std::string> events;
    std::size_t open = c.pieces.size();
    PieceRouter router(
        c.pieces, c.overlap,
        [&](std::size_t k) -> FrameSink* {
          EXPECT_EQ(open, c.pieces.size()) << "two pieces open at once";
          open = k;
          events.push_back("open " + std::to_string(k));
          recorders.emplace_back(got[k]);
          return &recorders.back();
        },
        [&](std::size_t k) {
          EXPECT_EQ(open, k);
          open = c.pieces.size();
          events.push_back("close " + std::to_string(k));
        });
    for (const std::vector<int>& run : c.runs) {
      Bytes bytes;
      for (int i : run) {
        const Bytes f = Frame(i);
        bytes.insert(bytes.end(), f.begin(), f.end());
      }
      std::size_t written = 0;
      std::string message;
      ASSERT_TRUE(router.Write(bytes.data(), bytes.size(), run.front(), written, message)) << message;
      EXPECT_EQ(written, bytes.size());
    }
    router.End();
    for (std::size_t k = 0; k < c.expected.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(got[k], c.expected[k]);
    }
    // Each piece opened and closed once, in turn (a piece whose frames all
    // went missing too, so that its caller can say so).
    std::vector<std::string> inTurn;
    for (std::size_t k = 0; k < c.pieces.size(); ++k) {
      if (c.expected[k].empty() && k + 1 == c.pieces.size()) break;
      inTurn.push_back("open " + std::to_string(k));
      inTurn.push_back("close " + std::to_string(k));
    }
    EXPECT_EQ(events, inTurn);
  }
}

TEST(PieceRouter, RefusesPiecesThatOverlapMoreThanItKeeps) {
  EXPECT_TRUE(PieceRouter::Fits({{0, 5}, {6, 9}}, 0));
  EXPECT_FALSE(PieceRouter::Fits({{0, 5}, {5, 9}}, 0));
  EXPECT_TRUE(PieceRouter::Fits({{0, 5}, {3, 9}}, 3));
  EXPECT_FALSE(PieceRouter::Fits({{0, 5}, {2, 9}}, 3));
  EXPECT_FALSE(PieceRouter::Fits({{4, 5}, {4, 9}}, 8)) << "a piece must start after the one before";
  EXPECT_FALSE(PieceRouter::Fits({{5, 4}}, 0));
}

}  // namespace
