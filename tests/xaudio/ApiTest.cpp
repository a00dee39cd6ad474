// The C interface: version, error texts, handles that are not (or no longer)
// players, the notification channel, and the commands that only store or
// answer.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "PlayerHarness.h"
#include "xaudio/MessageFields.h"
#include "xaudio/xaudio.h"

namespace xaudio_test {
namespace {

TEST(XaudioApi, ReportsVersion32AndATextForEveryErrorCode) {
  const unsigned long version = xaudio_get_api_version(2);
  EXPECT_EQ((version >> 16) & 0xFF, 3u);
  EXPECT_EQ((version >> 8) & 0xFF, 2u);

  EXPECT_STREQ(xaudio_error_string(XA_ERROR_NO_SUCH_FILE), "file not found");
  EXPECT_STREQ(xaudio_error_string(XA_ERROR_NOT_MPEG_AUDIO), "not an MPEG audio stream");
  EXPECT_STREQ(xaudio_error_string(XA_ERROR_NO_INPUT), "no input open");
  std::set<std::string> texts;
  for (int code = XA_ERROR_NO_SUCH_VARIABLE; code <= XA_SUCCESS; ++code) {
    const char* text = xaudio_error_string(code);
    ASSERT_NE(text, nullptr) << code;
    EXPECT_GT(std::strlen(text), 3u) << code;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 17u) << "every known code has its own text";
  for (int code : {-1000, -17, 1, 42, 32767}) {
    ASSERT_NE(xaudio_error_string(code), nullptr) << code;
    EXPECT_STREQ(xaudio_error_string(code), "unknown error");
  }
}

TEST(XaudioApi, RefusesNullAndDeletedHandles) {
  uint32_t handle = 0;
  EXPECT_NE(player_new(nullptr, &handle), 0);
  XA_Player* p = reinterpret_cast<XA_Player*>(0x1);
  EXPECT_NE(player_new(&p, nullptr), 0);
  EXPECT_EQ(p, nullptr) << "a failed player_new leaves an empty handle";

  char name[] = "x";
  XA_EqualizerInfo eq{};
  for (XA_Player* bad : {static_cast<XA_Player*>(nullptr), reinterpret_cast<XA_Player*>(&eq)}) {
    EXPECT_EQ(control_message_send_N(bad, XA_MSG_COMMAND_PLAY), XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_I(bad, XA_MSG_COMMAND_PING, 1), XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_II(bad, XA_MSG_COMMAND_INPUT_SEEK, 1, 2), XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_III(bad, XA_MSG_SET_OUTPUT_VOLUME, 1, 2, 3), XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_IPI(bad, XA_MSG_COMMAND_INPUT_SEND_MESSAGE, 1, name, 1),
              XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_P(bad, XA_MSG_SET_CODEC_EQUALIZER, &eq), XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_S(bad, XA_MSG_COMMAND_INPUT_OPEN, name), XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_SI(bad, XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, name, 1),
              XA_ERROR_NO_PLAYER);
    EXPECT_EQ(control_message_send_SS(bad, XA_MSG_SET_PLAYER_ENVIRONMENT_STRING, name, name),
              XA_ERROR_NO_PLAYER);
    player_set_priority(bad, 4);
    EXPECT_EQ(player_get_priority(bad), 0u);
    XA_Message m;
    std::memset(&m, 0x5A, sizeof m);
    control_win32_params_to_message(bad, &m, 0x8000, 1, 1);
    EXPECT_EQ(m.code, 0);
    player_delete(bad);  // not a live player: ignored
  }

  PlayerHarness h;
  XA_Player* player = h.player();
  ASSERT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_READY, 0, 3000));
  h.Delete();
  EXPECT_EQ(control_message_send_N(player, XA_MSG_COMMAND_PLAY), XA_ERROR_NO_PLAYER);
  EXPECT_EQ(control_message_send_S(player, XA_MSG_COMMAND_INPUT_OPEN, "/tmp/x.mp3"), XA_ERROR_NO_PLAYER);
  player_delete(player);  // a second delete is ignored
}

