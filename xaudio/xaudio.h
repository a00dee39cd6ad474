/* Kerfwell's audio decoding and playback library: the C interface.
 *
 * A player runs on a thread of its own. Commands are queued to it and return
 * at once with a status (0 = queued); what follows from a command comes back
 * as notifications posted, in order, to the message window whose handle was
 * given to player_new. The owner turns each posted message back into an
 * XA_Message with control_win32_params_to_message.
 *
 * Opening an input does not stop the player: a playing player plays on in the
 * new input, from where the seek sent right behind the open puts it. Only
 * regular files are opened, without ever blocking. A long input's frames are
 * counted after the open is answered, a slice at a time between commands; a
 * seek sent meanwhile takes effect, exact to the frame, once they are counted,
 * and the duration notification follows the count. */
#ifndef KERFWELL_XAUDIO_H
#define KERFWELL_XAUDIO_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define XAUDIO_API_VERSION_MAJOR 3
#define XAUDIO_API_VERSION_MINOR 2

/* Notification record. The code is a 32-bit integer; each of the three data
 * words after it is pointer-sized, so texts and records can be passed by
 * pointer on every build. Byte and 16-bit fields keep their place inside
 * their word, little-endian: the field that the 16-byte wire record has at
 * offset o (4 <= o < 16) lives in data[(o - 4) / 4], byte (o - 4) % 4.
 * On a 32-bit build this is exactly the 16-byte record. */
typedef struct XA_Message {
  int32_t code;
  uintptr_t data[3];
} XA_Message;

/* Opaque to callers; the equalizer's bands, passed by pointer. */
typedef struct XA_EqualizerInfo {
  int8_t left[32];
  int8_t right[32];
} XA_EqualizerInfo;

typedef struct XA_Player XA_Player;

/* Command codes (the second argument of every control_message_send_*). */
enum {
  XA_MSG_COMMAND_EXIT = 1,
  XA_MSG_COMMAND_PING = 2,
  XA_MSG_COMMAND_PLAY = 3,
  XA_MSG_COMMAND_PAUSE = 4,
  XA_MSG_COMMAND_STOP = 5,
  XA_MSG_COMMAND_INPUT_SEEK = 6,
  XA_MSG_COMMAND_INPUT_OPEN = 7,
  XA_MSG_COMMAND_INPUT_CLOSE = 8,
  XA_MSG_COMMAND_INPUT_SEND_MESSAGE = 9,
  XA_MSG_COMMAND_INPUT_ADD_FILTER = 10,
  XA_MSG_COMMAND_INPUT_REMOVE_FILTER = 11,
  XA_MSG_COMMAND_INPUT_FILTERS_LIST = 12,
  XA_MSG_COMMAND_INPUT_MODULE_REGISTER = 13,
  XA_MSG_COMMAND_INPUT_MODULE_QUERY = 14,
  XA_MSG_COMMAND_INPUT_MODULES_LIST = 15,
  XA_MSG_COMMAND_OUTPUT_OPEN = 16,
  XA_MSG_COMMAND_OUTPUT_CLOSE = 17,
  XA_MSG_COMMAND_OUTPUT_SEND_MESSAGE = 18,
  XA_MSG_COMMAND_OUTPUT_MUTE = 19,
  XA_MSG_COMMAND_OUTPUT_UNMUTE = 20,
  XA_MSG_COMMAND_OUTPUT_RESET = 21,
  XA_MSG_COMMAND_OUTPUT_DRAIN = 22,
  XA_MSG_COMMAND_OUTPUT_ADD_FILTER = 23,
  XA_MSG_COMMAND_OUTPUT_REMOVE_FILTER = 24,
  XA_MSG_COMMAND_OUTPUT_FILTERS_LIST = 25,
  XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER = 26,
  XA_MSG_COMMAND_OUTPUT_MODULE_QUERY = 27,
  XA_MSG_COMMAND_OUTPUT_MODULES_LIST = 28,
  XA_MSG_SET_PLAYER_MODE = 29,
  XA_MSG_GET_PLAYER_MODE = 30,
  XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER = 31,
  XA_MSG_GET_PLAYER_ENVIRONMENT_INTEGER = 32,
  XA_MSG_SET_PLAYER_ENVIRONMENT_STRING = 33,
  XA_MSG_GET_PLAYER_ENVIRONMENT_STRING = 34,
  XA_MSG_UNSET_PLAYER_ENVIRONMENT = 35,
  XA_MSG_SET_INPUT_NAME = 36,
  XA_MSG_GET_INPUT_NAME = 37,
  XA_MSG_SET_INPUT_MODULE = 38,
  XA_MSG_GET_INPUT_MODULE = 39,
  XA_MSG_SET_INPUT_POSITION_RANGE = 40,
  XA_MSG_GET_INPUT_POSITION_RANGE = 41,
  XA_MSG_SET_INPUT_TIMECODE_GRANULARITY = 42,
  XA_MSG_GET_INPUT_TIMECODE_GRANULARITY = 43,
  XA_MSG_SET_OUTPUT_NAME = 44,
  XA_MSG_GET_OUTPUT_NAME = 45,
  XA_MSG_SET_OUTPUT_MODULE = 46,
  XA_MSG_GET_OUTPUT_MODULE = 47,
  XA_MSG_SET_OUTPUT_VOLUME = 48,
  XA_MSG_GET_OUTPUT_VOLUME = 49,
  XA_MSG_SET_OUTPUT_CHANNELS = 50,
  XA_MSG_GET_OUTPUT_CHANNELS = 51,
  XA_MSG_SET_OUTPUT_PORTS = 52,
  XA_MSG_GET_OUTPUT_PORTS = 53,
  XA_MSG_SET_CODEC_QUALITY = 54,
  XA_MSG_GET_CODEC_QUALITY = 55,
  XA_MSG_SET_CODEC_EQUALIZER = 58,
  XA_MSG_GET_CODEC_EQUALIZER = 59,
  XA_MSG_SET_NOTIFICATION_MASK = 60,
  XA_MSG_GET_NOTIFICATION_MASK = 61,
  XA_MSG_SET_DEBUG_LEVEL = 62,
  XA_MSG_GET_DEBUG_LEVEL = 63
};

