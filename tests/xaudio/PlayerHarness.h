#pragma once

// Drives one real player through a message window on the test's thread and
// keeps every notification it delivers, texts copied, with its arrival time.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"
#include "xaudio/xaudio.h"

namespace xaudio_test {

using Clock = std::chrono::steady_clock;

struct Note {
  int code = 0;
  XA_Message raw{};
  std::string text4, text8, text12;  // copies of the texts the code carries
  std::string record;                // a copy of the equalizer record
  Clock::time_point at;
  uint32_t U32(int offset) const;
  int16_t S16(int offset) const;
  uint8_t Byte(int offset) const;
};

enum class Output { kSilent, kSystem };

class PlayerHarness {
 public:
  explicit PlayerHarness(Output output = Output::kSilent);
  ~PlayerHarness();  // deletes the player, then the window

  XA_Player* player() const { return player_; }
  const std::vector<Note>& notes() const { return notes_; }
  size_t Mark() const { return notes_.size(); }
  // Window messages that reached the window, converted or not.
  size_t WindowMessages() const { return window_messages_; }

  // Pumps the event loop until `done` holds or `timeout_ms` passes.
  bool WaitFor(const std::function<bool()>& done, int timeout_ms);
  // The first notification of `code` at or after `mark`, waiting for it.
  std::optional<Note> WaitForCode(int code, size_t mark, int timeout_ms);
  // Waits for the ack or nack of `command` after `mark`; the nack's error
  // code goes to `error`. True for an ack.
  bool WaitForReply(int command, size_t mark, int timeout_ms, int* error = nullptr);
  std::vector<const Note*> Since(size_t mark, int code) const;

  // Sends and waits for the reply; true for an ack.
  bool Open(const std::string& path, int* error = nullptr);
  bool Command(int code, int timeout_ms = 3000);
  bool Seek(int offset, int range, int* error = nullptr);
  bool SetRange(int range);
  void Delete();

 private:
  void Receive(uint32_t message, uintptr_t wparam, intptr_t lparam);

  std::unique_ptr<MessageWindow> window_;
  uint32_t handle_ = 0;
  XA_Player* player_ = nullptr;
  std::vector<Note> notes_;
  size_t window_messages_ = 0;
};

// Offsets reported in position notifications after `mark`.
std::vector<uint32_t> Offsets(const PlayerHarness& h, size_t mark);

}  // namespace xaudio_test
