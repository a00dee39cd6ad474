// Notifications into events: every code with its fields at their offsets,
// the codes that raise nothing, null texts, and the record handler that may
// rewrite a notification before it is dispatched.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "preview/XaudioPlayer.h"
#include "tests/fake_xaudio/FakeXaudio.h"
#include "tests/player/ScriptedDialogs.h"
#include "xaudio/MessageFields.h"

namespace {

using fake_xaudio::Notification;

// The types the window's handlers are written against.
static_assert(std::is_same_v<decltype(TXaudioPlayer::OnNotifyNack),
                             std::function<void(QObject*, std::uint8_t, std::int16_t)>>);
static_assert(std::is_same_v<decltype(TXaudioPlayer::OnNotifyPlayerState),
                             std::function<void(QObject*, std::int32_t)>>);
static_assert(std::is_same_v<decltype(TXaudioPlayer::OnNotifyInputPosition),
                             std::function<void(QObject*, std::uint32_t, std::uint32_t)>>);
static_assert(
    std::is_same_v<decltype(TXaudioPlayer::OnNotifyInputTimecode),
                   std::function<void(QObject*, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t)>>);
static_assert(std::is_same_v<decltype(TXaudioPlayer::OnNotifyInputDuration),
                             std::function<void(QObject*, std::uint32_t)>>);
static_assert(std::is_same_v<decltype(TXaudioPlayer::OnNotifyReady), TNotifyEvent>);
static_assert(
    std::is_same_v<decltype(TXaudioPlayer::OnNotifyMessage), std::function<void(QObject*, XA_Message&)>>);

std::string Show(const QString& s) { return "\"" + s.toStdString() + "\""; }
std::string Show(const XA_Message& m) { return std::to_string(m.code); }
std::string Show(const XA_EqualizerInfo& e) {
  return "eq " + std::to_string(e.left[0]) + "/" + std::to_string(e.right[31]);
}
template <typename T>
requires std::is_integral_v<T> std::string Show(T v) { return std::to_string(+v); }

// Binds every event of a player to one log line per event: "Name(arg, arg)".
class EventLog {
 public:
  explicit EventLog(TXaudioPlayer& p) : player_(p) {}

  auto Rec(const char* name) {
    return [this, name](QObject* sender, const auto&... args) {
      std::string line = sender == &player_ ? name : std::string("WRONG SENDER ") + name;
      std::string list;
      ((list += (list.empty() ? "" : ", ") + Show(args)), ...);
      lines.push_back(line + "(" + list + ")");
    };
  }

  void BindAll() {
    BindMessage();
    auto& p = player_;
    p.OnNotifyReady = Rec("Ready");
    p.OnNotifyAck = Rec("Ack");
    p.OnNotifyNack = Rec("Nack");
    p.OnNotifyPong = Rec("Pong");
    p.OnNotifyExited = Rec("Exited");
    p.OnNotifyPlayerState = Rec("PlayerState");
    p.OnNotifyPlayerMode = Rec("PlayerMode");
    p.OnNotifyPlayerEnvironmentInteger = Rec("PlayerEnvironmentInteger");
    p.OnNotifyPlayerEnvironmentString = Rec("PlayerEnvironmentString");
    p.OnNotifyInputState = Rec("InputState");
    p.OnNotifyInputName = Rec("InputName");
    p.OnNotifyInputCaps = Rec("InputCaps");
    p.OnNotifyInputPosition = Rec("InputPosition");
    p.OnNotifyInputPositionRange = Rec("InputPositionRange");
    p.OnNotifyInputTimecode = Rec("InputTimecode");
    p.OnNotifyInputTimecodeGranularity = Rec("InputTimecodeGranularity");
    p.OnNotifyInputDuration = Rec("InputDuration");
    p.OnNotifyInputStreamInfo = Rec("InputStreamInfo");
    p.OnNotifyInputModule = Rec("InputModule");
    p.OnNotifyInputModuleInfo = Rec("InputModuleInfo");
    p.OnNotifyInputDeviceInfo = Rec("InputDeviceInfo");
    p.OnNotifyInputFilterInfo = Rec("InputFilterInfo");
    p.OnNotifyOutputState = Rec("OutputState");
    p.OnNotifyOutputName = Rec("OutputName");
    p.OnNotifyOutputCaps = Rec("OutputCaps");
    p.OnNotifyOutputVolume = Rec("OutputVolume");
    p.OnNotifyOutputBalance = Rec("OutputBalance");
    p.OnNotifyOutputPcmLevel = Rec("OutputPcmLevel");
    p.OnNotifyOutputMasterLevel = Rec("OutputMasterLevel");
    p.OnNotifyOutputChannels = Rec("OutputChannels");
    p.OnNotifyOutputPorts = Rec("OutputPorts");
    p.OnNotifyOutputModule = Rec("OutputModule");
    p.OnNotifyOutputModuleInfo = Rec("OutputModuleInfo");
    p.OnNotifyOutputDeviceInfo = Rec("OutputDeviceInfo");
    p.OnNotifyOutputFilterInfo = Rec("OutputFilterInfo");
    p.OnNotifyCodecQuality = Rec("CodecQuality");
    p.OnNotifyCodecEqualizer = Rec("CodecEqualizer");
    p.OnNotifyNotificationMask = Rec("NotificationMask");
    p.OnNotifyDebugLevel = Rec("DebugLevel");
    p.OnNotifyProgress = Rec("Progress");
    p.OnNotifyDebug = Rec("Debug");
    p.OnNotifyError = Rec("Error");
  }
  void BindMessage() { player_.OnNotifyMessage = Rec("Message"); }

