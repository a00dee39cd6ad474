// Playback on real files through the silent output, which keeps real time:
// what the window relies on (duration, every offset, timecodes, exact seeks,
// end of input, Stop at once).

#include <gtest/gtest.h>

#include <numeric>

#include "Media.h"
#include "PlayerHarness.h"

namespace xaudio_test {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

#if defined(KERFWELL_SANITIZED)
constexpr int kStopWithinMs = 250;  // the sanitizer slows every thread down
#else
constexpr int kStopWithinMs = 100;
#endif

int Ms(Clock::duration d) { return static_cast<int>(duration_cast<milliseconds>(d).count()); }

struct Format {
  Kind kind;
  uint8_t level, layer;
  uint16_t bitrate, frequency;
  uint8_t mode;  // 1 joint stereo, 0 stereo, 3 mono
};

TEST(XaudioPlayback, OpenReportsStreamInfoAndDurationForEveryLayerAndVersion) {
  const Format formats[] = {{Kind::kMpeg1Layer3, 1, 3, 128, 44100, 1},
                            {Kind::kMpeg2Layer3, 2, 3, 64, 22050, 1},
                            {Kind::kMpeg1Layer2, 1, 2, 192, 48000, 0},
                            {Kind::kMonoLayer3, 1, 3, 64, 32000, 3}};
  PlayerHarness h;
  for (const Format& f : formats) {
    const std::string path = ToneFile(f.kind, 3);
    SCOPED_TRACE(path);
    const size_t mark = h.Mark();
    ASSERT_TRUE(h.Open(path));
    const auto state = h.Since(mark, XA_MSG_NOTIFY_INPUT_STATE);
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0]->Byte(4), XA_INPUT_STATE_OPEN);
    const auto name = h.Since(mark, XA_MSG_NOTIFY_INPUT_NAME);
    ASSERT_EQ(name.size(), 1u);
    EXPECT_EQ(name[0]->text4, path);
    const auto info = h.Since(mark, XA_MSG_NOTIFY_INPUT_STREAM_INFO);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0]->Byte(4), f.level);
    EXPECT_EQ(info[0]->Byte(5), f.layer);
    EXPECT_EQ(info[0]->U32(6) & 0xFFFF, f.bitrate);
    EXPECT_EQ(info[0]->U32(8) & 0xFFFF, f.frequency);
    EXPECT_EQ(info[0]->Byte(10), f.mode);
    const auto duration = h.Since(mark, XA_MSG_NOTIFY_INPUT_DURATION);
    ASSERT_EQ(duration.size(), 1u);
    EXPECT_EQ(duration[0]->U32(4), 3u);  // encoders add well under a second
  }
}

TEST(XaudioPlayback, PlayReportsEveryFrameIndexAndCountsSecondsInRealTime) {
  struct Case {
    Kind kind;
    int samples_per_frame;
    int rate;
  };
  for (Case c : {Case{Kind::kMpeg1Layer3, 1152, 44100}, Case{Kind::kMpeg2Layer3, 576, 22050},
                 Case{Kind::kMpeg1Layer2, 1152, 48000}}) {
    const std::string path = ToneFile(c.kind, 2);
    SCOPED_TRACE(path);
    const int frames = CountFrames(path);
    ASSERT_GT(frames, 30);
    PlayerHarness h;
    ASSERT_TRUE(h.Open(path));
    ASSERT_TRUE(h.SetRange(frames));
    ASSERT_TRUE(h.Seek(0, frames));
    const size_t mark = h.Mark();
    const auto started = Clock::now();
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
    ASSERT_TRUE(h.WaitFor(
        [&] {
          for (const Note* n : h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE))
            if (n->Byte(4) == XA_PLAYER_STATE_EOF) return true;
          return false;
        },
        8000));
    const int elapsed = Ms(Clock::now() - started);

    std::vector<uint32_t> expected(static_cast<size_t>(frames));
    std::iota(expected.begin(), expected.end(), 0u);
    EXPECT_EQ(Offsets(h, mark), expected) << "offsets are frame indexes, each reported once, in order";
    for (const Note* n : h.Since(mark, XA_MSG_NOTIFY_INPUT_POSITION))
      EXPECT_EQ(n->U32(8), static_cast<uint32_t>(frames));
    std::vector<int> seconds;
    for (const Note* n : h.Since(mark, XA_MSG_NOTIFY_INPUT_TIMECODE)) {
      EXPECT_EQ(n->Byte(4), 0);
      EXPECT_EQ(n->Byte(5), 0);
      seconds.push_back(n->Byte(6));
    }
    std::vector<int> expected_seconds((frames - 1) * c.samples_per_frame / c.rate + 1);
    std::iota(expected_seconds.begin(), expected_seconds.end(), 0);
    EXPECT_EQ(seconds, expected_seconds) << "one timecode for each whole second";
    std::vector<int> states;
    for (const Note* n : h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE)) states.push_back(n->Byte(4));
    EXPECT_EQ(states, (std::vector<int>{XA_PLAYER_STATE_PLAYING, XA_PLAYER_STATE_EOF}));
    EXPECT_GT(elapsed, 1800) << "the silent output plays in real time";
    EXPECT_LT(elapsed, 3500);
  }
}

