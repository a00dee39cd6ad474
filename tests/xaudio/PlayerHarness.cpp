#include "PlayerHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdlib>
#include <thread>

#include "xaudio/MessageFields.h"

namespace xaudio_test {

uint32_t Note::U32(int offset) const { return xa_fields::U32(raw, offset); }
int16_t Note::S16(int offset) const { return xa_fields::S16(raw, offset); }
uint8_t Note::Byte(int offset) const { return xa_fields::Byte(raw, offset); }

namespace {

std::string CopyText(const XA_Message& m, int offset) {
  const char* s = xa_fields::Text(m, offset);
  return s == nullptr ? std::string() : std::string(s);
}

}  // namespace

PlayerHarness::PlayerHarness(Output output) {
  if (output == Output::kSilent) {
    setenv("KERFWELL_AUDIO_OUTPUT", "silent", 1);
  } else {
    unsetenv("KERFWELL_AUDIO_OUTPUT");
  }
  window_ = std::make_unique<MessageWindow>(
      [this](uint32_t message, uintptr_t wparam, intptr_t lparam) { Receive(message, wparam, lparam); });
  handle_ = window_->Handle();
  EXPECT_EQ(player_new(&player_, &handle_), 0);
  EXPECT_NE(player_, nullptr);
}

PlayerHarness::~PlayerHarness() {
  Delete();
  window_.reset();
}

void PlayerHarness::Delete() {
  if (player_ != nullptr) player_delete(player_);
  player_ = nullptr;
}

void PlayerHarness::Receive(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  ++window_messages_;
  if (player_ == nullptr) return;
  Note n;
  control_win32_params_to_message(player_, &n.raw, message, wparam, lparam);
  n.code = n.raw.code;
  n.at = Clock::now();
  switch (n.code) {
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
    case XA_MSG_NOTIFY_INPUT_NAME:
    case XA_MSG_NOTIFY_OUTPUT_NAME:
      n.text4 = CopyText(n.raw, 4);
      break;
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING:
      n.text4 = CopyText(n.raw, 4);
      n.text8 = CopyText(n.raw, 8);
      break;
    case XA_MSG_NOTIFY_PROGRESS:
    case XA_MSG_NOTIFY_DEBUG:
    case XA_MSG_NOTIFY_ERROR:
      n.text8 = CopyText(n.raw, 8);
      break;
    case XA_MSG_NOTIFY_CODEC_EQUALIZER:
      if (const void* record = xa_fields::Pointer(n.raw, 4)) {
        n.record.assign(static_cast<const char*>(record), sizeof(XA_EqualizerInfo));
      }
      break;
    default:
      break;
  }
  notes_.push_back(std::move(n));
}

bool PlayerHarness::WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::vector<const Note*> PlayerHarness::Since(size_t mark, int code) const {
  std::vector<const Note*> found;
  for (size_t i = mark; i < notes_.size(); ++i) {
    if (notes_[i].code == code) found.push_back(&notes_[i]);
  }
  return found;
}

std::optional<Note> PlayerHarness::WaitForCode(int code, size_t mark, int timeout_ms) {
  std::optional<Note> found;
  WaitFor(
      [&] {
        for (size_t i = mark; i < notes_.size(); ++i) {
          if (notes_[i].code == code) {
            found = notes_[i];
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

bool PlayerHarness::WaitForReply(int command, size_t mark, int timeout_ms, int* error) {
  bool acked = false;
  const bool replied = WaitFor(
      [&] {
        for (size_t i = mark; i < notes_.size(); ++i) {
          const Note& n = notes_[i];
          if ((n.code == XA_MSG_NOTIFY_ACK || n.code == XA_MSG_NOTIFY_NACK) && n.Byte(4) == command) {
            acked = n.code == XA_MSG_NOTIFY_ACK;
            if (error != nullptr) *error = acked ? 0 : n.S16(6);
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  EXPECT_TRUE(replied) << "no reply to command " << command;
  return acked;
}

bool PlayerHarness::Open(const std::string& path, int* error) {
  const size_t mark = Mark();
  control_message_send_S(player_, XA_MSG_COMMAND_INPUT_OPEN, path.c_str());
  return WaitForReply(XA_MSG_COMMAND_INPUT_OPEN, mark, 10000, error);
}

bool PlayerHarness::Command(int code, int timeout_ms) {
  const size_t mark = Mark();
  control_message_send_N(player_, code);
  return WaitForReply(code, mark, timeout_ms);
}

bool PlayerHarness::Seek(int offset, int range, int* error) {
  const size_t mark = Mark();
  control_message_send_II(player_, XA_MSG_COMMAND_INPUT_SEEK, offset, range);
  return WaitForReply(XA_MSG_COMMAND_INPUT_SEEK, mark, 3000, error);
}

bool PlayerHarness::SetRange(int range) {
  const size_t mark = Mark();
  control_message_send_I(player_, XA_MSG_SET_INPUT_POSITION_RANGE, range);
  return WaitForReply(XA_MSG_SET_INPUT_POSITION_RANGE, mark, 3000);
}

std::vector<uint32_t> Offsets(const PlayerHarness& h, size_t mark) {
  std::vector<uint32_t> offsets;
  for (const Note* n : h.Since(mark, XA_MSG_NOTIFY_INPUT_POSITION)) offsets.push_back(n->U32(4));
  return offsets;
}

}  // namespace xaudio_test
