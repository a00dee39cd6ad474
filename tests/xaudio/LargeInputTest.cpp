// A long input: counting its frames takes seconds, and the player must serve
// Stop and its own deletion meanwhile; seeks stay exact once it is counted.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "Media.h"
#include "PlayerHarness.h"

namespace xaudio_test {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

constexpr int kPromptMs = 1000;  // generous: a sanitizer build included

int Ms(Clock::duration d) { return static_cast<int>(duration_cast<milliseconds>(d).count()); }

// About 1 GB of back-to-back copies of one small file; removed with the fixture.
struct LargeFile {
  std::string path;
  int frames = 0;
  int copies = 0;
  LargeFile() {
    const std::string unit = ReadFile(ToneFile(Kind::kMpeg1Layer3, 2));
    const int unit_frames = CountFrames(ToneFile(Kind::kMpeg1Layer3, 2));
    copies = static_cast<int>((1000LL * 1000 * 1000) / static_cast<long long>(unit.size())) + 1;
    frames = copies * unit_frames;
    std::string block;
    for (int i = 0; i < 64; ++i) block += unit;
    path = TempDir() + "/large.mp3";
    std::ofstream out(path, std::ios::binary);
    for (int written = 0; written < copies; written += 64) {
      const int n = std::min(64, copies - written);
      out.write(block.data(), static_cast<std::streamsize>(unit.size()) * n);
    }
  }
  ~LargeFile() { unlink(path.c_str()); }
};

TEST(XaudioLargeInput, StopAndDeleteDoNotWaitForTheFramesToBeCountedAndSeeksStayExact) {
  LargeFile large;
  ASSERT_GT(large.frames, 2000000);
  PlayerHarness h;
  control_message_send_I(h.player(), XA_MSG_SET_DEBUG_LEVEL, 2);  // "decoded frame N" for every frame

  // Open, and Stop right behind it, as a window closing at once would.
  size_t mark = h.Mark();
  const auto sent = Clock::now();
  control_message_send_S(h.player(), XA_MSG_COMMAND_INPUT_OPEN, large.path.c_str());
  control_message_send_N(h.player(), XA_MSG_COMMAND_STOP);
  ASSERT_TRUE(h.WaitForReply(XA_MSG_COMMAND_INPUT_OPEN, mark, 10000));
  ASSERT_TRUE(h.WaitForReply(XA_MSG_COMMAND_STOP, mark, 10000));
  const auto stopped = h.WaitForCode(XA_MSG_NOTIFY_PLAYER_STATE, mark, 0);
  ASSERT_TRUE(stopped);
  EXPECT_LT(Ms(stopped->at - sent), kPromptMs) << "Stop waited for the input to be counted";
  // Whatever the machine's speed: Stop is served while the frames are still
  // being counted, which ends with the duration.
  ASSERT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_INPUT_DURATION, mark, 120000));
  const Note* stop_state = h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE)[0];
  const Note* duration = h.Since(mark, XA_MSG_NOTIFY_INPUT_DURATION)[0];
  EXPECT_LT(stop_state, duration) << "Stop waited for the input to be counted";  // notes are in arrival order

  // A seek sent meanwhile lands on its exact frame once the count is known.
  ASSERT_TRUE(h.SetRange(large.frames));
  for (int frame : {large.frames - 40, large.frames / 2 + 7}) {
    SCOPED_TRACE(frame);
    ASSERT_TRUE(h.Seek(frame, large.frames));
    mark = h.Mark();
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
    ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 2; }, 120000));
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_STOP));
    const auto offsets = Offsets(h, mark);
    EXPECT_EQ(offsets[0], static_cast<uint32_t>(frame));
    EXPECT_EQ(offsets[1], static_cast<uint32_t>(frame + 1));
    const auto decoded = h.Since(mark, XA_MSG_NOTIFY_DEBUG);
    ASSERT_FALSE(decoded.empty());
    EXPECT_EQ(decoded[0]->text8, "decoded frame " + std::to_string(frame));
  }
  const auto durations = h.Since(0, XA_MSG_NOTIFY_INPUT_DURATION);
  ASSERT_EQ(durations.size(), 1u) << "one duration for the one open, once the frames are counted";
  EXPECT_EQ(durations[0]->U32(4), static_cast<uint32_t>(static_cast<int64_t>(large.frames) * 1152 / 44100));

  // Opened again, and the player deleted while it counts.
  mark = h.Mark();
  control_message_send_S(h.player(), XA_MSG_COMMAND_INPUT_OPEN, large.path.c_str());
  ASSERT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_INPUT_STATE, mark, 10000));
  const auto deleting = Clock::now();
  h.Delete();
  EXPECT_LT(Ms(Clock::now() - deleting), kPromptMs);
}

TEST(XaudioLargeInput, JunkBetweenFramesDoesNotHoldUpStop) {
  // A frame after every 1.5 MiB of zeros (holes: the file takes no room),
  // behind a normal stream: the decoder skips each run within one call.
  const std::string unit = ReadFile(ToneFile(Kind::kMpeg1Layer3, 2));
  const int unit_frames = CountFrames(ToneFile(Kind::kMpeg1Layer3, 2));
  // One whole frame from the middle: 417 bytes at 128 kbit/s and 44.1 kHz, one more when padded.
  const size_t at = unit.find("\xFF\xFB", unit.size() / 2);
  ASSERT_NE(at, std::string::npos);
  const std::string frame = unit.substr(at, 417 + ((static_cast<unsigned char>(unit[at + 2]) >> 1) & 1));
  const std::string path = TempDir() + "/junk-between.mp3";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, unit.data(), unit.size()), static_cast<ssize_t>(unit.size()));
  constexpr int kGaps = 40;
  for (int i = 0; i < kGaps; ++i) {
    ASSERT_GE(::lseek(fd, 1536 * 1024, SEEK_CUR), 0);
    ASSERT_EQ(::write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  }
  ::close(fd);

  PlayerHarness h;
  const size_t mark = h.Mark();
  control_message_send_S(h.player(), XA_MSG_COMMAND_INPUT_OPEN, path.c_str());
  control_message_send_N(h.player(), XA_MSG_COMMAND_STOP);
  ASSERT_TRUE(h.WaitForReply(XA_MSG_COMMAND_INPUT_OPEN, mark, 10000));
  ASSERT_TRUE(h.WaitForReply(XA_MSG_COMMAND_STOP, mark, 10000));
  ASSERT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_INPUT_DURATION, mark, 120000));
  const Note* stop_state = h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE)[0];
  const Note* duration = h.Since(mark, XA_MSG_NOTIFY_INPUT_DURATION)[0];
  EXPECT_LT(stop_state, duration) << "Stop waited for the junk to be read through";
  EXPECT_EQ(duration->U32(4), static_cast<uint32_t>((unit_frames + kGaps) * 1152 / 44100))
      << "every frame behind the junk is counted";
  unlink(path.c_str());
}

}  // namespace
}  // namespace xaudio_test