TEST(XaudioPlayback, OffsetsFollowTheRangeWithoutGapsOrRepeats) {
  const std::string path = ToneFile(Kind::kMpeg1Layer3, 2);
  const int frames = CountFrames(path);
  for (int range : {10, 400, frames * 3}) {
    SCOPED_TRACE(range);
    PlayerHarness h;
    ASSERT_TRUE(h.Open(path));
    ASSERT_TRUE(h.SetRange(range));
    const size_t mark = h.Mark();
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
    ASSERT_TRUE(h.WaitFor([&] { return h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE).size() >= 2; }, 8000));
    const auto offsets = Offsets(h, mark);
    ASSERT_FALSE(offsets.empty());
    for (size_t i = 0; i < offsets.size(); ++i) EXPECT_EQ(offsets[i], i) << "every offset once, in order";
    EXPECT_EQ(offsets.back(), static_cast<uint32_t>(static_cast<int64_t>(frames - 1) * range / frames));
  }
}

TEST(XaudioPlayback, SeekLandsOnTheAskedFrame) {
  const std::string path = ToneFile(Kind::kMpeg1Layer3, 3);
  const int frames = CountFrames(path);
  PlayerHarness h;
  ASSERT_TRUE(h.Open(path));
  ASSERT_TRUE(h.SetRange(frames));
  control_message_send_I(h.player(), XA_MSG_SET_DEBUG_LEVEL, 2);  // "decoded frame N" for every frame
  for (int frame : {0, 1, 57, frames / 2 + 3, frames - 2}) {
    SCOPED_TRACE(frame);
    ASSERT_TRUE(h.Seek(frame, frames));
    const size_t mark = h.Mark();
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
    ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 2; }, 3000));
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_STOP));
    const auto offsets = Offsets(h, mark);
    EXPECT_EQ(offsets[0], static_cast<uint32_t>(frame));
    EXPECT_EQ(offsets[1], static_cast<uint32_t>(frame + 1));
    const auto decoded = h.Since(mark, XA_MSG_NOTIFY_DEBUG);
    ASSERT_FALSE(decoded.empty());
    EXPECT_EQ(decoded[0]->text8, "decoded frame " + std::to_string(frame)) << "the decoder itself is there";
  }
  // A seek in other units goes to the same fraction of the input: the first
  // frame at or after it.
  ASSERT_TRUE(h.Seek(1, 3));
  const size_t mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return !Offsets(h, mark).empty(); }, 3000));
  EXPECT_EQ(Offsets(h, mark)[0], static_cast<uint32_t>((frames + 2) / 3));
  // A seek while playing goes on playing from there.
  const size_t before = h.Mark();
  ASSERT_TRUE(h.Seek(10, frames));
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, before).size() >= 3; }, 3000));
  const auto after_seek = Offsets(h, before);
  const auto first = std::find(after_seek.begin(), after_seek.end(), 10u);
  ASSERT_NE(first, after_seek.end());
  EXPECT_EQ(*(first + 1), 11u);
}

