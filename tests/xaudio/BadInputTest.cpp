// Inputs and command sequences that must end in a refusal or an error
// notification: never a crash, a hang or a leak.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "Media.h"
#include "PlayerHarness.h"

namespace xaudio_test {
namespace {

bool Ended(const PlayerHarness& h, size_t mark) {
  for (const Note* n : h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE))
    if (n->Byte(4) == XA_PLAYER_STATE_EOF) return true;
  return false;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

TEST(XaudioBadInput, RefusedInputsAreNackedWithAReadableReason) {
  const std::string good = ToneFile(Kind::kMpeg1Layer3, 2);
  const std::string dir = TempDir() + "/a-directory.mp3";
  mkdir(dir.c_str(), 0700);
  struct Case {
    std::string path;
    int error;
    const char* text;
  };
  const Case cases[] = {
      {TempDir() + "/missing.mp3", XA_ERROR_NO_SUCH_FILE, "file not found"},
      {"", XA_ERROR_NO_SUCH_FILE, "file not found"},
      {TempDir() + "/missing-dir/x.mp3", XA_ERROR_NO_SUCH_FILE, "file not found"},
      {dir, XA_ERROR_OPEN_FAILED, "cannot open file"},
      {"/dev/zero", XA_ERROR_OPEN_FAILED, "cannot open file"},
      {WriteFile("text.mp3", std::string(4000, 'a') + "\nplain text, no frames\n"), XA_ERROR_NOT_MPEG_AUDIO,
       "not an MPEG audio stream"},
      {WriteFile("empty.mp3", ""), XA_ERROR_NOT_MPEG_AUDIO, "not an MPEG audio stream"},
      {WriteFile("random1.mp3", RandomBytes(300000, 1)), XA_ERROR_NOT_MPEG_AUDIO, "not an MPEG audio stream"},
      {WriteFile("random2.mp3", RandomBytes(4096, 2)), XA_ERROR_NOT_MPEG_AUDIO, "not an MPEG audio stream"},
      {WriteFile("one-header.mp3", ReadFile(good).substr(0, 3)), XA_ERROR_NOT_MPEG_AUDIO,
       "not an MPEG audio stream"},
  };
  PlayerHarness h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(h.Open(good));
    int error = 0;
    const size_t mark = h.Mark();
    EXPECT_FALSE(h.Open(c.path, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_STREQ(xaudio_error_string(error), c.text);
    EXPECT_TRUE(h.Since(mark, XA_MSG_NOTIFY_INPUT_DURATION).empty());
    const auto input = h.Since(mark, XA_MSG_NOTIFY_INPUT_STATE);
    ASSERT_EQ(input.size(), 1u) << "the input open before is closed";
    EXPECT_EQ(input[0]->Byte(4), XA_INPUT_STATE_CLOSED);
    const size_t play = h.Mark();
    control_message_send_N(h.player(), XA_MSG_COMMAND_PLAY);
    EXPECT_FALSE(h.WaitForReply(XA_MSG_COMMAND_PLAY, play, 3000, &error));
    EXPECT_EQ(error, XA_ERROR_NO_INPUT);
  }
}

TEST(XaudioBadInput, FifosAndDevicesAreRefusedAtOnceAndThePlayerServesOn) {
  const std::string fifo = TempDir() + "/no-writer.mp3";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string good = ToneFile(Kind::kMpeg1Layer3, 2);
  PlayerHarness h;
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(h.Open(good));
    const size_t mark = h.Mark();
    const auto sent = Clock::now();
    control_message_send_S(h.player(), XA_MSG_COMMAND_INPUT_OPEN, path.c_str());
    int error = 0;
    EXPECT_FALSE(h.WaitForReply(XA_MSG_COMMAND_INPUT_OPEN, mark, 1000, &error));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count(), 1000);
    EXPECT_EQ(error, XA_ERROR_OPEN_FAILED);
    const auto input = h.Since(mark, XA_MSG_NOTIFY_INPUT_STATE);
    ASSERT_EQ(input.size(), 1u);
    EXPECT_EQ(input[0]->Byte(4), XA_INPUT_STATE_CLOSED);
    // The player thread is free: the next command is answered.
    control_message_send_I(h.player(), XA_MSG_COMMAND_PING, 7);
    EXPECT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_PONG, mark, 1000));
  }
  unlink(fifo.c_str());
}

