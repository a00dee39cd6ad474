// The exported C functions: handles are checked against the live players, so
// a stale or foreign handle is refused instead of followed.

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <unordered_set>

#include "xaudio/Player.h"
#include "xaudio/xaudio.h"

struct XA_Player {
  XA_Player(uint32_t window, uint32_t id) : player(window, id) {}
  xaudio::Player player;
};

namespace {

struct LivePlayers {
  std::mutex mutex;
  std::unordered_set<XA_Player*> players;
};

LivePlayers& Live() {
  static LivePlayers* live = new LivePlayers;  // outlives every static destructor
  return *live;
}

std::atomic<uint32_t> next_player_id{1};

int Send(XA_Player* player, xaudio::Command command) {
  if (player == nullptr) return XA_ERROR_NO_PLAYER;
  LivePlayers& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  if (live.players.count(player) == 0) return XA_ERROR_NO_PLAYER;
  return player->player.Send(std::move(command));
}

xaudio::Command Make(int code) {
  xaudio::Command c;
  c.code = code;
  return c;
}

std::string Text(const char* s) { return s == nullptr ? std::string() : std::string(s); }

}  // namespace

extern "C" {

unsigned long xaudio_get_api_version(int) {
  return (static_cast<unsigned long>(XAUDIO_API_VERSION_MAJOR) << 16) |
         (static_cast<unsigned long>(XAUDIO_API_VERSION_MINOR) << 8);
}

int player_new(XA_Player** player, void* window) {
  if (player == nullptr) return XA_ERROR_INVALID_PARAMETERS;
  *player = nullptr;
  if (window == nullptr) return XA_ERROR_INVALID_PARAMETERS;
  uint32_t handle = 0;
  std::memcpy(&handle, window, sizeof handle);
  uint32_t id = next_player_id.fetch_add(1);
  if (id == 0) id = next_player_id.fetch_add(1);
  XA_Player* created = nullptr;
  try {
    created = new XA_Player(handle, id);
  } catch (const std::bad_alloc&) {
    return XA_ERROR_OUT_OF_MEMORY;
  } catch (const std::system_error&) {
    return XA_FAILURE;  // no thread for it
  }
  LivePlayers& live = Live();
  {
    std::lock_guard<std::mutex> lock(live.mutex);
    live.players.insert(created);
  }
  *player = created;
  return XA_SUCCESS;
}

void player_delete(XA_Player* player) {
  if (player == nullptr) return;
  LivePlayers& live = Live();
  {
    std::lock_guard<std::mutex> lock(live.mutex);
    if (live.players.erase(player) == 0) return;
  }
  delete player;
}

void player_set_priority(XA_Player* player, unsigned int priority) {
  if (player == nullptr) return;
  LivePlayers& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  if (live.players.count(player) != 0) player->player.SetPriority(priority);
}

unsigned int player_get_priority(XA_Player* player) {
  if (player == nullptr) return 0;
  LivePlayers& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  return live.players.count(player) != 0 ? player->player.Priority() : 0;
}

int control_win32_params_to_message(XA_Player* player, XA_Message* message, unsigned int window_message,
                                    uintptr_t wparam, intptr_t lparam) {
  if (message == nullptr) return XA_ERROR_INVALID_PARAMETERS;
  *message = XA_Message{};
  if (player == nullptr) return XA_ERROR_NO_PLAYER;
  LivePlayers& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  if (live.players.count(player) == 0) return XA_ERROR_NO_PLAYER;
  player->player.Take(message, window_message, wparam, lparam);
  return message->code != 0 ? XA_SUCCESS : XA_FAILURE;
}

int control_message_send_N(XA_Player* player, int code) { return Send(player, Make(code)); }

int control_message_send_I(XA_Player* player, int code, int32_t value) {
  xaudio::Command c = Make(code);
  c.value1 = value;
  return Send(player, std::move(c));
}

int control_message_send_II(XA_Player* player, int code, int32_t value1, int32_t value2) {
  xaudio::Command c = Make(code);
  c.value1 = value1;
  c.value2 = value2;
  return Send(player, std::move(c));
}

int control_message_send_III(XA_Player* player, int code, int32_t value1, int32_t value2, int32_t value3) {
  xaudio::Command c = Make(code);
  c.value1 = value1;
  c.value2 = value2;
  c.value3 = value3;
  return Send(player, std::move(c));
}

int control_message_send_IPI(XA_Player* player, int code, int32_t value1, void*, int32_t value2) {
  // The data goes to modules that take none; it is not read, so a caller's
  // pointer never has to outlive the call.
  xaudio::Command c = Make(code);
  c.value1 = value1;
  c.value2 = value2;
  return Send(player, std::move(c));
}

int control_message_send_P(XA_Player* player, int code, void* pointer) {
  xaudio::Command c = Make(code);
  if (code == XA_MSG_SET_CODEC_EQUALIZER && pointer != nullptr) {
    const auto* bytes = static_cast<const uint8_t*>(pointer);
    c.record.assign(bytes, bytes + sizeof(XA_EqualizerInfo));
    c.has_record = true;
  }
  return Send(player, std::move(c));
}

int control_message_send_S(XA_Player* player, int code, const char* string) {
  xaudio::Command c = Make(code);
  c.text1 = Text(string);
  return Send(player, std::move(c));
}

int control_message_send_SI(XA_Player* player, int code, const char* string, int32_t value) {
  xaudio::Command c = Make(code);
  c.text1 = Text(string);
  c.value1 = value;
  return Send(player, std::move(c));
}

int control_message_send_SS(XA_Player* player, int code, const char* string1, const char* string2) {
  xaudio::Command c = Make(code);
  c.text1 = Text(string1);
  c.text2 = Text(string2);
  return Send(player, std::move(c));
}

}  // extern "C"