TEST(XaudioPlayback, StopSilencesAtOnceAndPlayGoesOnFromThere) {
  const std::string path = ToneFile(Kind::kMpeg1Layer3, 3);
  const int frames = CountFrames(path);
  PlayerHarness h;
  ASSERT_TRUE(h.Open(path));
  ASSERT_TRUE(h.SetRange(frames));
  size_t mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 20; }, 3000));

  const size_t stop_mark = h.Mark();
  const auto stop_sent = Clock::now();
  control_message_send_N(h.player(), XA_MSG_COMMAND_STOP);
  const auto stopped = h.WaitForCode(XA_MSG_NOTIFY_PLAYER_STATE, stop_mark, 1000);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->Byte(4), XA_PLAYER_STATE_STOPPED);
  EXPECT_LT(Ms(stopped->at - stop_sent), kStopWithinMs);
  h.WaitFor([] { return false; }, 300);
  bool after_stop = false;
  uint32_t last = 0;
  for (size_t i = mark; i < h.notes().size(); ++i) {
    const Note& n = h.notes()[i];
    if (n.code == XA_MSG_NOTIFY_PLAYER_STATE && n.Byte(4) == XA_PLAYER_STATE_STOPPED) after_stop = true;
    if (n.code == XA_MSG_NOTIFY_INPUT_POSITION) {
      EXPECT_FALSE(after_stop) << "no position after the stopped state";
      last = n.U32(4);
    }
  }
  // What was decoded but not yet heard plays on the next Play.
  mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return !Offsets(h, mark).empty(); }, 3000));
  EXPECT_EQ(Offsets(h, mark)[0], last + 1);

  // Stop when already stopped still answers with the stopped state.
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_STOP));
  mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_STOP));
  ASSERT_EQ(h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE).size(), 1u);
}

TEST(XaudioPlayback, PauseHoldsThePositionAndPlayResumes) {
  const std::string path = ToneFile(Kind::kMpeg1Layer3, 3);
  const int frames = CountFrames(path);
  PlayerHarness h;
  ASSERT_TRUE(h.Open(path));
  ASSERT_TRUE(h.SetRange(frames));
  size_t mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 10; }, 3000));
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PAUSE));
  const auto paused = h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE);
  ASSERT_EQ(paused.back()->Byte(4), XA_PLAYER_STATE_PAUSED);
  const uint32_t last = Offsets(h, mark).back();
  mark = h.Mark();
  h.WaitFor([] { return false; }, 300);
  EXPECT_TRUE(Offsets(h, mark).empty()) << "paused players report nothing";
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return !Offsets(h, mark).empty(); }, 3000));
  EXPECT_EQ(Offsets(h, mark)[0], last + 1);
}

TEST(XaudioPlayback, EndOfInputThenRewindAndAnotherInput) {
  const std::string path = ToneFile(Kind::kMpeg1Layer3, 2);
  const int frames = CountFrames(path);
  PlayerHarness h;
  ASSERT_TRUE(h.Open(path));
  ASSERT_TRUE(h.SetRange(frames));
  ASSERT_TRUE(h.Seek(frames - 5, frames));
  size_t mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor(
      [&] {
        auto s = h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE);
        return !s.empty() && s.back()->Byte(4) == XA_PLAYER_STATE_EOF;
      },
      3000));
  EXPECT_EQ(Offsets(h, mark),
            (std::vector<uint32_t>{static_cast<uint32_t>(frames - 5), static_cast<uint32_t>(frames - 4),
                                   static_cast<uint32_t>(frames - 3), static_cast<uint32_t>(frames - 2),
                                   static_cast<uint32_t>(frames - 1)}));
  // What the window does on end of input: back to the very beginning, which
  // leaves the player stopped.
  mark = h.Mark();
  ASSERT_TRUE(h.Seek(0, 1));
  auto states = h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE);
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states[0]->Byte(4), XA_PLAYER_STATE_STOPPED);
  mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return !Offsets(h, mark).empty(); }, 3000));
  EXPECT_EQ(Offsets(h, mark)[0], 0u);
}

