#pragma once

// TXaudioPlayer: the non-visual component through which the program plays
// audio. It owns one player of the audio library, sends each command as one
// library call and returns the library's status unchanged, and turns the
// library's notifications, which arrive at a hidden message window on the
// GUI thread, into the events below. It keeps no playback state of its own.

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

#include "preview/XaudioPlayerEvents.h"
#include "xaudio/xaudio.h"

class MessageWindow;

class TXaudioPlayer : public QObject {
 public:
  explicit TXaudioPlayer(QObject* AOwner);
  ~TXaudioPlayer() override;

  TXaudioPlayer(const TXaudioPlayer&) = delete;
  TXaudioPlayer& operator=(const TXaudioPlayer&) = delete;

  // The library's text for an error code; empty when it has none.
  QString ErrorString(int Code);

  // Commands. Each makes exactly one library call and returns its status.
  // A Get command only asks: the value comes back as its notification event.
  int Exit();
  int Ping(std::int32_t Tag);
  int Play();
  int Pause();
  int Stop();
  int InputSeek(std::int32_t Offset, std::int32_t Range);
  int InputOpen(const QString& Name);
  int InputClose();
  int InputSendMessage(std::uint16_t Type, void* Data, std::int32_t Size);
  int InputAddFilter(const QString& Name, std::int32_t Value);
  int InputRemoveFilter(const QString& Name, std::int32_t Value);
  int InputFilterList();
  int InputModuleRegister(const QString& Name);
  int InputModuleQuery(std::int32_t Value);
  int InputModulesList();
  int OutputOpen(const QString& Name);
  int OutputClose();
  int OutputMute();
  int OutputUnmute();
  int OutputReset();
  int OutputDrain();
  int OutputSendMessage(std::uint16_t Type, void* Data, std::int32_t Size);
  int OutputAddFilter(const QString& Name, std::int32_t Value);
  int OutputRemoveFilter(const QString& Name, std::int32_t Value);
  int OutputFilterList();
  int OutputModuleRegister(const QString& Name);
  int OutputModuleQuery(std::int32_t Value);
  int OutputModulesList();
  int SetPlayerMode(std::int32_t Mode);
  int GetPlayerMode();
  int SetPlayerEnvironmentInteger(const QString& Name, std::int32_t Value);
  int GetPlayerEnvironmentInteger(const QString& Name);
  int SetPlayerEnvironmentString(const QString& Name, const QString& Value);
  int GetPlayerEnvironmentString(const QString& Name);
  int UnsetPlayerEnvironment(const QString& Name);
  int SetInputModule(std::int32_t Module);
  int GetInputModule();
  int SetInputName(const QString& Name);
  int GetInputName();
  int SetInputPositionRange(std::int32_t Range);
  int GetInputPositionRange();
  int SetInputTimecodeGranularity(std::int32_t Granularity);
  int GetInputTimecodeGranularity();
  int SetOutputModule(std::int32_t Module);
  int GetOutputModule();
  int SetOutputName(const QString& Name);
  int GetOutputName();
  int SetOutputVolume(std::uint8_t MasterLevel, std::uint8_t PcmLevel, std::uint8_t Balance);
  int GetOutputVolume();
  int SetOutputChannels(std::int32_t Channels);
  int GetOutputChannels();
  int SetOutputPorts(std::int32_t Ports);
  int GetOutputPorts();
  int SetCodecQuality(std::uint8_t Quality);
  int GetCodecQuality();
  int SetCodecEqualizer(XA_EqualizerInfo* Equalizer);
  int GetCodecEqualizer();
  int SetNotificationMask(std::int32_t Mask);
  int GetNotificationMask();
  int SetDebugLevel(std::int32_t Level);
  int GetDebugLevel();

  // Not cached: every read asks the library.
  std::uint32_t Priority() const;
  void SetPriority(std::uint32_t Value);

  // The handle of the hidden window that receives the library's notifications.
  std::uint32_t WindowHandle() const { return windowHandle_; }

  // Events, one per notification code. An empty slot raises nothing.
  TNotifyMessageEvent OnNotifyMessage;
  TNotifyEvent OnNotifyReady;
  TNotifyAckEvent OnNotifyAck;
  TNotifyNackEvent OnNotifyNack;
  TNotifyPongEvent OnNotifyPong;
  TNotifyEvent OnNotifyExited;
  TNotifyPlayerStateEvent OnNotifyPlayerState;
  TNotifyPlayerModeEvent OnNotifyPlayerMode;
  TNotifyEnvironmentIntegerEvent OnNotifyPlayerEnvironmentInteger;
  TNotifyEnvironmentStringEvent OnNotifyPlayerEnvironmentString;
  TNotifyInputStateEvent OnNotifyInputState;
  TNotifyInputNameEvent OnNotifyInputName;
  TNotifyInputCapsEvent OnNotifyInputCaps;
  TNotifyInputPositionEvent OnNotifyInputPosition;
  TNotifyInputPositionRangeEvent OnNotifyInputPositionRange;
  TNotifyInputTimecodeEvent OnNotifyInputTimecode;
  TNotifyInputTimecodeGranularityEvent OnNotifyInputTimecodeGranularity;
  TNotifyInputDurationEvent OnNotifyInputDuration;
  TNotifyInputStreamInfoEvent OnNotifyInputStreamInfo;
  TNotifyInputModuleEvent OnNotifyInputModule;
  TNotifyInputModuleInfoEvent OnNotifyInputModuleInfo;
  TNotifyInputDeviceInfoEvent OnNotifyInputDeviceInfo;
  TNotifyInputFilterInfoEvent OnNotifyInputFilterInfo;
  TNotifyOutputStateEvent OnNotifyOutputState;
  TNotifyOutputNameEvent OnNotifyOutputName;
  TNotifyOutputCapsEvent OnNotifyOutputCaps;
  TNotifyOutputVolumeEvent OnNotifyOutputVolume;
  TNotifyOutputBalanceEvent OnNotifyOutputBalance;
  TNotifyOutputPcmLevelEvent OnNotifyOutputPcmLevel;
  TNotifyOutputMasterLevelEvent OnNotifyOutputMasterLevel;
  TNotifyOutputChannelsEvent OnNotifyOutputChannels;
  TNotifyOutputPortsEvent OnNotifyOutputPorts;
  TNotifyOutputModuleEvent OnNotifyOutputModule;
  TNotifyOutputModuleInfoEvent OnNotifyOutputModuleInfo;
  TNotifyOutputDeviceInfoEvent OnNotifyOutputDeviceInfo;
  TNotifyOutputFilterInfoEvent OnNotifyOutputFilterInfo;
  TNotifyCodecQualityEvent OnNotifyCodecQuality;
  TNotifyCodecEqualizerEvent OnNotifyCodecEqualizer;
  TNotifyNotificationMask OnNotifyNotificationMask;
  TNotifyDebugLevelEvent OnNotifyDebugLevel;
  TNotifyProgressEvent OnNotifyProgress;
  TNotifyDebugEvent OnNotifyDebug;
  TNotifyErrorEvent OnNotifyError;

 private:
  void WindowProc(std::uint32_t Message, std::uintptr_t WParam, std::intptr_t LParam);
  void Dispatch(XA_Message& Msg);

  XA_Player* player_ = nullptr;
  std::uint32_t windowHandle_ = 0;
  std::unique_ptr<MessageWindow> window_;
  // How many notifications are being handled right now (a handler may destroy us).
  int handling_ = 0;
};