/* Notification codes (XA_Message.code). */
enum {
  XA_MSG_NOTIFY_READY = 64,
  XA_MSG_NOTIFY_ACK = 65,
  XA_MSG_NOTIFY_NACK = 66,
  XA_MSG_NOTIFY_PONG = 67,
  XA_MSG_NOTIFY_EXITED = 68,
  XA_MSG_NOTIFY_PLAYER_STATE = 69,
  XA_MSG_NOTIFY_PLAYER_MODE = 70,
  XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER = 71,
  XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING = 72,
  XA_MSG_NOTIFY_INPUT_STATE = 73,
  XA_MSG_NOTIFY_INPUT_NAME = 74,
  XA_MSG_NOTIFY_INPUT_CAPS = 75,
  XA_MSG_NOTIFY_INPUT_POSITION = 76,
  XA_MSG_NOTIFY_INPUT_POSITION_RANGE = 77,
  XA_MSG_NOTIFY_INPUT_TIMECODE = 78,
  XA_MSG_NOTIFY_INPUT_TIMECODE_GRANULARITY = 79,
  XA_MSG_NOTIFY_INPUT_DURATION = 80,
  XA_MSG_NOTIFY_INPUT_STREAM_INFO = 81,
  XA_MSG_NOTIFY_INPUT_MODULE = 82,
  XA_MSG_NOTIFY_INPUT_MODULE_INFO = 83,
  XA_MSG_NOTIFY_INPUT_DEVICE_INFO = 84,
  XA_MSG_NOTIFY_INPUT_FILTER_INFO = 85,
  XA_MSG_NOTIFY_OUTPUT_STATE = 86,
  XA_MSG_NOTIFY_OUTPUT_NAME = 87,
  XA_MSG_NOTIFY_OUTPUT_CAPS = 88,
  XA_MSG_NOTIFY_OUTPUT_VOLUME = 89,
  XA_MSG_NOTIFY_OUTPUT_BALANCE = 90,
  XA_MSG_NOTIFY_OUTPUT_PCM_LEVEL = 91,
  XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL = 92,
  XA_MSG_NOTIFY_OUTPUT_CHANNELS = 93,
  XA_MSG_NOTIFY_OUTPUT_PORTS = 94,
  XA_MSG_NOTIFY_OUTPUT_RESERVED = 95,
  XA_MSG_NOTIFY_OUTPUT_MODULE = 96,
  XA_MSG_NOTIFY_OUTPUT_MODULE_INFO = 97,
  XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO = 98,
  XA_MSG_NOTIFY_OUTPUT_FILTER_INFO = 99,
  XA_MSG_NOTIFY_CODEC_QUALITY = 100,
  XA_MSG_NOTIFY_CODEC_EQUALIZER = 101,
  XA_MSG_NOTIFY_NOTIFICATION_MASK = 102,
  XA_MSG_NOTIFY_DEBUG_LEVEL = 103,
  XA_MSG_NOTIFY_PROGRESS = 104,
  XA_MSG_NOTIFY_DEBUG = 105,
  XA_MSG_NOTIFY_ERROR = 106
};

