#pragma once

// One player: a thread that takes commands in order, decodes the input and
// feeds the output, and reports what happens through its Notifier.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "xaudio/AudioOutput.h"
#include "xaudio/CommandQueue.h"
#include "xaudio/Decoder.h"
#include "xaudio/Notifier.h"
#include "xaudio/xaudio.h"

namespace xaudio {

// The registration string of the system's sound output module, and the
// output name that selects it.
inline constexpr char kSystemOutputRegistration[] = "dsound_output_module_register@xa_dsound_output.dll";
inline constexpr char kSystemOutputName[] = "/dev/dsound/0";

class Player {
 public:
  Player(uint32_t window, uint32_t id);
  ~Player();  // stops the thread; nothing is posted afterwards
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  int Send(Command command);
  void Take(XA_Message* out, uint32_t window_message, uintptr_t wparam, intptr_t lparam) {
    notifier_.Take(out, window_message, wparam, lparam);
  }
  void SetPriority(unsigned priority) { priority_ = priority; }
  unsigned Priority() const { return priority_; }

 private:
  void Run();
  void Handle(const Command& c);
  // One step of playback; returns how long the thread may wait for commands.
  std::chrono::milliseconds Step();

  // Commands.
  int Play();
  int Pause();
  int Stop();
  int Seek(int32_t offset, int32_t range);
  int OpenInput(const std::string& path);
  void CloseInput();
  // Counts another slice of the input's frames; once all are counted, tells
  // the duration and goes where the last seek asked.
  void ContinueIndexing();
  void FinishIndexing();

  // Playback helpers.
  bool EnsureOutput();
  void CloseOutput();
  // Silences the output and puts the input back at the first frame not yet heard.
  void Halt();
  void ReportHeardFrames();
  void ReportFrame(int64_t frame);
  void ResetReports();
  void SetState(int state);

  void Ack(int command) { Post(Notification(XA_MSG_NOTIFY_ACK).Byte(4, static_cast<uint8_t>(command))); }
  void Nack(int command, int error);
  void Error(uint8_t source, int error, const std::string& text);
  void Debug(uint8_t level, const std::string& text);
  void Post(Notification n) { notifier_.Post(std::move(n)); }

  Notifier notifier_;
  CommandQueue commands_;
  std::atomic<unsigned> priority_{0};
  std::thread thread_;

  // Everything below belongs to the player thread.
  struct InFlight {
    int64_t frame;
    int64_t first_sample;  // in the output's running count of samples written
  };

  Decoder decoder_;
  std::unique_ptr<AudioOutput> output_;
  bool forced_silent_ = false;
  bool fallback_announced_ = false;
  std::string output_name_ = kSystemOutputName;
  bool system_output_registered_ = false;
  bool exited_ = false;

  int state_ = XA_PLAYER_STATE_STOPPED;
  int32_t range_ = 400;
  int64_t last_offset_ = -1;
  int64_t last_second_ = -1;
  bool input_ended_ = false;  // the decoder has nothing more to give
  // Playback holds back, after an input opened while playing, until the seek
  // that follows the open (or until the deadline).
  bool awaiting_seek_ = false;
  std::chrono::steady_clock::time_point awaiting_seek_until_{};
  // A seek that came while the frames were being counted, in its own units.
  bool seek_pending_ = false;
  int32_t pending_offset_ = 0;
  int32_t pending_range_ = 1;
  const int16_t* pending_ = nullptr;  // decoded samples not yet written
  long pending_samples_ = 0;
  int64_t written_ = 0;
  std::deque<InFlight> in_flight_;
  bool drain_deadline_set_ = false;
  std::chrono::steady_clock::time_point drain_deadline_{};

  // Stored settings, answered by the Get commands.
  std::map<std::string, int32_t> env_integers_;
  std::map<std::string, std::string> env_strings_;
  std::string input_name_;
  int32_t player_mode_ = 0;
  int32_t input_module_ = 0;
  int32_t output_module_ = 0;
  int32_t timecode_granularity_ = 1000;
  uint8_t volume_[3] = {100, 100, 50};
  int32_t output_channels_ = 2;
  int32_t output_ports_ = 0;
  int32_t codec_quality_ = 0;
  XA_EqualizerInfo equalizer_{};
  int32_t notification_mask_ = -1;
  int32_t debug_level_ = 0;
};

}  // namespace xaudio
