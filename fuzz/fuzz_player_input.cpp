// The audio library's input path on arbitrary files: a component over the real
// library opens the bytes, plays them briefly to the silent output, seeks
// about, stops and is destroyed. Nothing may crash, hang or leak; every
// command gets exactly one reply; positions stay within the range set.
//
// Input: 5 control bytes, then the file's content (at most 32 KiB is used).
//   c[0..1]  position range: 1 + (c[0] | c[1] << 8) % 2000
//   c[2..3]  two seek targets, as fractions c / 255 of the range
//   c[4]     flags: 1 play on to the end (at most 100 ms); 2 pause and resume
//            before seeking; 4 seek once past the range (must be refused);
//            8 open the input again while it plays (the player goes on
//            playing: no state change)
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "preview/XaudioPlayer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kControl = 5;
constexpr std::size_t kMaxContent = 32 * 1024;
// A reply slower than this is a hang.
constexpr int kReplyTimeoutMs = 5000;

QApplication* g_app = nullptr;
fs::path g_dir;

struct Reply {
  std::uint8_t command;
  bool ack;
  std::int16_t code;
};

struct Log {
  std::vector<Reply> replies;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> positions;
  std::vector<std::int32_t> states;
  int durations = 0;
  std::size_t sent = 0;
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

int RepliesTo(const Log& log, std::uint8_t command) {
  int n = 0;
  for (const Reply& r : log.replies) n += r.command == command;
  return n;
}

// Sends a command and waits for its one reply; true for an ack.
bool Command(Log& log, std::uint8_t command, const std::function<void()>& send) {
  const int before = RepliesTo(log, command);
  ++log.sent;
  send();
  FUZZ_CHECK(WaitFor([&] { return RepliesTo(log, command) > before; }, kReplyTimeoutMs),
             "no reply to command %d within %d ms", command, kReplyTimeoutMs);
  for (auto it = log.replies.rbegin(); it != log.replies.rend(); ++it) {
    if (it->command == command) return it->ack;
  }
  return false;
}

void WriteFile(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  FUZZ_CHECK(fd >= 0, "cannot create %s", path.c_str());
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0, "write");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("KERFWELL_AUDIO_OUTPUT", "silent", 1);
  static int argc = 1;
  static char name[] = "fuzz_player_input";
  static char* argv[] = {name, nullptr};
  g_app = new QApplication(argc, argv);

  g_dir = MakeScratchDir("player");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t c[kControl] = {};
  std::memcpy(c, data, std::min(size, kControl));
  const std::uint8_t* content = data + std::min(size, kControl);
  const std::size_t contentSize = std::min(size - std::min(size, kControl), kMaxContent);
  const std::int32_t range = 1 + (c[0] | c[1] << 8) % 2000;
  const std::int32_t seeks[] = {c[2] * range / 255, c[3] * range / 255, range, 0};

  const fs::path input = g_dir / "input.mp3";
  WriteFile(input, content, contentSize);

  Log log;
  auto* player = new TXaudioPlayer(nullptr);
  player->OnNotifyAck = [&log](QObject*, std::uint8_t command) { log.replies.push_back({command, true, 0}); };
  player->OnNotifyNack = [&log](QObject*, std::uint8_t command, std::int16_t code) {
    log.replies.push_back({command, false, code});
  };
  player->OnNotifyInputPosition = [&log](QObject*, std::uint32_t offset, std::uint32_t r) {
    log.positions.emplace_back(offset, r);
  };
  player->OnNotifyPlayerState = [&log](QObject*, std::int32_t state) { log.states.push_back(state); };
  player->OnNotifyInputDuration = [&log](QObject*, std::uint32_t) { ++log.durations; };

  FUZZ_CHECK(Command(log, XA_MSG_SET_INPUT_POSITION_RANGE, [&] { player->SetInputPositionRange(range); }),
             "range %d refused", range);
  const bool opened =
      Command(log, XA_MSG_COMMAND_INPUT_OPEN, [&] { player->InputOpen(QString::fromStdString(input)); });
  if (opened) {
    FUZZ_CHECK(log.durations == 1, "%d duration notifications before the open was acknowledged",
               log.durations);
    FUZZ_CHECK(Command(log, XA_MSG_COMMAND_PLAY, [&] { player->Play(); }), "play refused on an open input");
    // Briefly: to the first position, or to the end when asked, within 100 ms
    // (it plays in real time, so only short inputs get there).
    WaitFor(
        [&] {
          const bool ended = !log.states.empty() && log.states.back() == XA_PLAYER_STATE_EOF;
          return (c[4] & 1) ? ended : ended || !log.positions.empty();
        },
        100);
    if (c[4] & 2) {
      Command(log, XA_MSG_COMMAND_PAUSE, [&] { player->Pause(); });
      Command(log, XA_MSG_COMMAND_PLAY, [&] { player->Play(); });
    }
    if (c[4] & 8) {
      const bool playing = !log.states.empty() && log.states.back() == XA_PLAYER_STATE_PLAYING;
      const std::size_t states = log.states.size();
      const int durations = log.durations;
      FUZZ_CHECK(
          Command(log, XA_MSG_COMMAND_INPUT_OPEN, [&] { player->InputOpen(QString::fromStdString(input)); }),
          "the same input refused when opened again");
      FUZZ_CHECK(log.durations == durations + 1, "no duration for the input opened again");
      // Only the end of input may come meanwhile (it may have been on its way
      // when the open was sent, and the open then leaves the stopped state).
      for (std::size_t i = states; playing && i < log.states.size(); ++i) {
        const bool after_end = i > 0 && log.states[i - 1] == XA_PLAYER_STATE_EOF;
        FUZZ_CHECK(
            log.states[i] == XA_PLAYER_STATE_EOF || (after_end && log.states[i] == XA_PLAYER_STATE_STOPPED),
            "state %d after an open while playing", log.states[i]);
      }
    }
  }
  for (const std::int32_t offset : seeks) {
    const bool sought = Command(log, XA_MSG_COMMAND_INPUT_SEEK, [&] { player->InputSeek(offset, range); });
    if (!opened) FUZZ_CHECK(!sought, "a seek without an input was acknowledged");
  }
  if (c[4] & 4) {
    FUZZ_CHECK(!Command(log, XA_MSG_COMMAND_INPUT_SEEK, [&] { player->InputSeek(range + 1, range); }),
               "a seek past the range was acknowledged");
  }
  FUZZ_CHECK(Command(log, XA_MSG_COMMAND_STOP, [&] { player->Stop(); }), "stop refused");

  delete player;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents(QEventLoop::AllEvents);

  FUZZ_CHECK(log.replies.size() == log.sent, "%zu replies to %zu commands", log.replies.size(), log.sent);
  for (const auto& [offset, r] : log.positions) {
    FUZZ_CHECK(r == static_cast<std::uint32_t>(range) && offset <= r, "position %u of %u, range set %d",
               offset, r, range);
  }
  for (const std::int32_t state : log.states) FUZZ_CHECK(state >= 0 && state <= 3, "player state %d", state);
  return 0;
}