/* Player states (XA_MSG_NOTIFY_PLAYER_STATE). */
enum {
  XA_PLAYER_STATE_STOPPED = 0,
  XA_PLAYER_STATE_PLAYING = 1,
  XA_PLAYER_STATE_PAUSED = 2,
  XA_PLAYER_STATE_EOF = 3
};
/* Input states (XA_MSG_NOTIFY_INPUT_STATE) and output states (XA_MSG_NOTIFY_OUTPUT_STATE). */
enum { XA_INPUT_STATE_CLOSED = 0, XA_INPUT_STATE_OPEN = 1 };
enum { XA_OUTPUT_STATE_CLOSED = 0, XA_OUTPUT_STATE_OPEN = 1 };

/* Error codes: carried by nack (16-bit, at wire offset 6) and error notifications. */
enum {
  XA_SUCCESS = 0,
  XA_FAILURE = -1,
  XA_ERROR_OUT_OF_MEMORY = -2,
  XA_ERROR_INVALID_PARAMETERS = -3,
  XA_ERROR_NO_SUCH_FILE = -4,
  XA_ERROR_OPEN_FAILED = -5,
  XA_ERROR_NOT_MPEG_AUDIO = -6,
  XA_ERROR_NO_INPUT = -7,
  XA_ERROR_NO_OUTPUT = -8,
  XA_ERROR_OUTPUT_OPEN_FAILED = -9,
  XA_ERROR_UNKNOWN_MODULE = -10,
  XA_ERROR_SEEK_FAILED = -11,
  XA_ERROR_DECODE_FAILED = -12,
  XA_ERROR_UNSUPPORTED_COMMAND = -13,
  XA_ERROR_NO_PLAYER = -14,
  XA_ERROR_QUEUE_FULL = -15,
  XA_ERROR_NO_SUCH_VARIABLE = -16
};

/* The version word: bits 16-23 major, bits 8-15 minor. `level` is 2. */
unsigned long xaudio_get_api_version(int level);

/* A text describing `code` ("file not found", ...); never NULL, static. */
const char* xaudio_error_string(int code);

/* Creates a player and its thread; *player receives the handle. `window`
 * points at the 32-bit handle of the message window that receives the
 * notifications (read once, here). Returns 0 on success. */
int player_new(XA_Player** player, void* window);

/* Stops the thread, closes input and output, frees everything. No message
 * is posted after it returns. NULL is accepted. */
void player_delete(XA_Player* player);

void player_set_priority(XA_Player* player, unsigned int priority);
unsigned int player_get_priority(XA_Player* player);

/* Fills *message from one posted message. A message that is not one of this
 * player's notifications fills code 0, which no notification uses. Texts in
 * the record stay valid until the next call for the same player. */
int control_win32_params_to_message(XA_Player* player, XA_Message* message, unsigned int window_message,
                                    uintptr_t wparam, intptr_t lparam);

/* Command senders. Each returns 0 once the command is queued (XA_ERROR_NO_PLAYER
 * for a NULL player); strings are copied before they return. */
int control_message_send_N(XA_Player* player, int code);
int control_message_send_I(XA_Player* player, int code, int32_t value);
int control_message_send_II(XA_Player* player, int code, int32_t value1, int32_t value2);
int control_message_send_III(XA_Player* player, int code, int32_t value1, int32_t value2, int32_t value3);
int control_message_send_IPI(XA_Player* player, int code, int32_t value1, void* pointer, int32_t value2);
int control_message_send_P(XA_Player* player, int code, void* pointer);
int control_message_send_S(XA_Player* player, int code, const char* string);
int control_message_send_SI(XA_Player* player, int code, const char* string, int32_t value);
int control_message_send_SS(XA_Player* player, int code, const char* string1, const char* string2);

#ifdef __cplusplus
}
#endif

#endif
