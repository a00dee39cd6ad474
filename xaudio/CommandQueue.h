#pragma once

// The player's inbox: commands in the order they were sent, consumed by the
// player thread. Bounded, so a runaway sender gets a refusal instead of
// growing the process without limit.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace xaudio {

struct Command {
  int code = 0;
  int32_t value1 = 0;
  int32_t value2 = 0;
  int32_t value3 = 0;
  std::string text1;
  std::string text2;
  std::vector<uint8_t> record;  // a copy of what a pointer argument pointed to
  bool has_record = false;
};

class CommandQueue {
 public:
  enum class PopResult { kCommand, kTimeout, kQuit };
  static constexpr size_t kCapacity = 4096;

  // False when the queue is full.
  bool Push(Command command);
  // Waits up to `wait` (forever when negative) for a command or a quit request.
  PopResult Pop(Command& command, std::chrono::milliseconds wait);
  void RequestQuit();

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Command> commands_;
  bool quit_ = false;
};

}  // namespace xaudio
