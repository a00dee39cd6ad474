#include <algorithm>
#include <thread>

#include "xaudio/AudioOutput.h"

namespace xaudio {
namespace {

using Clock = std::chrono::steady_clock;

// Behaves like a device with a short queue that plays at the stream's rate:
// a player writing to it runs in real time, so positions and timecodes keep
// their pace on a machine without sound.
class SilentOutput final : public AudioOutput {
 public:
  bool Open(long rate, int channels, std::string& error) override {
    if (rate <= 0 || channels <= 0) {
      error = "silent output: no such format";
      return false;
    }
    rate_ = rate;
    channels_ = channels;
    capacity_ = std::max<long>(1, rate / 20);  // 50 ms
    heard_by_ = Clock::now();
    return true;
  }

  void Close() override {
    rate_ = 0;
    channels_ = 0;
  }
  bool IsOpen() const override { return rate_ > 0; }
  long Rate() const override { return rate_; }
  int Channels() const override { return channels_; }

  long Write(const short*, long frames, std::chrono::milliseconds wait) override {
    if (!IsOpen()) return -1;
    if (frames <= 0) return 0;
    // Room is taken a period at a time, as a device's interrupt would free it.
    const long wanted = std::min(frames, capacity_ / 2);
    long room = capacity_ - Delay();
    if (room < wanted) {
      const auto until_room = std::chrono::microseconds((wanted - room) * 1000000LL / rate_ + 1);
      std::this_thread::sleep_for(std::min<std::chrono::microseconds>(until_room, wait));
      room = capacity_ - Delay();
      if (room < wanted) return 0;
    }
    const long n = std::min(room, frames);
    const auto now = Clock::now();
    heard_by_ = std::max(heard_by_, now) + std::chrono::nanoseconds(n * 1000000000LL / rate_);
    return n;
  }

  long Delay() override {
    if (!IsOpen()) return 0;
    const auto left = heard_by_ - Clock::now();
    if (left.count() <= 0) return 0;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left).count() * rate_ /
                             1000000000LL);
  }

  void Start() override {}
  void Drop() override { heard_by_ = Clock::now(); }

 private:
  long rate_ = 0;
  int channels_ = 0;
  long capacity_ = 0;
  Clock::time_point heard_by_{};
};

}  // namespace

std::unique_ptr<AudioOutput> MakeSilentOutput() { return std::make_unique<SilentOutput>(); }

}  // namespace xaudio
