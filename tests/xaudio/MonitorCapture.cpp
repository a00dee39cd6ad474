#include "MonitorCapture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern char** environ;

namespace xaudio_test {

bool SoundServerHasSink(const std::string& sink) {
  if (std::system("pactl info >/dev/null 2>&1") != 0) return false;
  const std::string check = "pactl list short sinks 2>/dev/null | grep -q '\\b" + sink + "\\b'";
  return std::system(check.c_str()) == 0;
}

MonitorCapture::MonitorCapture(const std::string& sink) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  const std::string device = "--device=" + sink + ".monitor";
  const char* argv[] = {"parec",        device.c_str(),      "--raw", "--format=s16le", "--rate=44100",
                        "--channels=2", "--latency-msec=10", nullptr};
  pid_t pid = -1;
  const int r = posix_spawnp(&pid, "parec", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (r != 0) {
    close(pipe_fds[0]);
    return;
  }
  pid_ = pid;
  fd_ = pipe_fds[0];
  reader_ = std::thread([this] { Read(); });
}

MonitorCapture::~MonitorCapture() {
  stop_ = true;
  if (pid_ > 0) kill(pid_, SIGTERM);
  if (reader_.joinable()) reader_.join();
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
  if (fd_ >= 0) close(fd_);
}

void MonitorCapture::Read() {
  constexpr size_t kBlockBytes = 441 * 2 * 2;  // 10 ms of 44.1 kHz stereo
  std::vector<uint8_t> block;
  uint8_t buffer[4096];
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    block.insert(block.end(), buffer, buffer + n);
    while (block.size() >= kBlockBytes) {
      double sum = 0;
      for (size_t i = 0; i + 1 < kBlockBytes; i += 2) {
        const auto s = static_cast<int16_t>(block[i] | (block[i + 1] << 8));
        sum += static_cast<double>(s) * s;
      }
      const Block b{std::chrono::steady_clock::now(), std::sqrt(sum / (kBlockBytes / 2))};
      block.erase(block.begin(), block.begin() + kBlockBytes);
      std::lock_guard<std::mutex> lock(mutex_);
      blocks_.push_back(b);
    }
  }
}

std::vector<MonitorCapture::Block> MonitorCapture::Blocks() {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_;
}

double MonitorCapture::Rms(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
  std::lock_guard<std::mutex> lock(mutex_);
  double sum = 0;
  int count = 0;
  for (const Block& b : blocks_) {
    if (b.at >= from && b.at < to) {
      sum += b.rms * b.rms;
      ++count;
    }
  }
  return count == 0 ? -1 : std::sqrt(sum / count);
}

}  // namespace xaudio_test