TEST(XaudioApi, ConvertsEachRecordOnceByItsOwnPlayerOnly) {
  // Two players posting to one window: each record is converted once, by its
  // own player; the other player and stray window messages give code 0.
  std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>> posted;
  MessageWindow window([&](uint32_t m, uintptr_t w, intptr_t l) { posted.emplace_back(m, w, l); });
  uint32_t handle = window.Handle();
  setenv("KERFWELL_AUDIO_OUTPUT", "silent", 1);
  XA_Player* a = nullptr;
  XA_Player* b = nullptr;
  ASSERT_EQ(player_new(&a, &handle), 0);
  ASSERT_EQ(player_new(&b, &handle), 0);
  control_message_send_S(a, XA_MSG_SET_OUTPUT_NAME, "/dev/dsound/0");
  control_message_send_N(a, XA_MSG_GET_OUTPUT_NAME);
  control_message_send_N(b, XA_MSG_GET_INPUT_POSITION_RANGE);
  PlayerHarness pump;                                                   // only for its event pump
  ASSERT_TRUE(pump.WaitFor([&] { return posted.size() >= 7; }, 3000));  // 2 ready, 3 acks, 2 answers

  std::vector<int> codes_a, codes_b;
  std::string output_name;
  for (auto [message, wparam, lparam] : posted) {
    XA_Message from_a, from_b;
    control_win32_params_to_message(a, &from_a, message, wparam, lparam);
    control_win32_params_to_message(b, &from_b, message, wparam, lparam);
    EXPECT_TRUE(from_a.code == 0 || from_b.code == 0) << "a record belongs to one player";
    if (from_a.code != 0) codes_a.push_back(from_a.code);
    if (from_b.code != 0) codes_b.push_back(from_b.code);
    if (from_a.code == XA_MSG_NOTIFY_OUTPUT_NAME) output_name = xa_fields::Text(from_a, 4);
    XA_Message again;
    control_win32_params_to_message(a, &again, message, wparam, lparam);
    EXPECT_EQ(again.code, 0) << "a record is delivered once";
    control_win32_params_to_message(a, &again, message + 1, wparam, lparam);
    EXPECT_EQ(again.code, 0);
  }
  EXPECT_EQ(codes_a, (std::vector<int>{XA_MSG_NOTIFY_READY, XA_MSG_NOTIFY_ACK, XA_MSG_NOTIFY_OUTPUT_NAME,
                                       XA_MSG_NOTIFY_ACK}));
  EXPECT_EQ(codes_b,
            (std::vector<int>{XA_MSG_NOTIFY_READY, XA_MSG_NOTIFY_INPUT_POSITION_RANGE, XA_MSG_NOTIFY_ACK}));
  EXPECT_EQ(output_name, "/dev/dsound/0");
  player_delete(a);
  player_delete(b);
}

TEST(XaudioApi, NothingArrivesAfterDeleteAndPendingRecordsAreFreed) {
  PlayerHarness h;
  ASSERT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_READY, 0, 3000));
  for (int i = 0; i < 2000; ++i) control_message_send_I(h.player(), XA_MSG_COMMAND_PING, i);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  h.Delete();  // records still queued are freed here (checked by the leak sanitizer)
  h.WaitFor([] { return false; }, 200);
  const size_t after_delete = h.WindowMessages();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  h.WaitFor([] { return false; }, 100);
  EXPECT_EQ(h.WindowMessages(), after_delete);
}

struct Exchange {
  const char* what;
  std::function<void(XA_Player*)> send;
  int command;
  int error;   // 0: acknowledged
  int answer;  // notification expected before the reply, 0 for none
  std::function<void(const Note&)> check;
};

