#pragma once

// Records what a PulseAudio sink plays, through `parec` on its monitor
// source: the loudness of every 10 ms block with the time it arrived.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace xaudio_test {

// True when a PulseAudio server answers and has the sink `sink`.
bool SoundServerHasSink(const std::string& sink);

class MonitorCapture {
 public:
  struct Block {
    std::chrono::steady_clock::time_point at;
    double rms;  // of 16-bit samples, full scale 32768
  };

  explicit MonitorCapture(const std::string& sink);
  ~MonitorCapture();  // ends parec
  bool Running() const { return pid_ > 0; }

  std::vector<Block> Blocks();
  // RMS over the blocks that arrived in [from, to).
  double Rms(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to);

 private:
  void Read();

  pid_t pid_ = -1;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread reader_;
  std::mutex mutex_;
  std::vector<Block> blocks_;
};

}  // namespace xaudio_test