TEST(XaudioBadInput, CommandsWithoutInputAndSeeksOutOfRange) {
  PlayerHarness h;
  int error = 0;
  EXPECT_FALSE(h.Seek(0, 10, &error));
  EXPECT_EQ(error, XA_ERROR_NO_INPUT);
  EXPECT_TRUE(h.Command(XA_MSG_COMMAND_PAUSE));
  EXPECT_TRUE(h.Command(XA_MSG_COMMAND_STOP));
  EXPECT_TRUE(h.Command(XA_MSG_COMMAND_INPUT_CLOSE));
  EXPECT_TRUE(h.Command(XA_MSG_COMMAND_OUTPUT_CLOSE));

  const std::string path = ToneFile(Kind::kMpeg1Layer3, 2);
  const int frames = CountFrames(path);
  ASSERT_TRUE(h.Open(path));
  const std::pair<int, int> bad[] = {{-1, frames}, {frames + 1, frames}, {1, 0}, {0, 0},
                                     {5, -3},      {INT32_MAX, 1}};
  for (auto [offset, range] : bad) {
    SCOPED_TRACE(std::to_string(offset) + "/" + std::to_string(range));
    EXPECT_FALSE(h.Seek(offset, range, &error));
    EXPECT_EQ(error, XA_ERROR_INVALID_PARAMETERS);
  }
  // Huge values that are in range do not overflow.
  EXPECT_TRUE(h.Seek(INT32_MAX - 1, INT32_MAX));
  // The very end: playing reports the end of input and nothing else.
  EXPECT_TRUE(h.Seek(frames, frames));
  const size_t mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return Ended(h, mark); }, 3000));
  EXPECT_TRUE(Offsets(h, mark).empty());
}

TEST(XaudioBadInput, TruncatedAndDamagedFilesPlayToTheirEnd) {
  const std::string whole = ReadFile(ToneFile(Kind::kMpeg1Layer3, 2));
  std::string damaged = whole;
  for (size_t i = 2000; i < 2600; ++i)
    damaged[i] = static_cast<char>(i * 7);  // a burst of garbage mid-stream
  const std::string files[] = {WriteFile("cut-mid-frame.mp3", whole.substr(0, whole.size() / 2 + 77)),
                               WriteFile("damaged.mp3", damaged),
                               WriteFile("junk-ahead.mp3", RandomBytes(3000, 3) + whole)};
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    PlayerHarness h;
    ASSERT_TRUE(h.Open(path));
    const size_t mark = h.Mark();
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
    ASSERT_TRUE(h.WaitFor([&] { return Ended(h, mark); }, 6000));
    const auto offsets = Offsets(h, mark);
    ASSERT_FALSE(offsets.empty());
    for (size_t i = 1; i < offsets.size(); ++i) EXPECT_GT(offsets[i], offsets[i - 1]);
    EXPECT_LT(offsets.back(), 400u);
  }
}

TEST(XaudioBadInput, FileDeletedOrCutWhilePlaying) {
  for (bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "deleted");
    const std::string path =
        WriteFile(cut ? "to-cut.mp3" : "to-delete.mp3", ReadFile(ToneFile(Kind::kMpeg1Layer3, 3)));
    PlayerHarness h;
    ASSERT_TRUE(h.Open(path));
    const size_t mark = h.Mark();
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
    ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 5; }, 3000));
    ASSERT_EQ(cut ? truncate(path.c_str(), 5000) : unlink(path.c_str()), 0);
    ASSERT_TRUE(h.WaitFor([&] { return Ended(h, mark); }, 6000)) << "playback ends instead of hanging";
    // The player still serves: the same path now is refused or reopened.
    int error = 0;
    const bool reopened = h.Open(path, &error);
    EXPECT_EQ(reopened, cut);
    if (!cut) {
      EXPECT_EQ(error, XA_ERROR_NO_SUCH_FILE);
    }
  }
}

