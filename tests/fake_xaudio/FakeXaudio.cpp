#include "tests/fake_xaudio/FakeXaudio.h"

#include <QCoreApplication>
#include <QEvent>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>

#include "platform/post_message.h"
#include "xaudio/MessageFields.h"

// The fake's players: never dereferenced by anyone but the fake.
struct XA_Player {
  std::uint32_t window = 0;
  bool deleted = false;
  std::vector<std::string> texts;  // the texts of the last conversion
};

namespace fake_xaudio {
namespace {

// The window message number the fake posts its notifications with.
constexpr std::uint32_t kNotificationMessage = 0x8001;

struct Queued {
  XA_Player* player = nullptr;
  XA_Message record{};
  std::map<int, std::optional<std::string>> texts;
};

struct State {
  std::recursive_mutex mutex;
  std::vector<Call> calls;
  unsigned long apiVersion = 0x030200;
  int playerNewResult = 0;
  int commandResult = 0;
  unsigned int priority = 0;
  int priorityReads = 0;
  std::map<int, std::optional<std::string>> errorTexts;
  std::string errorText;                            // the text handed out last
  std::vector<std::unique_ptr<XA_Player>> players;  // kept until exit: handles are never reused
  std::map<std::uintptr_t, Queued> queued;
  std::uintptr_t nextToken = 1;
};

State& S() {
  static State* state = new State;  // outlives every test and static destructor
  return *state;
}

// Appends rather than writing "\"" + string: GCC 12 at -O3 warns (-Wrestrict, a
// false positive) about the insert that form inlines.
std::string Quoted(const char* s) {
  if (!s) return "null";
  std::string text("\"");
  text += s;
  text += '"';
  return text;
}
std::string PointerText(const void* p) { return p ? "ptr" : "null"; }

// Builds a Call and its text together, argument by argument.
class Recorder {
 public:
  Recorder(const char* function, const void* player) {
    call_.function = function;
    call_.player = player;
  }
  Recorder& Code(int code) {
    call_.code = code;
    Arg(std::to_string(code));
    return *this;
  }
  Recorder& Int(std::int64_t value) {
    call_.ints.push_back(value);
    Arg(std::to_string(value));
    return *this;
  }
  Recorder& Str(const char* s) {
    call_.strings.push_back(s ? std::optional<std::string>(s) : std::nullopt);
    Arg(Quoted(s));
    return *this;
  }
  Recorder& Ptr(const void* p) {
    call_.pointers.push_back(p);
    Arg(PointerText(p));
    return *this;
  }
  Call Done() {
    call_.text = call_.function + "(" + args_ + ")";
    return std::move(call_);
  }

 private:
  void Arg(const std::string& text) { args_ += (args_.empty() ? "" : ", ") + text; }
  Call call_;
  std::string args_;
};

void Record(Recorder& r) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.calls.push_back(r.Done());
}

bool IsLive(const State& s, const XA_Player* player) {
  for (const auto& p : s.players)
    if (p.get() == player) return !p->deleted;
  return false;
}

XA_Player* Current(State& s) {
  for (auto it = s.players.rbegin(); it != s.players.rend(); ++it)
    if (!(*it)->deleted) return it->get();
  return nullptr;
}

bool Enqueue(XA_Player* player, Queued entry) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (!player) return false;
  entry.player = player;
  const std::uintptr_t token = s.nextToken++;
  s.queued[token] = std::move(entry);
  if (platform_post_message(player->window, kNotificationMessage, token, 0) == 1) return true;
  s.queued.erase(token);
  return false;
}

int Command(Recorder& r) {
  Record(r);
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  return s.commandResult;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const Call& call) { return os << call.text; }

void Reset() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.calls.clear();
  s.apiVersion = 0x030200;
  s.playerNewResult = 0;
  s.commandResult = 0;
  s.priority = 0;
  s.priorityReads = 0;
  s.errorTexts.clear();
  s.queued.clear();
}

void ClearCalls() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.calls.clear();
}

std::vector<Call> Calls() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  return s.calls;
}

std::vector<Call> CommandCalls() {
  std::vector<Call> result;
  for (Call& c : Calls())
    if (c.function.rfind("control_message_send_", 0) == 0) result.push_back(std::move(c));
  return result;
}

std::vector<std::string> CommandTexts() {
  std::vector<std::string> result;
  for (const Call& c : CommandCalls()) result.push_back(c.text);
  return result;
}

std::vector<Call> CallsOf(const std::string& function) {
  std::vector<Call> result;
  for (Call& c : Calls())
    if (c.function == function) result.push_back(std::move(c));
  return result;
}

void SetApiVersion(unsigned long version) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().apiVersion = version;
}
void SetPlayerNewResult(int result) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().playerNewResult = result;
}
void SetCommandResult(int status) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().commandResult = status;
}
void SetPriorityValue(unsigned int priority) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().priority = priority;
}
int PriorityReads() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  return S().priorityReads;
}
void SetErrorText(int code, std::optional<std::string> text) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().errorTexts[code] = std::move(text);
}

