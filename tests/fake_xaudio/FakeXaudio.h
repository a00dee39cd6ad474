#pragma once

// Control of the fake audio library (target xaudio_fake). The fake exports
// exactly the C interface of xaudio/xaudio.h, records every call in order and
// plays no sound. Tests script its results and post notifications through the
// real message channel: platform_post_message to the window handle that the
// player was created with, converted back by control_win32_params_to_message.
//
// Typical use:
//   fake_xaudio::Reset();
//   TXaudioPlayer player(nullptr);              // player_new with its window
//   player.Play();
//   EXPECT_EQ(fake_xaudio::CommandTexts(), (std::vector<std::string>{"control_message_send_N(3)"}));
//   fake_xaudio::NotifyPlayerState(1);          // posted and delivered
//
// Everything here runs on the GUI thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "xaudio/xaudio.h"

namespace fake_xaudio {

// One library call, as the fake received it.
struct Call {
  std::string function;          // "control_message_send_SI", "player_new", ...
  const void* player = nullptr;  // the player argument; null for functions that take none
  int code = 0;                  // the command code of control_message_send_*; 0 for the others
  // The remaining arguments by kind, each in argument order:
  //   xaudio_get_api_version     ints {level}
  //   xaudio_error_string        ints {code}
  //   player_new                 pointers {player field, window field}; ints {*window field}
  //   player_delete              ints {1 if the farewell notification reached a window, else 0}
  //   player_set_priority        ints {priority}
  //   control_win32_params_to_message  pointers {record}; ints {message, wparam, lparam}
  //   control_message_send_*     ints, strings and pointers after the code
  std::vector<std::int64_t> ints;
  std::vector<std::optional<std::string>> strings;  // nullopt: a null pointer was passed
  std::vector<const void*> pointers;
  // The call without its player, arguments in their order: strings quoted,
  // pointers as null or ptr. "control_message_send_SI(31, \"NAME\", 7)".
  std::string text;
};
std::ostream& operator<<(std::ostream& os, const Call& call);

// Forgets the recorded calls, the queued notifications and every scripted
// result (version 3.2, player_new succeeds, commands return 0, priority 0,
// error texts "error <code>"). Players still alive stay known.
void Reset();
void ClearCalls();

std::vector<Call> Calls();
// Only the control_message_send_* calls.
std::vector<Call> CommandCalls();
std::vector<std::string> CommandTexts();
// Calls of one function.
std::vector<Call> CallsOf(const std::string& function);

// Scripted results.
void SetApiVersion(unsigned long version);
void SetPlayerNewResult(int result);           // not 0: player_new fails and writes nothing
void SetCommandResult(int status);             // returned by every control_message_send_*
void SetPriorityValue(unsigned int priority);  // player_set_priority sets it too
int PriorityReads();                           // player_get_priority calls since Reset
// The text that xaudio_error_string returns for code; nullopt: a null pointer.
void SetErrorText(int code, std::optional<std::string> text);

// The latest player that player_new created and player_delete has not
// deleted (null if none), and the window handle it was given.
XA_Player* CurrentPlayer();
std::uint32_t CurrentWindow();

// A notification record built field by field at the offsets of the 16-byte
// wire record (4..15), whatever the width of the data words.
class Notification {
 public:
  explicit Notification(std::int32_t code);
  Notification& Fill(std::uint8_t value);  // every data byte
  Notification& Byte(int offset, std::uint8_t value);
  Notification& U16(int offset, std::uint16_t value);
  Notification& S16(int offset, std::int16_t value);
  Notification& U32(int offset, std::uint32_t value);
  // A text at offset 4, 8 or 12, owned by the fake; nullopt leaves a null pointer.
  Notification& Text(int offset, std::optional<std::string> text);
  Notification& Pointer(int offset, const void* pointer);

  const XA_Message& Record() const { return record_; }
  const std::map<int, std::optional<std::string>>& Texts() const { return texts_; }

 private:
  XA_Message record_{};
  std::map<int, std::optional<std::string>> texts_;
};

// Post a notification to the current player's window; it arrives when the
// event loop runs (Deliver). Texts live in the fake from the conversion until
// the next conversion for the same player. False when there is no player or
// its window is gone.
bool Post(const Notification& notification);
bool Post(const XA_Message& record);  // pointers in the record as given
bool PostNotification(std::int32_t code, const std::function<void(XA_Message&)>& fill);
// A window message that is none of the library's notifications: its
// conversion fills code 0.
bool PostWindowMessage(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

// Runs the event loop at least once and until every notification posted for
// a live player has been converted (or a bound of rounds is reached); flushes
// deleteLater too. True when nothing is left pending.
bool Deliver();
std::size_t Pending();

// Post and Deliver the notifications the window relies on.
bool NotifyReady();
bool NotifyAck(std::uint8_t command);
bool NotifyNack(std::uint8_t command, std::int16_t code);
bool NotifyPlayerState(std::uint8_t state);
bool NotifyInputPosition(std::uint32_t offset, std::uint32_t range);
bool NotifyInputTimecode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
                         std::uint8_t fractions);
bool NotifyInputDuration(std::uint32_t duration);

}  // namespace fake_xaudio