  std::vector<std::string> lines;

 private:
  TXaudioPlayer& player_;
};

using Lines = std::vector<std::string>;

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_xaudio::Reset(); }

  // Posts one notification through the library's channel and delivers it.
  void Send(const Notification& n) {
    ASSERT_TRUE(fake_xaudio::Post(n));
    ASSERT_TRUE(fake_xaudio::Deliver());
  }

  ScriptedDialogs dialogs_;
  TXaudioPlayer player_{nullptr};
  EventLog log_{player_};
};

XA_EqualizerInfo MakeEqualizer() {
  XA_EqualizerInfo e{};
  e.left[0] = 7;
  e.right[31] = -3;
  return e;
}
XA_EqualizerInfo gEqualizer = MakeEqualizer();

struct DispatchCase {
  Notification notification;
  const char* expected;
};

// Every byte that a row does not set holds 0xEE, so a field read from the
// wrong place, or wider than it is, shows in the values.
Notification N(std::int32_t code) { return Notification(code).Fill(0xEE); }

std::vector<DispatchCase> DispatchTable() {
  return {
      {N(64), "Ready()"},
      {N(65).Byte(4, 200), "Ack(200)"},
      {N(66).Byte(4, 7).S16(6, -4), "Nack(7, -4)"},
      {N(67).U32(4, 4000000000u), "Pong(4000000000)"},
      {N(68), "Exited()"},
      {N(69).Byte(4, 0xFE), "PlayerState(254)"},
      {N(70).U32(4, 0xFFFFFFFE), "PlayerMode(-2)"},
      {N(71).Text(4, "OUTPUT.DIRECTSOUND.WINDOW").U32(8, 0xFFFFFFFB),
       "PlayerEnvironmentInteger(\"OUTPUT.DIRECTSOUND.WINDOW\", -5)"},
      {N(72).Text(4, "name").Text(8, "value"), "PlayerEnvironmentString(\"name\", \"value\")"},
      {N(73).Byte(4, 0x81), "InputState(129)"},
      {N(74).Text(4, "/music/a.mp3"), "InputName(\"/music/a.mp3\")"},
      {N(75).U32(4, 0x80000001), "InputCaps(2147483649)"},
      {N(76).U32(4, 4000000000u).U32(8, 3000000000u), "InputPosition(4000000000, 3000000000)"},
      {N(77).U32(4, 0xFFFFFFFF), "InputPositionRange(-1)"},
      {N(78).Byte(4, 1).Byte(5, 2).Byte(6, 3).Byte(7, 250), "InputTimecode(1, 2, 3, 250)"},
      {N(79).U32(4, 1000), "InputTimecodeGranularity(1000)"},
      {N(80).U32(4, 3725), "InputDuration(3725)"},
      {N(81).Byte(4, 1).Byte(5, 3).U16(6, 0xFFF0).U16(8, 44100).Byte(10, 2),
       "InputStreamInfo(1, 3, 65520, 44100, 2)"},
      {N(82).S16(4, -2), "InputModule(-2)"},
      {N(83).Byte(4, 5).Byte(5, 6).Text(8, "mpeg").Text(12, "decoder"),
       "InputModuleInfo(5, 6, \"mpeg\", \"decoder\")"},
      {N(84).Byte(4, 1).Byte(5, 2).Byte(6, 3).Text(8, "dev").Text(12, "desc"),
       "InputDeviceInfo(1, 2, 3, \"dev\", \"desc\")"},
      {N(85).Text(4, "flt").Byte(8, 9), "InputFilterInfo(9, \"flt\")"},
      {N(86).Byte(4, 0x82), "OutputState(130)"},
      {N(87).Text(4, "/dev/dsound/0"), "OutputName(\"/dev/dsound/0\")"},
      {N(88).U32(4, 0xFFFFFF07), "OutputCaps(4294967047)"},
      {N(89).Byte(4, 10).Byte(5, 20).Byte(6, 30), "OutputVolume(10, 20, 30)"},
      {N(90).Byte(4, 10).Byte(5, 20).Byte(6, 30), "OutputBalance(30)"},
      {N(91).Byte(4, 10).Byte(5, 20).Byte(6, 30), "OutputPcmLevel(20)"},
      {N(92).Byte(4, 10).Byte(5, 20).Byte(6, 30), "OutputMasterLevel(10)"},
      {N(93).Byte(4, 2), "OutputChannels(2)"},
      {N(94).Byte(4, 0xAB), "OutputPorts(171)"},
      {N(96).S16(4, -3), "OutputModule(-3)"},
      {N(97).Byte(4, 8).Byte(5, 1).Text(8, "alsa").Text(12, "sound"),
       "OutputModuleInfo(8, 1, \"alsa\", \"sound\")"},
      {N(98).Byte(4, 4).Byte(5, 5).Byte(6, 6).Text(8, "hw0").Text(12, "card"),
       "OutputDeviceInfo(4, 5, 6, \"hw0\", \"card\")"},
      {N(99).Text(4, "gain").Byte(8, 0xF1), "OutputFilterInfo(241, \"gain\")"},
      {N(100).Byte(4, 0xC8), "CodecQuality(200)"},
      {N(101).Pointer(4, &gEqualizer), "CodecEqualizer(eq 7/-3)"},
      {N(102).U32(4, 0xFFFFFFFF), "NotificationMask(4294967295)"},
      {N(103).Byte(4, 9), "DebugLevel(9)"},
      {N(104).Byte(4, 1).Byte(5, 2).S16(6, -300).Text(8, "50%"), "Progress(1, 2, -300, \"50%\")"},
      {N(105).Byte(4, 3).Byte(5, 4).Text(8, "dbg"), "Debug(3, 4, \"dbg\")"},
      {N(106).Byte(4, 5).S16(6, XA_ERROR_NOT_MPEG_AUDIO).Text(8, "not an MPEG audio stream"),
       "Error(5, -6, \"not an MPEG audio stream\")"},
  };
}

