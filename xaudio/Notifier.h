#pragma once

// The notification channel from a player thread to the owner's message
// window. Records wait in a queue with owned copies of their texts; the
// window gets one posted message per record and turns it back into the
// record with Take, on its own thread.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "xaudio/xaudio.h"

namespace xaudio {

// The window message number that carries a player's notification.
constexpr uint32_t kNotifyWindowMessage = 0x8000 + 0x0A5A;

// One notification: the record and the storage its pointers point into.
class Notification {
 public:
  explicit Notification(int code) { message_.code = code; }

  Notification& Byte(int offset, uint8_t value);
  Notification& U16(int offset, uint16_t value);
  Notification& U32(int offset, uint32_t value);
  // A zero-terminated copy of `text`, its pointer in the word at `offset`.
  Notification& Text(int offset, const std::string& text);
  // A copy of `size` bytes at `data`, its pointer in the word at `offset`.
  Notification& Record(int offset, const void* data, size_t size);

  const XA_Message& message() const { return message_; }

 private:
  XA_Message message_{};
  // Heap blocks keep their address when the notification is copied or moved.
  std::vector<std::shared_ptr<char[]>> owned_;
};

class Notifier {
 public:
  Notifier(uint32_t window, uint32_t player_id) : window_(window), player_id_(player_id) {}

  // Queues the record and posts its window message. A record whose window is
  // gone is dropped at once.
  void Post(Notification notification);
  // Nothing is posted after this.
  void Close();

  // Fills `out` from a posted message; code 0 when the message is not one of
  // this player's. The texts stay valid until the next Take.
  void Take(XA_Message* out, uint32_t window_message, uintptr_t wparam, intptr_t lparam);

  size_t Pending();

 private:
  struct Entry {
    uint32_t sequence;
    Notification notification;
  };

  std::mutex mutex_;
  const uint32_t window_;
  const uint32_t player_id_;
  uint32_t next_sequence_ = 1;
  bool closed_ = false;
  std::deque<Entry> queue_;
  std::unique_ptr<Notification> delivered_;
};

}  // namespace xaudio
