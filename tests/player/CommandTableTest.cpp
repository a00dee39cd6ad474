// Every command method: which sender it calls, with which code and which
// arguments (bytes and 16-bit types widened with zeros), and that the
// library's status comes back unchanged.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "preview/XaudioPlayer.h"
#include "tests/fake_xaudio/FakeXaudio.h"
#include "tests/player/ScriptedDialogs.h"

namespace {

XA_EqualizerInfo gEqualizer{};
char gData[4];

struct CommandCase {
  const char* method;
  std::function<int(TXaudioPlayer&)> send;
  const char* expected;  // the recorded call, player left out
};

const CommandCase kCommands[] = {
    {"Exit", [](TXaudioPlayer& p) { return p.Exit(); }, "control_message_send_N(1)"},
    {"Ping", [](TXaudioPlayer& p) { return p.Ping(-7); }, "control_message_send_I(2, -7)"},
    {"Play", [](TXaudioPlayer& p) { return p.Play(); }, "control_message_send_N(3)"},
    {"Pause", [](TXaudioPlayer& p) { return p.Pause(); }, "control_message_send_N(4)"},
    {"Stop", [](TXaudioPlayer& p) { return p.Stop(); }, "control_message_send_N(5)"},
    {"InputSeek", [](TXaudioPlayer& p) { return p.InputSeek(120, 4500); },
     "control_message_send_II(6, 120, 4500)"},
    {"InputOpen", [](TXaudioPlayer& p) { return p.InputOpen("/music/a b.mp3"); },
     "control_message_send_S(7, \"/music/a b.mp3\")"},
    {"InputClose", [](TXaudioPlayer& p) { return p.InputClose(); }, "control_message_send_N(8)"},
    {"InputSendMessage", [](TXaudioPlayer& p) { return p.InputSendMessage(0xFFFF, gData, 4); },
     "control_message_send_IPI(9, 65535, ptr, 4)"},
    {"InputAddFilter", [](TXaudioPlayer& p) { return p.InputAddFilter("echo", -1); },
     "control_message_send_SI(10, \"echo\", -1)"},
    {"InputRemoveFilter", [](TXaudioPlayer& p) { return p.InputRemoveFilter("echo", 3); },
     "control_message_send_SI(11, \"echo\", 3)"},
    {"InputFilterList", [](TXaudioPlayer& p) { return p.InputFilterList(); }, "control_message_send_N(12)"},
    {"InputModuleRegister", [](TXaudioPlayer& p) { return p.InputModuleRegister("in@mod.dll"); },
     "control_message_send_S(13, \"in@mod.dll\")"},
    {"InputModuleQuery", [](TXaudioPlayer& p) { return p.InputModuleQuery(2); },
     "control_message_send_I(14, 2)"},
    {"InputModulesList", [](TXaudioPlayer& p) { return p.InputModulesList(); }, "control_message_send_N(15)"},
    {"OutputOpen", [](TXaudioPlayer& p) { return p.OutputOpen("out"); },
     "control_message_send_S(16, \"out\")"},
    {"OutputClose", [](TXaudioPlayer& p) { return p.OutputClose(); }, "control_message_send_N(17)"},
    {"OutputSendMessage", [](TXaudioPlayer& p) { return p.OutputSendMessage(0x8001, nullptr, -2); },
     "control_message_send_IPI(18, 32769, null, -2)"},
    {"OutputMute", [](TXaudioPlayer& p) { return p.OutputMute(); }, "control_message_send_N(19)"},
    {"OutputUnmute", [](TXaudioPlayer& p) { return p.OutputUnmute(); }, "control_message_send_N(20)"},
    {"OutputReset", [](TXaudioPlayer& p) { return p.OutputReset(); }, "control_message_send_N(21)"},
    {"OutputDrain", [](TXaudioPlayer& p) { return p.OutputDrain(); }, "control_message_send_N(22)"},
    {"OutputAddFilter", [](TXaudioPlayer& p) { return p.OutputAddFilter("eq", 5); },
     "control_message_send_SI(23, \"eq\", 5)"},
    {"OutputRemoveFilter", [](TXaudioPlayer& p) { return p.OutputRemoveFilter("eq", 6); },
     "control_message_send_SI(24, \"eq\", 6)"},
    {"OutputFilterList", [](TXaudioPlayer& p) { return p.OutputFilterList(); }, "control_message_send_N(25)"},
    {"OutputModuleRegister",
     [](TXaudioPlayer& p) {
       return p.OutputModuleRegister("dsound_output_module_register@xa_dsound_output.dll");
     },
     "control_message_send_S(26, \"dsound_output_module_register@xa_dsound_output.dll\")"},
    {"OutputModuleQuery", [](TXaudioPlayer& p) { return p.OutputModuleQuery(1); },
     "control_message_send_I(27, 1)"},
    {"OutputModulesList", [](TXaudioPlayer& p) { return p.OutputModulesList(); },
     "control_message_send_N(28)"},
    {"SetPlayerMode", [](TXaudioPlayer& p) { return p.SetPlayerMode(0x7FFFFFFF); },
     "control_message_send_I(29, 2147483647)"},
    {"GetPlayerMode", [](TXaudioPlayer& p) { return p.GetPlayerMode(); }, "control_message_send_N(30)"},
    {"SetPlayerEnvironmentInteger",
     [](TXaudioPlayer& p) { return p.SetPlayerEnvironmentInteger("OUTPUT.DIRECTSOUND.WINDOW", 65537); },
     "control_message_send_SI(31, \"OUTPUT.DIRECTSOUND.WINDOW\", 65537)"},
    {"GetPlayerEnvironmentInteger", [](TXaudioPlayer& p) { return p.GetPlayerEnvironmentInteger("A"); },
     "control_message_send_S(32, \"A\")"},
    {"SetPlayerEnvironmentString", [](TXaudioPlayer& p) { return p.SetPlayerEnvironmentString("K", ""); },
     "control_message_send_SS(33, \"K\", \"\")"},
    {"GetPlayerEnvironmentString", [](TXaudioPlayer& p) { return p.GetPlayerEnvironmentString("K"); },
     "control_message_send_S(34, \"K\")"},
    {"UnsetPlayerEnvironment", [](TXaudioPlayer& p) { return p.UnsetPlayerEnvironment("K"); },
     "control_message_send_S(35, \"K\")"},
    {"SetInputName", [](TXaudioPlayer& p) { return p.SetInputName(""); }, "control_message_send_S(36, \"\")"},
    {"GetInputName", [](TXaudioPlayer& p) { return p.GetInputName(); }, "control_message_send_N(37)"},
    {"SetInputModule", [](TXaudioPlayer& p) { return p.SetInputModule(-1); },
     "control_message_send_I(38, -1)"},
    {"GetInputModule", [](TXaudioPlayer& p) { return p.GetInputModule(); }, "control_message_send_N(39)"},
    {"SetInputPositionRange", [](TXaudioPlayer& p) { return p.SetInputPositionRange(4500); },
     "control_message_send_I(40, 4500)"},
    {"GetInputPositionRange", [](TXaudioPlayer& p) { return p.GetInputPositionRange(); },
     "control_message_send_N(41)"},
    {"SetInputTimecodeGranularity", [](TXaudioPlayer& p) { return p.SetInputTimecodeGranularity(100); },
     "control_message_send_I(42, 100)"},
    {"GetInputTimecodeGranularity", [](TXaudioPlayer& p) { return p.GetInputTimecodeGranularity(); },
     "control_message_send_N(43)"},
    {"SetOutputName", [](TXaudioPlayer& p) { return p.SetOutputName("/dev/dsound/0"); },
     "control_message_send_S(44, \"/dev/dsound/0\")"},
    {"GetOutputName", [](TXaudioPlayer& p) { return p.GetOutputName(); }, "control_message_send_N(45)"},
    {"SetOutputModule", [](TXaudioPlayer& p) { return p.SetOutputModule(3); },
     "control_message_send_I(46, 3)"},
    {"GetOutputModule", [](TXaudioPlayer& p) { return p.GetOutputModule(); }, "control_message_send_N(47)"},
    {"SetOutputVolume", [](TXaudioPlayer& p) { return p.SetOutputVolume(0xFF, 0x80, 0x01); },
     "control_message_send_III(48, 255, 128, 1)"},
    {"GetOutputVolume", [](TXaudioPlayer& p) { return p.GetOutputVolume(); }, "control_message_send_N(49)"},
    {"SetOutputChannels", [](TXaudioPlayer& p) { return p.SetOutputChannels(2); },
     "control_message_send_I(50, 2)"},
    {"GetOutputChannels", [](TXaudioPlayer& p) { return p.GetOutputChannels(); },
     "control_message_send_N(51)"},
    {"SetOutputPorts", [](TXaudioPlayer& p) { return p.SetOutputPorts(-3); },
     "control_message_send_I(52, -3)"},
    {"GetOutputPorts", [](TXaudioPlayer& p) { return p.GetOutputPorts(); }, "control_message_send_N(53)"},
    {"SetCodecQuality", [](TXaudioPlayer& p) { return p.SetCodecQuality(0xF0); },
     "control_message_send_I(54, 240)"},
    {"GetCodecQuality", [](TXaudioPlayer& p) { return p.GetCodecQuality(); }, "control_message_send_N(55)"},
    {"SetCodecEqualizer", [](TXaudioPlayer& p) { return p.SetCodecEqualizer(&gEqualizer); },
     "control_message_send_P(58, ptr)"},
    {"GetCodecEqualizer", [](TXaudioPlayer& p) { return p.GetCodecEqualizer(); },
     "control_message_send_N(59)"},
    {"SetNotificationMask", [](TXaudioPlayer& p) { return p.SetNotificationMask(-1); },
     "control_message_send_I(60, -1)"},
    {"GetNotificationMask", [](TXaudioPlayer& p) { return p.GetNotificationMask(); },
     "control_message_send_N(61)"},
    {"SetDebugLevel", [](TXaudioPlayer& p) { return p.SetDebugLevel(9); }, "control_message_send_I(62, 9)"},
    {"GetDebugLevel", [](TXaudioPlayer& p) { return p.GetDebugLevel(); }, "control_message_send_N(63)"},
};

class CommandTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_xaudio::Reset();
    player_ = std::make_unique<TXaudioPlayer>(nullptr);
    fake_xaudio::ClearCalls();
  }
  ScriptedDialogs dialogs_;
  std::unique_ptr<TXaudioPlayer> player_;
};