TEST(XaudioApi, StoresSettingsAndAnswersGetCommands) {
  XA_EqualizerInfo eq{};
  for (int i = 0; i < 32; ++i)
    eq.left[i] = static_cast<int8_t>(i - 16), eq.right[i] = static_cast<int8_t>(16 - i);
  const std::vector<Exchange> table = {
      {"ping", [](XA_Player* p) { control_message_send_I(p, 2, 0x12345678); }, 2, 0, XA_MSG_NOTIFY_PONG,
       [](const Note& n) { EXPECT_EQ(n.U32(4), 0x12345678u); }},
      {"register system output",
       [](XA_Player* p) {
         control_message_send_S(p, 26, "dsound_output_module_register@xa_dsound_output.dll");
       },
       26, 0, 0, nullptr},
      {"register unknown module", [](XA_Player* p) { control_message_send_S(p, 26, "other@other.dll"); }, 26,
       XA_ERROR_UNKNOWN_MODULE, 0, nullptr},
      {"window integer",
       [](XA_Player* p) { control_message_send_SI(p, 31, "OUTPUT.DIRECTSOUND.WINDOW", 0x10001); }, 31, 0, 0,
       nullptr},
      {"window integer read back",
       [](XA_Player* p) { control_message_send_S(p, 32, "OUTPUT.DIRECTSOUND.WINDOW"); }, 32, 0,
       XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER,
       [](const Note& n) {
         EXPECT_EQ(n.text4, "OUTPUT.DIRECTSOUND.WINDOW");
         EXPECT_EQ(n.U32(8), 0x10001u);
       }},
      {"string variable", [](XA_Player* p) { control_message_send_SS(p, 33, "NAME", "value text"); }, 33, 0,
       0, nullptr},
      {"string variable read back", [](XA_Player* p) { control_message_send_S(p, 34, "NAME"); }, 34, 0,
       XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING,
       [](const Note& n) {
         EXPECT_EQ(n.text4, "NAME");
         EXPECT_EQ(n.text8, "value text");
       }},
      {"unset", [](XA_Player* p) { control_message_send_S(p, 35, "NAME"); }, 35, 0, 0, nullptr},
      {"unset variable read", [](XA_Player* p) { control_message_send_S(p, 34, "NAME"); }, 34,
       XA_ERROR_NO_SUCH_VARIABLE, 0, nullptr},
      {"never set", [](XA_Player* p) { control_message_send_S(p, 32, "NOPE"); }, 32,
       XA_ERROR_NO_SUCH_VARIABLE, 0, nullptr},
      {"output name", [](XA_Player* p) { control_message_send_S(p, 44, "/dev/dsound/0"); }, 44, 0, 0,
       nullptr},
      {"output name read back", [](XA_Player* p) { control_message_send_N(p, 45); }, 45, 0,
       XA_MSG_NOTIFY_OUTPUT_NAME, [](const Note& n) { EXPECT_EQ(n.text4, "/dev/dsound/0"); }},
      {"default range", [](XA_Player* p) { control_message_send_N(p, 41); }, 41, 0,
       XA_MSG_NOTIFY_INPUT_POSITION_RANGE, [](const Note& n) { EXPECT_EQ(n.U32(4), 400u); }},
      {"range", [](XA_Player* p) { control_message_send_I(p, 40, 1234); }, 40, 0, 0, nullptr},
      {"zero range", [](XA_Player* p) { control_message_send_I(p, 40, 0); }, 40, XA_ERROR_INVALID_PARAMETERS,
       0, nullptr},
      {"range read back", [](XA_Player* p) { control_message_send_N(p, 41); }, 41, 0,
       XA_MSG_NOTIFY_INPUT_POSITION_RANGE, [](const Note& n) { EXPECT_EQ(n.U32(4), 1234u); }},
      {"volume", [](XA_Player* p) { control_message_send_III(p, 48, 10, 20, 200); }, 48, 0, 0, nullptr},
      {"volume read back", [](XA_Player* p) { control_message_send_N(p, 49); }, 49, 0,
       XA_MSG_NOTIFY_OUTPUT_VOLUME,
       [](const Note& n) {
         EXPECT_EQ(n.Byte(4), 10);
         EXPECT_EQ(n.Byte(5), 20);
         EXPECT_EQ(n.Byte(6), 200);
       }},
      {"equalizer", [&eq](XA_Player* p) { control_message_send_P(p, 58, &eq); }, 58, 0, 0, nullptr},
      {"equalizer read back", [](XA_Player* p) { control_message_send_N(p, 59); }, 59, 0,
       XA_MSG_NOTIFY_CODEC_EQUALIZER,
       [&eq](const Note& n) {
         EXPECT_EQ(n.record, std::string(reinterpret_cast<const char*>(&eq), sizeof eq));
       }},
      {"null equalizer", [](XA_Player* p) { control_message_send_P(p, 58, nullptr); }, 58,
       XA_ERROR_INVALID_PARAMETERS, 0, nullptr},
      {"debug level", [](XA_Player* p) { control_message_send_I(p, 62, 1); }, 62, 0, 0, nullptr},
      {"debug level read back", [](XA_Player* p) { control_message_send_N(p, 63); }, 63, 0,
       XA_MSG_NOTIFY_DEBUG_LEVEL, [](const Note& n) { EXPECT_EQ(n.Byte(4), 1); }},
      {"filter list", [](XA_Player* p) { control_message_send_N(p, 12); }, 12, 0, 0, nullptr},
      {"module query", [](XA_Player* p) { control_message_send_I(p, 27, 0); }, 27, 0, 0, nullptr},
      {"code 56 is no command", [](XA_Player* p) { control_message_send_N(p, 56); }, 56,
       XA_ERROR_UNSUPPORTED_COMMAND, 0, nullptr},
      {"code 0 is no command", [](XA_Player* p) { control_message_send_N(p, 0); }, 0,
       XA_ERROR_UNSUPPORTED_COMMAND, 0, nullptr},
  };
  PlayerHarness h;
  ASSERT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_READY, 0, 3000));
  for (const Exchange& e : table) {
    SCOPED_TRACE(e.what);
    const size_t mark = h.Mark();
    e.send(h.player());
    int error = 0;
    const bool acked = h.WaitForReply(e.command, mark, 3000, &error);
    EXPECT_EQ(acked, e.error == 0);
    EXPECT_EQ(error, e.error) << xaudio_error_string(error);
    const auto answers = h.Since(mark, e.answer);
    if (e.answer != 0) {
      ASSERT_EQ(answers.size(), 1u);
      e.check(*answers[0]);
    }
  }
  player_set_priority(h.player(), 4);
  EXPECT_EQ(player_get_priority(h.player()), 4u);
  player_set_priority(h.player(), 7);
  EXPECT_EQ(player_get_priority(h.player()), 7u);
}

TEST(XaudioApi, ExitEndsThePlayerButNotTheHandle) {
  PlayerHarness h;
  ASSERT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_READY, 0, 3000));
  const size_t mark = h.Mark();
  EXPECT_TRUE(h.Command(XA_MSG_COMMAND_EXIT));
  EXPECT_TRUE(h.WaitForCode(XA_MSG_NOTIFY_EXITED, mark, 3000));
  int error = 0;
  const size_t later = h.Mark();
  control_message_send_N(h.player(), XA_MSG_COMMAND_PLAY);
  EXPECT_FALSE(h.WaitForReply(XA_MSG_COMMAND_PLAY, later, 3000, &error));
  EXPECT_EQ(error, XA_ERROR_NO_PLAYER);
}

}  // namespace
}  // namespace xaudio_test
