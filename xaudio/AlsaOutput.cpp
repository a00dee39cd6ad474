#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>

#include "xaudio/AudioOutput.h"

namespace xaudio {
namespace {

// A roomy buffer rides out a busy machine and sound servers that ask for
// data in large bursts; it costs no responsiveness, because Stop and seeks
// drop what it holds and positions are reported as the samples are heard.
constexpr unsigned kLatencyMicroseconds = 400000;
// Playback starts once this much is queued, not when the buffer is full.
constexpr unsigned kStartMilliseconds = 40;

class AlsaOutput final : public AudioOutput {
 public:
  explicit AlsaOutput(std::string device) : device_(std::move(device)) {}
  ~AlsaOutput() override { Close(); }

  bool Open(long rate, int channels, std::string& error) override {
    Close();
    int err = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (err < 0) {
      pcm_ = nullptr;
      error = "cannot open audio device \"" + device_ + "\": " + snd_strerror(err);
      return false;
    }
    err = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                             static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1,
                             kLatencyMicroseconds);
    if (err < 0) {
      error = "audio device \"" + device_ + "\" refuses " + std::to_string(rate) + " Hz, " +
              std::to_string(channels) + " channels: " + snd_strerror(err);
      Close();
      return false;
    }
    snd_pcm_uframes_t buffer = 0;
    if (snd_pcm_get_params(pcm_, &buffer, &period_) < 0 || period_ == 0) period_ = 1024;
    snd_pcm_sw_params_t* sw = nullptr;
    if (snd_pcm_sw_params_malloc(&sw) == 0) {
      const auto start = static_cast<snd_pcm_uframes_t>(rate * kStartMilliseconds / 1000);
      if (snd_pcm_sw_params_current(pcm_, sw) < 0 ||
          snd_pcm_sw_params_set_start_threshold(pcm_, sw, start) < 0 || snd_pcm_sw_params(pcm_, sw) < 0) {
        // Not fatal: the device then starts when its buffer is full.
      }
      snd_pcm_sw_params_free(sw);
    }
    rate_ = rate;
    channels_ = channels;
    return true;
  }

  void Close() override {
    if (pcm_ != nullptr) {
      snd_pcm_drop(pcm_);
      snd_pcm_close(pcm_);
      pcm_ = nullptr;
    }
    rate_ = 0;
    channels_ = 0;
  }

  bool IsOpen() const override { return pcm_ != nullptr; }
  long Rate() const override { return rate_; }
  int Channels() const override { return channels_; }

  long Write(const short* pcm, long frames, std::chrono::milliseconds wait) override {
    if (pcm_ == nullptr) return -1;
    if (frames <= 0) return 0;
    // Writing only once a period's worth of room is free keeps the thread
    // asleep between periods instead of trickling samples in.
    const long wanted = std::min<long>(frames, static_cast<long>(period_));
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) {
      if (!Recover(static_cast<int>(avail))) return -1;
      avail = snd_pcm_avail_update(pcm_);
      if (avail < 0) return Recover(static_cast<int>(avail)) ? 0 : -1;
    }
    if (avail < wanted && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
      // Not started yet: fill the buffer to the brim, which starts it.
      if (avail == 0) {
        Start();
        return 0;
      }
    } else if (avail < wanted) {
      const int w = snd_pcm_wait(pcm_, static_cast<int>(wait.count()));
      if (w < 0 && !Recover(w)) return -1;
      avail = snd_pcm_avail_update(pcm_);
      if (avail < 0) return Recover(static_cast<int>(avail)) ? 0 : -1;
      if (avail < wanted) return 0;
    }
    const snd_pcm_uframes_t n = static_cast<snd_pcm_uframes_t>(std::min<long>(avail, frames));
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, pcm, n);
    if (written == -EAGAIN) return 0;
    if (written < 0) return Recover(static_cast<int>(written)) ? 0 : -1;
    return static_cast<long>(written);
  }

  long Delay() override {
    if (pcm_ == nullptr) return 0;
    snd_pcm_sframes_t delay = 0;
    const int err = snd_pcm_delay(pcm_, &delay);
    if (err == -EPIPE) return 0;  // ran dry: everything written was heard
    if (err < 0) {
      Recover(err);
      return 0;
    }
    return std::max<long>(0, static_cast<long>(delay));
  }

  void Start() override {
    if (pcm_ != nullptr && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
      const int err = snd_pcm_start(pcm_);
      if (err < 0) Recover(err);
    }
  }

  void Drop() override {
    if (pcm_ == nullptr) return;
    int err = snd_pcm_drop(pcm_);
    if (err >= 0) err = snd_pcm_prepare(pcm_);
    if (err < 0) Recover(err);
  }

 private:
  bool Recover(int err) { return snd_pcm_recover(pcm_, err, 1) >= 0; }

  std::string device_;
  snd_pcm_t* pcm_ = nullptr;
  long rate_ = 0;
  int channels_ = 0;
  snd_pcm_uframes_t period_ = 1024;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeAlsaOutput(const std::string& device) {
  return std::make_unique<AlsaOutput>(device);
}

}  // namespace xaudio