TEST_F(DispatchTest, EachCodeRaisesItsEventWithTheFieldsAtTheirOffsets) {
  log_.BindAll();
  const auto table = DispatchTable();
  ASSERT_EQ(table.size(), 42u);  // 64-106 without 95
  for (const DispatchCase& c : table) {
    const int code = c.notification.Record().code;
    SCOPED_TRACE(code);
    log_.lines.clear();
    Send(c.notification);
    EXPECT_EQ(log_.lines, (Lines{"Message(" + std::to_string(code) + ")", c.expected}));
  }
}

TEST_F(DispatchTest, EqualizerRecordIsPassedByReference) {
  XA_EqualizerInfo equalizer{};
  XA_EqualizerInfo* seen = nullptr;
  player_.OnNotifyCodecEqualizer = [&](QObject*, XA_EqualizerInfo& e) {
    seen = &e;
    e.left[1] = 42;
  };
  Send(Notification(101).Pointer(4, &equalizer));
  EXPECT_EQ(seen, &equalizer);
  EXPECT_EQ(equalizer.left[1], 42);

  // A notification without its record still reaches the handler, with a flat one.
  seen = nullptr;
  Send(Notification(101));
  ASSERT_NE(seen, nullptr);
}

TEST_F(DispatchTest, NullTextsArriveAsEmptyStrings) {
  log_.BindAll();
  const DispatchCase table[] = {
      {Notification(71).Text(4, std::nullopt).U32(8, 3), "PlayerEnvironmentInteger(\"\", 3)"},
      {Notification(72).Text(4, std::nullopt).Text(8, std::nullopt), "PlayerEnvironmentString(\"\", \"\")"},
      {Notification(74).Text(4, std::nullopt), "InputName(\"\")"},
      {Notification(83).Byte(4, 1).Text(8, std::nullopt).Text(12, "d"), "InputModuleInfo(1, 0, \"\", \"d\")"},
      {Notification(98).Text(8, "n").Text(12, std::nullopt), "OutputDeviceInfo(0, 0, 0, \"n\", \"\")"},
      {Notification(99).Byte(8, 4).Text(4, std::nullopt), "OutputFilterInfo(4, \"\")"},
      {Notification(104).Text(8, std::nullopt), "Progress(0, 0, 0, \"\")"},
      {Notification(105).Text(8, std::nullopt), "Debug(0, 0, \"\")"},
      {Notification(106).S16(6, -1).Text(8, std::nullopt), "Error(0, -1, \"\")"},
  };
  for (const DispatchCase& c : table) {
    SCOPED_TRACE(c.expected);
    log_.lines.clear();
    Send(c.notification);
    EXPECT_EQ(log_.lines,
              (Lines{"Message(" + std::to_string(c.notification.Record().code) + ")", c.expected}));
  }
}