TEST_F(CommandTableTest, EachMethodMakesExactlyOneCallAndReturnsItsStatus) {
  int status = -1000;
  for (const CommandCase& c : kCommands) {
    SCOPED_TRACE(c.method);
    fake_xaudio::ClearCalls();
    fake_xaudio::SetCommandResult(--status);
    EXPECT_EQ(c.send(*player_), status);
    const auto calls = fake_xaudio::Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, c.expected);
    EXPECT_EQ(calls[0].player, fake_xaudio::CurrentPlayer());
  }
}

TEST_F(CommandTableTest, EveryCommandCodeButTheTwoUnusedHasItsMethod) {
  std::set<int> codes;
  for (const CommandCase& c : kCommands) {
    fake_xaudio::ClearCalls();
    c.send(*player_);
    const auto calls = fake_xaudio::CommandCalls();
    ASSERT_EQ(calls.size(), 1u) << c.method;
    EXPECT_TRUE(codes.insert(calls[0].code).second) << c.method << " sends a code another method sends";
  }
  std::set<int> expected;
  for (int code = 1; code <= 63; ++code)
    if (code != 56 && code != 57) expected.insert(code);
  EXPECT_EQ(codes, expected);
}

TEST_F(CommandTableTest, PointersPassUnchanged) {
  player_->InputSendMessage(1, gData, 4);
  player_->SetCodecEqualizer(&gEqualizer);
  player_->SetCodecEqualizer(nullptr);
  const auto calls = fake_xaudio::CommandCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].pointers, (std::vector<const void*>{gData}));
  EXPECT_EQ(calls[1].pointers, (std::vector<const void*>{&gEqualizer}));
  EXPECT_EQ(calls[2].pointers, (std::vector<const void*>{nullptr}));
}

TEST_F(CommandTableTest, TextsAreEightBitCopiesAndNeverNull) {
  player_->InputOpen(QString());
  player_->InputOpen(QString::fromUtf8("/m\xC3\xBCsik/\xE2\x99\xAA.mp3"));
  player_->SetPlayerEnvironmentString(QString(), QString());
  const auto calls = fake_xaudio::CommandCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].strings, (std::vector<std::optional<std::string>>{""}));
  EXPECT_EQ(calls[1].strings, (std::vector<std::optional<std::string>>{"/m\xC3\xBCsik/\xE2\x99\xAA.mp3"}));
  EXPECT_EQ(calls[2].strings, (std::vector<std::optional<std::string>>{"", ""}));
}

}  // namespace