TEST(XaudioBadInput, FloodOfCommandsWhilePlayingThenStopIsObeyed) {
  const std::string path = ToneFile(Kind::kMpeg1Layer3, 3);
  const int frames = CountFrames(path);
  PlayerHarness h;
  ASSERT_TRUE(h.Open(path));
  ASSERT_TRUE(h.SetRange(frames));
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  std::mt19937 gen(7);
  int accepted = 0, refused = 0;
  for (int i = 0; i < 20000; ++i) {
    int status = 0;
    switch (gen() % 6) {
      case 0:
        status = control_message_send_II(h.player(), XA_MSG_COMMAND_INPUT_SEEK,
                                         static_cast<int>(gen() % frames), frames);
        break;
      case 1:
        status = control_message_send_N(h.player(), XA_MSG_COMMAND_PLAY);
        break;
      case 2:
        status = control_message_send_N(h.player(), XA_MSG_COMMAND_PAUSE);
        break;
      case 3:
        status = control_message_send_I(h.player(), XA_MSG_COMMAND_PING, i);
        break;
      case 4:
        status = control_message_send_N(h.player(), XA_MSG_GET_INPUT_POSITION_RANGE);
        break;
      default:
        status = control_message_send_SI(h.player(), XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, "X", i);
        break;
    }
    (status == 0 ? accepted : refused) += 1;
    if (status != 0) {
      EXPECT_EQ(status, XA_ERROR_QUEUE_FULL);
    }
  }
  EXPECT_GT(accepted, 1000);
  // Whatever the flood left, Stop comes through and the player goes quiet.
  ASSERT_TRUE(h.WaitFor([&] { return control_message_send_N(h.player(), XA_MSG_COMMAND_STOP) == 0; }, 5000));
  const size_t mark = h.Mark();
  ASSERT_TRUE(h.WaitFor(
      [&] {
        auto s = h.Since(mark, XA_MSG_NOTIFY_PLAYER_STATE);
        return !s.empty() && s.back()->Byte(4) == XA_PLAYER_STATE_STOPPED &&
               h.Since(mark, XA_MSG_NOTIFY_ACK).size() > 0 &&
               h.Since(mark, XA_MSG_NOTIFY_ACK).back()->Byte(4) == XA_MSG_COMMAND_STOP;
      },
      20000));
  const size_t quiet = h.Mark();
  h.WaitFor([] { return false; }, 300);
  EXPECT_TRUE(Offsets(h, quiet).empty());
  control_message_send_I(h.player(), XA_MSG_COMMAND_PING, 99);
  EXPECT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_PONG, quiet, 3000));
}

TEST(XaudioBadInput, DeleteWhilePlayingReturnsPromptly) {
  PlayerHarness h;
  ASSERT_TRUE(h.Open(ToneFile(Kind::kMpeg1Layer3, 3)));
  const size_t mark = h.Mark();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 3; }, 3000));
  for (int i = 0; i < 100; ++i) control_message_send_N(h.player(), XA_MSG_GET_INPUT_NAME);
  const auto start = Clock::now();
  h.Delete();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 200);
}

TEST(XaudioBadInput, AnUnopenableDeviceFallsBackToTheSilentOutputAndSaysSo) {
  const std::string path = ToneFile(Kind::kMpeg1Layer3, 2);
  const int frames = CountFrames(path);
  PlayerHarness h(Output::kSystem);
  size_t mark = h.Mark();
  control_message_send_S(h.player(), XA_MSG_SET_OUTPUT_NAME, "kerfwell_no_such_device");
  ASSERT_TRUE(h.WaitForReply(XA_MSG_SET_OUTPUT_NAME, mark, 3000));
  ASSERT_TRUE(h.Open(path));
  ASSERT_TRUE(h.SetRange(frames));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(h.Seek(0, 1));
    mark = h.Mark();
    ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
    ASSERT_TRUE(h.WaitFor([&] { return Ended(h, mark); }, 6000)) << "playback goes on without sound";
    EXPECT_EQ(Offsets(h, mark).size(), static_cast<size_t>(frames));
    const auto errors = h.Since(mark, XA_MSG_NOTIFY_ERROR);
    if (round == 0) {
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_EQ(errors[0]->S16(6), XA_ERROR_OUTPUT_OPEN_FAILED);
      EXPECT_NE(errors[0]->text8.find("kerfwell_no_such_device"), std::string::npos) << errors[0]->text8;
    } else {
      EXPECT_TRUE(errors.empty()) << "said once, not on every Play";
    }
  }
}

}  // namespace
}  // namespace xaudio_test