TEST_F(DispatchTest, CodesWithoutAnEventReachOnlyTheRecordHandler) {
  log_.BindAll();
  for (int code : {95, 200, 0, 63, 107, -1, 1, 5}) {
    SCOPED_TRACE(code);
    log_.lines.clear();
    Send(N(code).Byte(4, 1));
    EXPECT_EQ(log_.lines, (Lines{"Message(" + std::to_string(code) + ")"}));
  }
  // A window message that is not a notification converts to code 0.
  log_.lines.clear();
  ASSERT_TRUE(fake_xaudio::PostWindowMessage(0x0400, 76, 9));
  fake_xaudio::Deliver();
  EXPECT_EQ(log_.lines, (Lines{"Message(0)"}));
}

TEST_F(DispatchTest, RecordHandlerMayRewriteTheNotificationBeforeDispatch) {
  log_.BindAll();
  auto record = log_.Rec("Message");
  player_.OnNotifyMessage = [&](QObject* sender, XA_Message& m) {
    record(sender, m);
    if (m.code == 95) m.code = XA_MSG_NOTIFY_PLAYER_STATE;
    if (m.code == XA_MSG_NOTIFY_INPUT_POSITION) xa_fields::SetU32(m, 4, 6);
    if (m.code == XA_MSG_NOTIFY_NACK) m.code = 200;
  };
  Send(Notification(95).Byte(4, 1));
  Send(Notification(76).U32(4, 5).U32(8, 10));
  Send(Notification(66).Byte(4, 3).S16(6, -4));
  EXPECT_EQ(log_.lines,
            (Lines{"Message(95)", "PlayerState(1)", "Message(76)", "InputPosition(6, 10)", "Message(66)"}));
}

TEST_F(DispatchTest, UnassignedEventsCopyNoTexts) {
  // Texts that point nowhere: reading one would crash the test.
  const void* nowhere = reinterpret_cast<const void*>(std::uintptr_t{16});
  player_.OnNotifyInputPosition = log_.Rec("InputPosition");
  for (int code : {71, 72, 74, 83, 84, 85, 87, 97, 98, 99, 104, 105, 106}) {
    SCOPED_TRACE(code);
    Send(Notification(code).Pointer(4, nowhere).Pointer(8, nowhere).Pointer(12, nowhere));
  }
  Send(Notification(76).U32(4, 1).U32(8, 2));
  EXPECT_EQ(log_.lines, (Lines{"InputPosition(1, 2)"}));
}

TEST_F(DispatchTest, NotificationsArriveInOrderAndHandlersMaySendCommands) {
  log_.BindAll();
  player_.OnNotifyMessage = nullptr;
  auto position = log_.Rec("InputPosition");
  player_.OnNotifyInputPosition = [&](QObject* sender, std::uint32_t offset, std::uint32_t range) {
    position(sender, offset, range);
    if (offset == 2) {
      player_.Stop();
      player_.InputSeek(0, 1);
    }
  };
  fake_xaudio::ClearCalls();
  for (std::uint32_t offset = 0; offset < 4; ++offset)
    ASSERT_TRUE(fake_xaudio::Post(Notification(76).U32(4, offset).U32(8, 10)));
  ASSERT_TRUE(fake_xaudio::Post(Notification(69).Byte(4, 0)));
  ASSERT_TRUE(fake_xaudio::Deliver());
  EXPECT_EQ(log_.lines, (Lines{"InputPosition(0, 10)", "InputPosition(1, 10)", "InputPosition(2, 10)",
                               "InputPosition(3, 10)", "PlayerState(0)"}));
  EXPECT_EQ(fake_xaudio::CommandTexts(),
            (Lines{"control_message_send_N(5)", "control_message_send_II(6, 0, 1)"}));
}

TEST_F(DispatchTest, NotifyHelpersReachTheWindowHandlers) {
  log_.BindAll();
  player_.OnNotifyMessage = nullptr;
  EXPECT_TRUE(fake_xaudio::NotifyReady());
  EXPECT_TRUE(fake_xaudio::NotifyAck(3));
  EXPECT_TRUE(fake_xaudio::NotifyNack(7, XA_ERROR_NO_SUCH_FILE));
  EXPECT_TRUE(fake_xaudio::NotifyPlayerState(1));
  EXPECT_TRUE(fake_xaudio::NotifyInputPosition(17, 4500));
  EXPECT_TRUE(fake_xaudio::NotifyInputTimecode(0, 1, 5, 40));
  EXPECT_TRUE(fake_xaudio::NotifyInputDuration(3725));
  EXPECT_EQ(log_.lines,
            (Lines{"Ready()", "Ack(3)", "Nack(7, -4)", "PlayerState(1)", "InputPosition(17, 4500)",
                   "InputTimecode(0, 1, 5, 40)", "InputDuration(3725)"}));
}

}  // namespace
