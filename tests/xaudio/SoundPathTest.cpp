// The real sound path: the system output plays through ALSA's default device
// into a PulseAudio null sink whose monitor the test records. Skipped when no
// such server runs (scripts/start-sound-server starts one).

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "Media.h"
#include "MonitorCapture.h"
#include "PlayerHarness.h"

namespace xaudio_test {
namespace {

using std::chrono::milliseconds;

constexpr char kSink[] = "kerfwell_null";

TEST(XaudioSoundPath, ToneIsHeardWhilePlayingAndSilenceFollowsStop) {
  if (!HaveTool("parec") || !SoundServerHasSink(kSink)) GTEST_SKIP() << "no PulseAudio server with " << kSink;
  setenv("PULSE_SINK", kSink, 1);  // ALSA's pulse device plays to this sink
  MonitorCapture capture(kSink);
  ASSERT_TRUE(capture.Running());
  PlayerHarness h(Output::kSystem);
  ASSERT_TRUE(h.WaitFor([&] { return capture.Blocks().size() >= 10; }, 3000)) << "the monitor records";

  // What the window sends at start-up.
  size_t mark = h.Mark();
  control_message_send_S(h.player(), XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER,
                         "dsound_output_module_register@xa_dsound_output.dll");
  control_message_send_SI(h.player(), XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.WINDOW", 1);
  control_message_send_S(h.player(), XA_MSG_SET_OUTPUT_NAME, "/dev/dsound/0");
  ASSERT_TRUE(h.WaitForReply(XA_MSG_SET_OUTPUT_NAME, mark, 3000));
  EXPECT_EQ(h.Since(mark, XA_MSG_NOTIFY_NACK).size(), 0u);

  ASSERT_TRUE(h.Open(ToneFile(Kind::kMpeg1Layer3, 4)));
  const auto before = Clock::now();
  h.WaitFor([] { return false; }, 300);
  const double idle = capture.Rms(before, Clock::now());

  mark = h.Mark();
  const auto play = Clock::now();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_PLAY));
  ASSERT_TRUE(h.WaitFor([&] { return Offsets(h, mark).size() >= 40; }, 5000));
  EXPECT_TRUE(h.Since(mark, XA_MSG_NOTIFY_ERROR).empty()) << "the sound device opened; no silent fallback";
  const double playing = capture.Rms(Clock::now() - milliseconds(500), Clock::now());

  const auto stop = Clock::now();
  ASSERT_TRUE(h.Command(XA_MSG_COMMAND_STOP));
  h.WaitFor([] { return false; }, 800);
  const double after = capture.Rms(stop + milliseconds(300), Clock::now());

  // The last loud block recorded after Stop marks when silence came.
  Clock::time_point last_loud = stop;
  Clock::time_point first_loud = stop;
  for (const auto& b : capture.Blocks()) {
    if (b.at >= stop && b.rms >= 100) last_loud = b.at;
    if (b.at >= play && b.at < first_loud && b.rms >= 100) first_loud = b.at;
  }
  std::cout << "first sound recorded " << std::chrono::duration_cast<milliseconds>(first_loud - play).count()
            << " ms after Play\n";
  std::cout << "[ sound    ] idle RMS " << idle << ", playing RMS " << playing << ", after Stop RMS " << after
            << "; last sound recorded " << std::chrono::duration_cast<milliseconds>(last_loud - stop).count()
            << " ms after Stop (recorder latency included); first position "
            << std::chrono::duration_cast<milliseconds>(h.Since(mark, XA_MSG_NOTIFY_INPUT_POSITION)[0]->at -
                                                        play)
                   .count()
            << " ms after Play\n";
  EXPECT_LT(idle, 50);
  EXPECT_GT(playing, 5000) << "a half-scale sine has an RMS near 11600";
  EXPECT_LT(after, 50);
}

}  // namespace
}  // namespace xaudio_test
