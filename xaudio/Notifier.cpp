#include "xaudio/Notifier.h"

#include <cstring>

#include "platform/post_message.h"
#include "xaudio/MessageFields.h"

namespace xaudio {

Notification& Notification::Byte(int offset, uint8_t value) {
  xa_fields::SetByte(message_, offset, value);
  return *this;
}

Notification& Notification::U16(int offset, uint16_t value) {
  xa_fields::SetU16(message_, offset, value);
  return *this;
}

Notification& Notification::U32(int offset, uint32_t value) {
  xa_fields::SetU32(message_, offset, value);
  return *this;
}

Notification& Notification::Text(int offset, const std::string& text) {
  return Record(offset, text.c_str(), text.size() + 1);
}

Notification& Notification::Record(int offset, const void* data, size_t size) {
  std::shared_ptr<char[]> block(new char[size]);
  std::memcpy(block.get(), data, size);
  xa_fields::SetPointer(message_, offset, block.get());
  owned_.push_back(std::move(block));
  return *this;
}

void Notifier::Post(Notification notification) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;
  const uint32_t sequence = next_sequence_++;
  if (next_sequence_ == 0) next_sequence_ = 1;
  queue_.push_back(Entry{sequence, std::move(notification)});
  // Posting under the lock keeps the window's messages in queue order.
  if (platform_post_message(window_, kNotifyWindowMessage, player_id_, static_cast<intptr_t>(sequence)) ==
      0) {
    queue_.pop_back();
  }
}

void Notifier::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  queue_.clear();
}

void Notifier::Take(XA_Message* out, uint32_t window_message, uintptr_t wparam, intptr_t lparam) {
  *out = XA_Message{};
  if (window_message != kNotifyWindowMessage || wparam != player_id_) return;
  const auto sequence = static_cast<uint32_t>(lparam);
  std::lock_guard<std::mutex> lock(mutex_);
  // Messages arrive in posting order; records whose message never arrived
  // (a window that dropped them) are older than this one and go.
  while (!queue_.empty() && static_cast<int32_t>(queue_.front().sequence - sequence) < 0) queue_.pop_front();
  if (queue_.empty() || queue_.front().sequence != sequence) return;
  delivered_ = std::make_unique<Notification>(std::move(queue_.front().notification));
  queue_.pop_front();
  *out = delivered_->message();
}

size_t Notifier::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

}  // namespace xaudio