XA_Player* CurrentPlayer() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  return Current(S());
}

std::uint32_t CurrentWindow() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  XA_Player* p = Current(S());
  return p ? p->window : 0;
}

Notification::Notification(std::int32_t code) { record_.code = code; }

Notification& Notification::Fill(std::uint8_t value) {
  for (int offset = 4; offset < 16; ++offset) xa_fields::SetByte(record_, offset, value);
  return *this;
}
Notification& Notification::Byte(int offset, std::uint8_t value) {
  xa_fields::SetByte(record_, offset, value);
  return *this;
}
Notification& Notification::U16(int offset, std::uint16_t value) {
  xa_fields::SetU16(record_, offset, value);
  return *this;
}
Notification& Notification::S16(int offset, std::int16_t value) {
  xa_fields::SetU16(record_, offset, static_cast<std::uint16_t>(value));
  return *this;
}
Notification& Notification::U32(int offset, std::uint32_t value) {
  xa_fields::SetU32(record_, offset, value);
  return *this;
}
Notification& Notification::Text(int offset, std::optional<std::string> text) {
  xa_fields::SetPointer(record_, offset, nullptr);
  texts_[offset] = std::move(text);
  return *this;
}
Notification& Notification::Pointer(int offset, const void* pointer) {
  texts_.erase(offset);
  xa_fields::SetPointer(record_, offset, pointer);
  return *this;
}

bool Post(const Notification& notification) {
  Queued entry;
  entry.record = notification.Record();
  entry.texts = notification.Texts();
  return Enqueue(CurrentPlayer(), std::move(entry));
}

bool Post(const XA_Message& record) {
  Queued entry;
  entry.record = record;
  return Enqueue(CurrentPlayer(), std::move(entry));
}

bool PostNotification(std::int32_t code, const std::function<void(XA_Message&)>& fill) {
  XA_Message record{};
  record.code = code;
  if (fill) fill(record);
  return Post(record);
}

bool PostWindowMessage(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  const std::uint32_t window = CurrentWindow();
  return window != 0 && platform_post_message(window, message, wparam, lparam) == 1;
}

std::size_t Pending() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  std::size_t n = 0;
  for (const auto& [token, entry] : s.queued)
    if (IsLive(s, entry.player)) ++n;
  return n;
}

bool Deliver() {
  // At least one round, for window messages the fake does not track; handlers
  // may post again (or open modal loops); a bound keeps a lost message from
  // hanging the test.
  for (int round = 0; round < 1000 && (round == 0 || Pending() > 0); ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return Pending() == 0;
}

bool NotifyReady() { return Post(Notification(XA_MSG_NOTIFY_READY)) && Deliver(); }
bool NotifyAck(std::uint8_t command) {
  return Post(Notification(XA_MSG_NOTIFY_ACK).Byte(4, command)) && Deliver();
}
bool NotifyNack(std::uint8_t command, std::int16_t code) {
  return Post(Notification(XA_MSG_NOTIFY_NACK).Byte(4, command).S16(6, code)) && Deliver();
}
bool NotifyPlayerState(std::uint8_t state) {
  return Post(Notification(XA_MSG_NOTIFY_PLAYER_STATE).Byte(4, state)) && Deliver();
}
bool NotifyInputPosition(std::uint32_t offset, std::uint32_t range) {
  return Post(Notification(XA_MSG_NOTIFY_INPUT_POSITION).U32(4, offset).U32(8, range)) && Deliver();
}
bool NotifyInputTimecode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
                         std::uint8_t fractions) {
  return Post(Notification(XA_MSG_NOTIFY_INPUT_TIMECODE)
                  .Byte(4, hours)
                  .Byte(5, minutes)
                  .Byte(6, seconds)
                  .Byte(7, fractions)) &&
         Deliver();
}
bool NotifyInputDuration(std::uint32_t duration) {
  return Post(Notification(XA_MSG_NOTIFY_INPUT_DURATION).U32(4, duration)) && Deliver();
}

}  // namespace fake_xaudio

// ---- The library's C interface -------------------------------------------

using fake_xaudio::Recorder;

