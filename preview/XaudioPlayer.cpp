#include "preview/XaudioPlayer.h"

#include <QByteArray>
#include <QPointer>
#include <utility>

#include "platform/Dialogs.h"
#include "platform/MessageWindow.h"
#include "xaudio/MessageFields.h"

namespace {

constexpr unsigned kExpectedMajor = XAUDIO_API_VERSION_MAJOR;
constexpr unsigned kExpectedMinor = XAUDIO_API_VERSION_MINOR;

void ShowError(const QString& text) {
  dialogs::MessageBoxRequest request;
  request.text = text;
  request.caption = QStringLiteral("Error");
  request.buttons = dialogs::Buttons::Ok;
  request.icon = dialogs::Icon::Error;
  request.defaultButton = dialogs::Result::Ok;
  dialogs::Current().MessageBox(request);
}

// Runs before the base object exists, as the first thing the component does.
QObject* CheckApiVersion(QObject* owner) {
  const unsigned long version = xaudio_get_api_version(2);
  const unsigned major = (version >> 16) & 0xFF;
  const unsigned minor = (version >> 8) & 0xFF;
  if (major != kExpectedMajor || minor != kExpectedMinor) {
    ShowError(QStringLiteral("Xaudio DLL API Mismatch\rExpected %1,%2\rGot %3,%4")
                  .arg(kExpectedMajor)
                  .arg(kExpectedMinor)
                  .arg(major)
                  .arg(minor));
  }
  return owner;
}

// A library text, copied; a null pointer is the empty string.
QString TextAt(const XA_Message& m, int offset) {
  const char* text = xa_fields::Text(m, offset);
  return text ? QString::fromLocal8Bit(text) : QString();
}

// The handler may destroy the component and with it the slot it was called
// from, so the call goes through a copy.
template <typename Slot, typename... Args>
void Raise(const Slot& slot, Args&&... args) {
  Slot handler = slot;
  handler(std::forward<Args>(args)...);
}

// Text arguments go to the library as zero-terminated 8-bit copies, which live
// until the call returns; an empty string is an empty text, never null.
QByteArray Local8(const QString& text) { return text.toLocal8Bit(); }

std::int32_t Widened(std::uint8_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}
std::int32_t Widened(std::uint16_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

TXaudioPlayer::TXaudioPlayer(QObject* AOwner) : QObject(CheckApiVersion(AOwner)) {
  window_ =
      std::make_unique<MessageWindow>([this](std::uint32_t message, std::uintptr_t wparam,
                                             std::intptr_t lparam) { WindowProc(message, wparam, lparam); });
  windowHandle_ = window_->Handle();
  if (player_new(&player_, &windowHandle_) != 0) ShowError(QStringLiteral("Cannot Start Xaudio Player"));
}

TXaudioPlayer::~TXaudioPlayer() {
  player_delete(player_);
  // Messages the library posted before it stopped may still be queued for the
  // window; none of them may reach the library with the deleted handle.
  window_->Detach();
  if (handling_ > 0) {
    // We are being destroyed from inside one of our own events, which the
    // window is still delivering: let it go once that delivery has returned.
    window_.release()->deleteLater();
  } else {
    window_.reset();
  }
}

void TXaudioPlayer::WindowProc(std::uint32_t Message, std::uintptr_t WParam, std::intptr_t LParam) {
  QPointer<TXaudioPlayer> alive(this);
  ++handling_;
  // Code 0 dispatches nothing, should the library leave the record unfilled.
  XA_Message msg{};
  control_win32_params_to_message(player_, &msg, Message, WParam, LParam);
  if (OnNotifyMessage) Raise(OnNotifyMessage, this, msg);
  if (alive) Dispatch(msg);
  if (alive) --handling_;
}

void TXaudioPlayer::Dispatch(XA_Message& Msg) {
  using namespace xa_fields;
  const XA_Message& m = Msg;
  switch (m.code) {
    case XA_MSG_NOTIFY_READY:
      if (OnNotifyReady) Raise(OnNotifyReady, this);
      break;
    case XA_MSG_NOTIFY_ACK:
      if (OnNotifyAck) Raise(OnNotifyAck, this, Byte(m, 4));
      break;
    case XA_MSG_NOTIFY_NACK:
      if (OnNotifyNack) Raise(OnNotifyNack, this, Byte(m, 4), S16(m, 6));
      break;
    case XA_MSG_NOTIFY_PONG:
      if (OnNotifyPong) Raise(OnNotifyPong, this, U32(m, 4));
      break;
    case XA_MSG_NOTIFY_EXITED:
      if (OnNotifyExited) Raise(OnNotifyExited, this);
      break;
    case XA_MSG_NOTIFY_PLAYER_STATE:
      if (OnNotifyPlayerState) Raise(OnNotifyPlayerState, this, Widened(Byte(m, 4)));
      break;
    case XA_MSG_NOTIFY_PLAYER_MODE:
      if (OnNotifyPlayerMode) Raise(OnNotifyPlayerMode, this, static_cast<std::int32_t>(U32(m, 4)));
      break;
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
      if (OnNotifyPlayerEnvironmentInteger)
        Raise(OnNotifyPlayerEnvironmentInteger, this, TextAt(m, 4), static_cast<std::int32_t>(U32(m, 8)));
      break;
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING:
      if (OnNotifyPlayerEnvironmentString)
        Raise(OnNotifyPlayerEnvironmentString, this, TextAt(m, 4), TextAt(m, 8));
      break;
    case XA_MSG_NOTIFY_INPUT_STATE:
      if (OnNotifyInputState) Raise(OnNotifyInputState, this, Widened(Byte(m, 4)));
      break;
    case XA_MSG_NOTIFY_INPUT_NAME:
      if (OnNotifyInputName) Raise(OnNotifyInputName, this, TextAt(m, 4));
      break;
    case XA_MSG_NOTIFY_INPUT_CAPS:
      if (OnNotifyInputCaps) Raise(OnNotifyInputCaps, this, U32(m, 4));
      break;
    case XA_MSG_NOTIFY_INPUT_POSITION:
      if (OnNotifyInputPosition) Raise(OnNotifyInputPosition, this, U32(m, 4), U32(m, 8));
      break;
    case XA_MSG_NOTIFY_INPUT_POSITION_RANGE:
      if (OnNotifyInputPositionRange)
        Raise(OnNotifyInputPositionRange, this, static_cast<std::int32_t>(U32(m, 4)));
      break;
    case XA_MSG_NOTIFY_INPUT_TIMECODE:
      if (OnNotifyInputTimecode)
        Raise(OnNotifyInputTimecode, this, Byte(m, 4), Byte(m, 5), Byte(m, 6), Byte(m, 7));
      break;
    case XA_MSG_NOTIFY_INPUT_TIMECODE_GRANULARITY:
      if (OnNotifyInputTimecodeGranularity) Raise(OnNotifyInputTimecodeGranularity, this, U32(m, 4));
      break;
    case XA_MSG_NOTIFY_INPUT_DURATION:
      if (OnNotifyInputDuration) Raise(OnNotifyInputDuration, this, U32(m, 4));
      break;
    case XA_MSG_NOTIFY_INPUT_STREAM_INFO:
      if (OnNotifyInputStreamInfo)
        Raise(OnNotifyInputStreamInfo, this, Byte(m, 4), Byte(m, 5), U16(m, 6), U16(m, 8), Byte(m, 10));
      break;
    case XA_MSG_NOTIFY_INPUT_MODULE:
      if (OnNotifyInputModule) Raise(OnNotifyInputModule, this, S16(m, 4));
      break;
    case XA_MSG_NOTIFY_INPUT_MODULE_INFO:
      if (OnNotifyInputModuleInfo)
        Raise(OnNotifyInputModuleInfo, this, Byte(m, 4), Byte(m, 5), TextAt(m, 8), TextAt(m, 12));
      break;
    case XA_MSG_NOTIFY_INPUT_DEVICE_INFO:
      if (OnNotifyInputDeviceInfo)
        Raise(OnNotifyInputDeviceInfo, this, Byte(m, 4), Byte(m, 5), Byte(m, 6), TextAt(m, 8), TextAt(m, 12));
      break;
    case XA_MSG_NOTIFY_INPUT_FILTER_INFO:
      // The identifier follows the name in the record.
      if (OnNotifyInputFilterInfo) Raise(OnNotifyInputFilterInfo, this, Byte(m, 8), TextAt(m, 4));
      break;
    case XA_MSG_NOTIFY_OUTPUT_STATE:
      if (OnNotifyOutputState) Raise(OnNotifyOutputState, this, Widened(Byte(m, 4)));
      break;
    case XA_MSG_NOTIFY_OUTPUT_NAME:
      if (OnNotifyOutputName) Raise(OnNotifyOutputName, this, TextAt(m, 4));
      break;
    case XA_MSG_NOTIFY_OUTPUT_CAPS:
      if (OnNotifyOutputCaps) Raise(OnNotifyOutputCaps, this, U32(m, 4));
      break;
    case XA_MSG_NOTIFY_OUTPUT_VOLUME:
      if (OnNotifyOutputVolume) Raise(OnNotifyOutputVolume, this, Byte(m, 4), Byte(m, 5), Byte(m, 6));
      break;
    // The three single levels sit where the volume notification has them.
    case XA_MSG_NOTIFY_OUTPUT_BALANCE:
      if (OnNotifyOutputBalance) Raise(OnNotifyOutputBalance, this, Byte(m, 6));
      break;
    case XA_MSG_NOTIFY_OUTPUT_PCM_LEVEL:
      if (OnNotifyOutputPcmLevel) Raise(OnNotifyOutputPcmLevel, this, Byte(m, 5));
      break;
    case XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL:
      if (OnNotifyOutputMasterLevel) Raise(OnNotifyOutputMasterLevel, this, Byte(m, 4));
      break;
    case XA_MSG_NOTIFY_OUTPUT_CHANNELS:
      if (OnNotifyOutputChannels) Raise(OnNotifyOutputChannels, this, Byte(m, 4));
      break;
    case XA_MSG_NOTIFY_OUTPUT_PORTS:
      // The library sends the ports as one byte.
      if (OnNotifyOutputPorts) Raise(OnNotifyOutputPorts, this, static_cast<std::uint32_t>(Byte(m, 4)));
      break;
    case XA_MSG_NOTIFY_OUTPUT_MODULE:
      if (OnNotifyOutputModule) Raise(OnNotifyOutputModule, this, S16(m, 4));
      break;
    case XA_MSG_NOTIFY_OUTPUT_MODULE_INFO:
      if (OnNotifyOutputModuleInfo)
        Raise(OnNotifyOutputModuleInfo, this, Byte(m, 4), Byte(m, 5), TextAt(m, 8), TextAt(m, 12));
      break;
    case XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO:
      if (OnNotifyOutputDeviceInfo)
        Raise(OnNotifyOutputDeviceInfo, this, Byte(m, 4), Byte(m, 5), Byte(m, 6), TextAt(m, 8),
              TextAt(m, 12));
      break;
    case XA_MSG_NOTIFY_OUTPUT_FILTER_INFO:
      if (OnNotifyOutputFilterInfo) Raise(OnNotifyOutputFilterInfo, this, Byte(m, 8), TextAt(m, 4));
      break;
    case XA_MSG_NOTIFY_CODEC_QUALITY:
      if (OnNotifyCodecQuality) Raise(OnNotifyCodecQuality, this, Byte(m, 4));
      break;
    case XA_MSG_NOTIFY_CODEC_EQUALIZER:
      if (OnNotifyCodecEqualizer) {
        // A reference cannot be null: a missing record reaches the handler as a flat one.
        XA_EqualizerInfo flat{};
        auto* equalizer = static_cast<XA_EqualizerInfo*>(Pointer(m, 4));
        Raise(OnNotifyCodecEqualizer, this, equalizer ? *equalizer : flat);
      }
      break;
    case XA_MSG_NOTIFY_NOTIFICATION_MASK:
      if (OnNotifyNotificationMask) Raise(OnNotifyNotificationMask, this, U32(m, 4));
      break;
    case XA_MSG_NOTIFY_DEBUG_LEVEL:
      if (OnNotifyDebugLevel) Raise(OnNotifyDebugLevel, this, Byte(m, 4));
      break;
    case XA_MSG_NOTIFY_PROGRESS:
      if (OnNotifyProgress) Raise(OnNotifyProgress, this, Byte(m, 4), Byte(m, 5), S16(m, 6), TextAt(m, 8));
      break;
    case XA_MSG_NOTIFY_DEBUG:
      if (OnNotifyDebug) Raise(OnNotifyDebug, this, Byte(m, 4), Byte(m, 5), TextAt(m, 8));
      break;
    case XA_MSG_NOTIFY_ERROR:
      if (OnNotifyError) Raise(OnNotifyError, this, Byte(m, 4), S16(m, 6), TextAt(m, 8));
      break;
    default:  // 95 and everything outside 64-106
      break;
  }
}

QString TXaudioPlayer::ErrorString(int Code) {
  const char* text = xaudio_error_string(Code);
  return text ? QString::fromLocal8Bit(text) : QString();
}

std::uint32_t TXaudioPlayer::Priority() const { return player_get_priority(player_); }

void TXaudioPlayer::SetPriority(std::uint32_t Value) { player_set_priority(player_, Value); }

int TXaudioPlayer::Exit() { return control_message_send_N(player_, XA_MSG_COMMAND_EXIT); }
int TXaudioPlayer::Ping(std::int32_t Tag) {
  return control_message_send_I(player_, XA_MSG_COMMAND_PING, Tag);
}
int TXaudioPlayer::Play() { return control_message_send_N(player_, XA_MSG_COMMAND_PLAY); }
int TXaudioPlayer::Pause() { return control_message_send_N(player_, XA_MSG_COMMAND_PAUSE); }
int TXaudioPlayer::Stop() { return control_message_send_N(player_, XA_MSG_COMMAND_STOP); }
int TXaudioPlayer::InputSeek(std::int32_t Offset, std::int32_t Range) {
  return control_message_send_II(player_, XA_MSG_COMMAND_INPUT_SEEK, Offset, Range);
}
int TXaudioPlayer::InputOpen(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_COMMAND_INPUT_OPEN, Local8(Name).constData());
}
int TXaudioPlayer::InputClose() { return control_message_send_N(player_, XA_MSG_COMMAND_INPUT_CLOSE); }
int TXaudioPlayer::InputSendMessage(std::uint16_t Type, void* Data, std::int32_t Size) {
  return control_message_send_IPI(player_, XA_MSG_COMMAND_INPUT_SEND_MESSAGE, Widened(Type), Data, Size);
}
int TXaudioPlayer::InputAddFilter(const QString& Name, std::int32_t Value) {
  return control_message_send_SI(player_, XA_MSG_COMMAND_INPUT_ADD_FILTER, Local8(Name).constData(), Value);
}
int TXaudioPlayer::InputRemoveFilter(const QString& Name, std::int32_t Value) {
  return control_message_send_SI(player_, XA_MSG_COMMAND_INPUT_REMOVE_FILTER, Local8(Name).constData(),
                                 Value);
}
int TXaudioPlayer::InputFilterList() {
  return control_message_send_N(player_, XA_MSG_COMMAND_INPUT_FILTERS_LIST);
}
int TXaudioPlayer::InputModuleRegister(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_COMMAND_INPUT_MODULE_REGISTER, Local8(Name).constData());
}
int TXaudioPlayer::InputModuleQuery(std::int32_t Value) {
  return control_message_send_I(player_, XA_MSG_COMMAND_INPUT_MODULE_QUERY, Value);
}
int TXaudioPlayer::InputModulesList() {
  return control_message_send_N(player_, XA_MSG_COMMAND_INPUT_MODULES_LIST);
}
int TXaudioPlayer::OutputOpen(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_COMMAND_OUTPUT_OPEN, Local8(Name).constData());
}
int TXaudioPlayer::OutputClose() { return control_message_send_N(player_, XA_MSG_COMMAND_OUTPUT_CLOSE); }
int TXaudioPlayer::OutputMute() { return control_message_send_N(player_, XA_MSG_COMMAND_OUTPUT_MUTE); }
int TXaudioPlayer::OutputUnmute() { return control_message_send_N(player_, XA_MSG_COMMAND_OUTPUT_UNMUTE); }
int TXaudioPlayer::OutputReset() { return control_message_send_N(player_, XA_MSG_COMMAND_OUTPUT_RESET); }
int TXaudioPlayer::OutputDrain() { return control_message_send_N(player_, XA_MSG_COMMAND_OUTPUT_DRAIN); }
int TXaudioPlayer::OutputSendMessage(std::uint16_t Type, void* Data, std::int32_t Size) {
  return control_message_send_IPI(player_, XA_MSG_COMMAND_OUTPUT_SEND_MESSAGE, Widened(Type), Data, Size);
}
int TXaudioPlayer::OutputAddFilter(const QString& Name, std::int32_t Value) {
  return control_message_send_SI(player_, XA_MSG_COMMAND_OUTPUT_ADD_FILTER, Local8(Name).constData(), Value);
}
int TXaudioPlayer::OutputRemoveFilter(const QString& Name, std::int32_t Value) {
  return control_message_send_SI(player_, XA_MSG_COMMAND_OUTPUT_REMOVE_FILTER, Local8(Name).constData(),
                                 Value);
}
int TXaudioPlayer::OutputFilterList() {
  return control_message_send_N(player_, XA_MSG_COMMAND_OUTPUT_FILTERS_LIST);
}
int TXaudioPlayer::OutputModuleRegister(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER, Local8(Name).constData());
}
int TXaudioPlayer::OutputModuleQuery(std::int32_t Value) {
  return control_message_send_I(player_, XA_MSG_COMMAND_OUTPUT_MODULE_QUERY, Value);
}
int TXaudioPlayer::OutputModulesList() {
  return control_message_send_N(player_, XA_MSG_COMMAND_OUTPUT_MODULES_LIST);
}
int TXaudioPlayer::SetPlayerMode(std::int32_t Mode) {
  return control_message_send_I(player_, XA_MSG_SET_PLAYER_MODE, Mode);
}
int TXaudioPlayer::GetPlayerMode() { return control_message_send_N(player_, XA_MSG_GET_PLAYER_MODE); }
int TXaudioPlayer::SetPlayerEnvironmentInteger(const QString& Name, std::int32_t Value) {
  return control_message_send_SI(player_, XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, Local8(Name).constData(),
                                 Value);
}
int TXaudioPlayer::GetPlayerEnvironmentInteger(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_GET_PLAYER_ENVIRONMENT_INTEGER, Local8(Name).constData());
}
int TXaudioPlayer::SetPlayerEnvironmentString(const QString& Name, const QString& Value) {
  return control_message_send_SS(player_, XA_MSG_SET_PLAYER_ENVIRONMENT_STRING, Local8(Name).constData(),
                                 Local8(Value).constData());
}
int TXaudioPlayer::GetPlayerEnvironmentString(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_GET_PLAYER_ENVIRONMENT_STRING, Local8(Name).constData());
}
int TXaudioPlayer::UnsetPlayerEnvironment(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_UNSET_PLAYER_ENVIRONMENT, Local8(Name).constData());
}
int TXaudioPlayer::SetInputModule(std::int32_t Module) {
  return control_message_send_I(player_, XA_MSG_SET_INPUT_MODULE, Module);
}
int TXaudioPlayer::GetInputModule() { return control_message_send_N(player_, XA_MSG_GET_INPUT_MODULE); }
int TXaudioPlayer::SetInputName(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_SET_INPUT_NAME, Local8(Name).constData());
}
int TXaudioPlayer::GetInputName() { return control_message_send_N(player_, XA_MSG_GET_INPUT_NAME); }
int TXaudioPlayer::SetInputPositionRange(std::int32_t Range) {
  return control_message_send_I(player_, XA_MSG_SET_INPUT_POSITION_RANGE, Range);
}
int TXaudioPlayer::GetInputPositionRange() {
  return control_message_send_N(player_, XA_MSG_GET_INPUT_POSITION_RANGE);
}
int TXaudioPlayer::SetInputTimecodeGranularity(std::int32_t Granularity) {
  return control_message_send_I(player_, XA_MSG_SET_INPUT_TIMECODE_GRANULARITY, Granularity);
}
int TXaudioPlayer::GetInputTimecodeGranularity() {
  return control_message_send_N(player_, XA_MSG_GET_INPUT_TIMECODE_GRANULARITY);
}
int TXaudioPlayer::SetOutputModule(std::int32_t Module) {
  return control_message_send_I(player_, XA_MSG_SET_OUTPUT_MODULE, Module);
}
int TXaudioPlayer::GetOutputModule() { return control_message_send_N(player_, XA_MSG_GET_OUTPUT_MODULE); }
int TXaudioPlayer::SetOutputName(const QString& Name) {
  return control_message_send_S(player_, XA_MSG_SET_OUTPUT_NAME, Local8(Name).constData());
}
int TXaudioPlayer::GetOutputName() { return control_message_send_N(player_, XA_MSG_GET_OUTPUT_NAME); }
int TXaudioPlayer::SetOutputVolume(std::uint8_t MasterLevel, std::uint8_t PcmLevel, std::uint8_t Balance) {
  return control_message_send_III(player_, XA_MSG_SET_OUTPUT_VOLUME, Widened(MasterLevel), Widened(PcmLevel),
                                  Widened(Balance));
}
int TXaudioPlayer::GetOutputVolume() { return control_message_send_N(player_, XA_MSG_GET_OUTPUT_VOLUME); }
int TXaudioPlayer::SetOutputChannels(std::int32_t Channels) {
  return control_message_send_I(player_, XA_MSG_SET_OUTPUT_CHANNELS, Channels);
}
int TXaudioPlayer::GetOutputChannels() { return control_message_send_N(player_, XA_MSG_GET_OUTPUT_CHANNELS); }
int TXaudioPlayer::SetOutputPorts(std::int32_t Ports) {
  return control_message_send_I(player_, XA_MSG_SET_OUTPUT_PORTS, Ports);
}
int TXaudioPlayer::GetOutputPorts() { return control_message_send_N(player_, XA_MSG_GET_OUTPUT_PORTS); }
int TXaudioPlayer::SetCodecQuality(std::uint8_t Quality) {
  return control_message_send_I(player_, XA_MSG_SET_CODEC_QUALITY, Widened(Quality));
}
int TXaudioPlayer::GetCodecQuality() { return control_message_send_N(player_, XA_MSG_GET_CODEC_QUALITY); }
int TXaudioPlayer::SetCodecEqualizer(XA_EqualizerInfo* Equalizer) {
  return control_message_send_P(player_, XA_MSG_SET_CODEC_EQUALIZER, Equalizer);
}
int TXaudioPlayer::GetCodecEqualizer() { return control_message_send_N(player_, XA_MSG_GET_CODEC_EQUALIZER); }
int TXaudioPlayer::SetNotificationMask(std::int32_t Mask) {
  return control_message_send_I(player_, XA_MSG_SET_NOTIFICATION_MASK, Mask);
}
int TXaudioPlayer::GetNotificationMask() {
  return control_message_send_N(player_, XA_MSG_GET_NOTIFICATION_MASK);
}
int TXaudioPlayer::SetDebugLevel(std::int32_t Level) {
  return control_message_send_I(player_, XA_MSG_SET_DEBUG_LEVEL, Level);
}
int TXaudioPlayer::GetDebugLevel() { return control_message_send_N(player_, XA_MSG_GET_DEBUG_LEVEL); }
