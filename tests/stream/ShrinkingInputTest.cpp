// An input that another program shortens while it is cut or walked: the run
// goes on living, says that the file shrank, and what reached the output are
// the input's own whole frames, never bytes the file no longer holds.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "StreamFixtures.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace kerfwell_test {
namespace {

constexpr int kFrames = 4000;
constexpr std::int64_t kLength = 417;  // every frame unpadded

class ShrinkingInput : public testing::Test {
 protected:
  void SetUp() override {
    // Each frame filled with a byte of its own, so a frame out of place or
    // filled with zeros shows in a comparison.
    for (int i = 0; i < kFrames; ++i) input_ += Frame128(false, static_cast<char>(0x20 + i % 90));
    WriteFile(dir_ / "in.mp3", input_);
    reference_ = Decode(input_);
  }

  ScratchDir dir_;
  Bytes input_;
  FrameHeader reference_;
};

struct ShrinkCase {
  const char* Name;
  std::size_t Window;       // the read window of the scan
  std::int32_t AfterFrame;  // shortened once this many frames were written
  std::int64_t NewSize;
};

TEST_F(ShrinkingInput, ACutStopsWithWholeFramesOfTheInputAndSaysItShrank) {
  const ShrinkCase cases[] = {
      // Behind the window: the pages in hand are gone.
      {"to a frame written already", kDefaultReadBuffer, 10, 200 * kLength + 100},
      // Inside the mapped window, ahead of the walk, mid-frame.
      {"ahead of the walk, mid-frame", kDefaultReadBuffer, 10, 1000 * kLength + 5},
      {"on a frame boundary far ahead", kDefaultReadBuffer, 10, 3000 * kLength},
      {"to nothing", kDefaultReadBuffer, 10, 0},
      {"small windows, mid-frame", 4096, 100, 150 * kLength + 200},
      {"small windows, far ahead", 4096, 100, 2500 * kLength + 416},
  };
  for (const ShrinkCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(dir_ / "in.mp3", input_);
    const std::string out = dir_ / "out.mp3";
    ::unlink(out.c_str());
    bool shortened = false;
    std::int32_t writtenThen = 0;
    const ScanResult r = ScanFramesBuffered(
        dir_ / "in.mp3", out, 0, kFrames - 1, false, reference_,
        [&](std::int32_t done, std::int32_t) {
          if (shortened || done + 1 < c.AfterFrame) return;
          shortened = true;
          writtenThen = done + 1;
          ASSERT_EQ(::truncate((dir_ / "in.mp3").c_str(), c.NewSize), 0);
        },
        c.Window);
    ASSERT_TRUE(shortened);
    EXPECT_EQ(r.Status, ScanStatus::ReadFailed);
    EXPECT_NE(r.Message.find("the file shrank while it was read"), std::string::npos) << r.Message;
    const Bytes written = ReadFile(out);
    ASSERT_EQ(static_cast<std::int64_t>(written.size()), r.Written * kLength);
    const auto differ = std::mismatch(written.begin(), written.end(), input_.begin());
    EXPECT_EQ(differ.first, written.end())
        << "the output differs from the input at byte " << (differ.first - written.begin());
    // Every frame that the shortened file still holds whole, and that the
    // walk had not passed when it was shortened, reached the output.
    EXPECT_GE(r.Written, std::max<std::int64_t>(writtenThen, c.NewSize / kLength));
    EXPECT_LE(r.Written, kFrames - 1);
  }
}

// What the cut never came to read may go: a range that ends before the
// bytes the file lost is cut whole, as a read would have cut it.
TEST_F(ShrinkingInput, ATailLostPastTheRangeLeavesTheCutWhole) {
  const std::string out = dir_ / "out.mp3";
  bool shortened = false;
  const ScanResult r =
      CutFrameRange(dir_ / "in.mp3", out, 0, 50, reference_, [&](std::int32_t, std::int32_t) {
        if (!shortened) {
          ASSERT_EQ(::truncate((dir_ / "in.mp3").c_str(), 3500 * kLength), 0);
        }
        shortened = true;
      });
  ASSERT_TRUE(shortened);
  EXPECT_EQ(r.Status, ScanStatus::Ok) << r.Message;
  EXPECT_EQ(r.Written, 51);
  EXPECT_EQ(ReadFile(out), input_.substr(0, 51 * kLength));
}

TEST_F(ShrinkingInput, AWalkEndsWithAnErrorInsteadOfAFault) {
  for (const std::int64_t newSize : {std::int64_t{0}, 100 * kLength + 3, 3999 * kLength}) {
    SCOPED_TRACE(newSize);
    WriteFile(dir_ / "in.mp3", input_);
    std::int64_t frames = 0;
    std::string error;
    const bool ok = WalkFrames(
        dir_ / "in.mp3", reference_, ScanOptions{},
        [&](const FrameVisit& f) {
          if (f.Index == 5) {
            EXPECT_EQ(::truncate((dir_ / "in.mp3").c_str(), newSize), 0);
          }
          ++frames;
          return true;
        },
        error);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("the file shrank while it was read"), std::string::npos) << error;
    EXPECT_LT(frames, kFrames);
  }
}

}  // namespace
}  // namespace kerfwell_test