extern "C" {

unsigned long xaudio_get_api_version(int level) {
  Recorder r("xaudio_get_api_version", nullptr);
  r.Int(level);
  fake_xaudio::Record(r);
  std::lock_guard<std::recursive_mutex> lock(fake_xaudio::S().mutex);
  return fake_xaudio::S().apiVersion;
}

const char* xaudio_error_string(int code) {
  Recorder r("xaudio_error_string", nullptr);
  r.Int(code);
  fake_xaudio::Record(r);
  auto& s = fake_xaudio::S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  auto it = s.errorTexts.find(code);
  if (it == s.errorTexts.end()) {
    s.errorText = "error " + std::to_string(code);
  } else if (!it->second) {
    return nullptr;
  } else {
    s.errorText = *it->second;
  }
  return s.errorText.c_str();
}

int player_new(XA_Player** player, void* window) {
  const std::uint32_t handle = window ? *static_cast<const std::uint32_t*>(window) : 0;
  Recorder r("player_new", nullptr);
  r.Ptr(player).Ptr(window);
  r.Int(window ? static_cast<std::int64_t>(handle) : -1);
  fake_xaudio::Record(r);
  auto& s = fake_xaudio::S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (s.playerNewResult != 0 || !player) return s.playerNewResult != 0 ? s.playerNewResult : XA_FAILURE;
  s.players.push_back(std::make_unique<XA_Player>());
  s.players.back()->window = handle;
  *player = s.players.back().get();
  return 0;
}

void player_delete(XA_Player* player) {
  auto& s = fake_xaudio::S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  // A stopping player thread may still post: the farewell notification
  // tests that nothing posted now reaches the deleted player.
  bool posted = false;
  if (fake_xaudio::IsLive(s, player)) {
    posted =
        fake_xaudio::Enqueue(player, fake_xaudio::Queued{nullptr, XA_Message{XA_MSG_NOTIFY_EXITED, {}}, {}});
    player->deleted = true;
  }
  Recorder r("player_delete", player);
  r.Int(posted ? 1 : 0);
  fake_xaudio::Record(r);
}

void player_set_priority(XA_Player* player, unsigned int priority) {
  Recorder r("player_set_priority", player);
  r.Int(priority);
  fake_xaudio::Record(r);
  std::lock_guard<std::recursive_mutex> lock(fake_xaudio::S().mutex);
  fake_xaudio::S().priority = priority;
}

unsigned int player_get_priority(XA_Player* player) {
  Recorder r("player_get_priority", player);
  fake_xaudio::Record(r);
  std::lock_guard<std::recursive_mutex> lock(fake_xaudio::S().mutex);
  ++fake_xaudio::S().priorityReads;
  return fake_xaudio::S().priority;
}

int control_win32_params_to_message(XA_Player* player, XA_Message* message, unsigned int window_message,
                                    uintptr_t wparam, intptr_t lparam) {
  Recorder r("control_win32_params_to_message", player);
  r.Ptr(message).Int(window_message).Int(static_cast<std::int64_t>(wparam)).Int(lparam);
  fake_xaudio::Record(r);
  if (!message) return XA_ERROR_INVALID_PARAMETERS;
  *message = XA_Message{};
  auto& s = fake_xaudio::S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (window_message != fake_xaudio::kNotificationMessage) return XA_FAILURE;
  auto it = s.queued.find(wparam);
  if (it == s.queued.end()) return XA_FAILURE;
  fake_xaudio::Queued entry = std::move(it->second);
  s.queued.erase(it);
  if (entry.player != player || !fake_xaudio::IsLive(s, player)) return XA_ERROR_NO_PLAYER;
  *message = entry.record;
  // The texts stay with the player until its next conversion.
  player->texts.clear();
  player->texts.reserve(entry.texts.size());
  for (const auto& [offset, text] : entry.texts) {
    if (!text) continue;
    player->texts.push_back(*text);
    xa_fields::SetPointer(*message, offset, player->texts.back().c_str());
  }
  return XA_SUCCESS;
}

int control_message_send_N(XA_Player* player, int code) {
  Recorder r("control_message_send_N", player);
  r.Code(code);
  return fake_xaudio::Command(r);
}

int control_message_send_I(XA_Player* player, int code, int32_t value) {
  Recorder r("control_message_send_I", player);
  r.Code(code).Int(value);
  return fake_xaudio::Command(r);
}

int control_message_send_II(XA_Player* player, int code, int32_t value1, int32_t value2) {
  Recorder r("control_message_send_II", player);
  r.Code(code).Int(value1).Int(value2);
  return fake_xaudio::Command(r);
}

int control_message_send_III(XA_Player* player, int code, int32_t value1, int32_t value2, int32_t value3) {
  Recorder r("control_message_send_III", player);
  r.Code(code).Int(value1).Int(value2).Int(value3);
  return fake_xaudio::Command(r);
}

int control_message_send_IPI(XA_Player* player, int code, int32_t value1, void* pointer, int32_t value2) {
  Recorder r("control_message_send_IPI", player);
  r.Code(code).Int(value1).Ptr(pointer).Int(value2);
  return fake_xaudio::Command(r);
}

int control_message_send_P(XA_Player* player, int code, void* pointer) {
  Recorder r("control_message_send_P", player);
  r.Code(code).Ptr(pointer);
  return fake_xaudio::Command(r);
}

int control_message_send_S(XA_Player* player, int code, const char* string) {
  Recorder r("control_message_send_S", player);
  r.Code(code).Str(string);
  return fake_xaudio::Command(r);
}

int control_message_send_SI(XA_Player* player, int code, const char* string, int32_t value) {
  Recorder r("control_message_send_SI", player);
  r.Code(code).Str(string).Int(value);
  return fake_xaudio::Command(r);
}

int control_message_send_SS(XA_Player* player, int code, const char* string1, const char* string2) {
  Recorder r("control_message_send_SS", player);
  r.Code(code).Str(string1).Str(string2);
  return fake_xaudio::Command(r);
}

}  // extern "C"