TEST(XaudioPlayback, AnInputOpenedWhilePlayingPlaysOnFromTheSeekThatFollows) {
  const std::string first = ToneFile(Kind::kMpeg1Layer3, 3);
  const std::string second = ToneFile(Kind::kMpeg2Layer3, 3);
  const int first_frames = CountFrames(first);
  const int second_frames = CountFrames(second);
  auto states_since = [](const PlayerHarness& h, size_t mark) {
    std::vector<int> states;
    for (const Note* n : h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE)) states.push_back(n->Byte(4));
    return states;
  };
  PlayerHarness h;
  ASSERT_TRUE(h.Open(first));
  ASSERT_TRUE(h.SetRange(first_frames));
  size_t mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 5; }, 3000));

  // What the window sends when it loads a job while playing: open, range, seek.
  mark = h.Mark();
  control_message_send_S(h.player(), XA_MSG_COMMAND_INPUT_OPEN, second.c_str());
  control_message_send_I(h.player(), XA_MSG_SET_INPUT_POSITION_RANGE, second_frames);
  control_message_send_II(h.player(), XA_MSG_COMMAND_INPUT_SEEK, 20, second_frames);
  ASSERT_TRUE(h.WaitForReply(XA_MSG_COMMAND_INPUT_OPEN, mark, 3000));
  // Positions of the first input may precede the open's answer, never follow it.
  size_t opened = mark;
  while (!(h.notes()[opened].code == XA_MSG_NOTIFY_ACK &&
           h.notes()[opened].Byte(4) == XA_MSG_COMMAND_INPUT_OPEN))
    ++opened;
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, opened).size() >= 3; }, 3000)) << "playback went on";
  EXPECT_EQ(Offsets(h, opened)[0], 20u) << "from where the seek put it, nothing of the new input before";
  EXPECT_EQ(Offsets(h, opened)[1], 21u);
  EXPECT_EQ(Offsets(h, opened)[2], 22u);
  for (const Note* n : h.Since(opened, XA_MSG_NOTIFY_INPUT_POSITION)) {
    EXPECT_EQ(n->U32(8), static_cast<uint32_t>(second_frames));
  }
  EXPECT_TRUE(states_since(h, mark).empty()) << "the player stayed playing";
  ASSERT_EQ(h.Since(mark, XA_MSG_NOTIFY_INPUT_DURATION).size(), 1u);

  // With no seek behind the open, the new input plays from its first frame.
  mark = h.Mark();
  control_message_send_S(h.player(), XA_MSG_COMMAND_INPUT_OPEN, first.c_str());
  ASSERT_TRUE(h.WaitForReply(XA_MSG_COMMAND_INPUT_OPEN, mark, 3000));
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 2; }, 3000));
  EXPECT_EQ(Offsets(h, mark)[0], 0u);
  EXPECT_EQ(Offsets(h, mark)[1], static_cast<uint32_t>(second_frames / first_frames));
  EXPECT_TRUE(states_since(h, mark).empty());

  // A paused player stays paused, and Play goes on in the new input.
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PAUSE));
  mark = h.Mark();
  ASSERT_TRUE(h.Open(second));
  ASSERT_TRUE(h.Seek(7, second_frames));
  h.WaitFor([] { return false; }, 200);
  EXPECT_TRUE(states_since(h, mark).empty());
  EXPECT_TRUE(Offsets(h, mark).empty()) << "paused players report nothing";
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return !Offsets(h, mark).empty(); }, 3000));
  EXPECT_EQ(Offsets(h, mark)[0], 7u);

  // An input that cannot be opened leaves nothing to play: the player stops.
  mark = h.Mark();
  int error = 0;
  EXPECT_FALSE(h.Open(TempDir() + "/missing.mp3", &error));
  EXPECT_EQ(error, XA_ERROR_NO_SUCH_FILE);
  EXPECT_EQ(states_since(h, mark), std::vector<int>{XA_PLAYER_STATE_STOPPED});
  const size_t quiet = h.Mark();
  h.WaitFor([] { return false; }, 200);
  EXPECT_TRUE(Offsets(h, quiet).empty());
}

}  // namespace
}  // namespace xaudio_test
