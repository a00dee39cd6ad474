#include "xaudio/CommandQueue.h"

namespace xaudio {

bool CommandQueue::Push(Command command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (commands_.size() >= kCapacity) return false;
    commands_.push_back(std::move(command));
  }
  ready_.notify_one();
  return true;
}

CommandQueue::PopResult CommandQueue::Pop(Command& command, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto have_something = [this] { return quit_ || !commands_.empty(); };
  if (wait.count() < 0) {
    ready_.wait(lock, have_something);
  } else if (!ready_.wait_for(lock, wait, have_something)) {
    return PopResult::kTimeout;
  }
  if (quit_) return PopResult::kQuit;
  command = std::move(commands_.front());
  commands_.pop_front();
  return PopResult::kCommand;
}

void CommandQueue::RequestQuit() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  ready_.notify_all();
}

}  // namespace xaudio
