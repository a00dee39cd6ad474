#pragma once

// Event handler types of the player component. Every handler gets the
// component as Sender, then the fields of one library notification.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "widgets/Events.h"
#include "xaudio/xaudio.h"

// The record by reference: a handler may change it before the component dispatches it.
using TNotifyMessageEvent = std::function<void(QObject* Sender, XA_Message& Msg)>;
using TNotifyAckEvent = std::function<void(QObject* Sender, std::uint8_t Command)>;
using TNotifyNackEvent = std::function<void(QObject* Sender, std::uint8_t Command, std::int16_t Code)>;
using TNotifyPongEvent = std::function<void(QObject* Sender, std::uint32_t Tag)>;
using TNotifyPlayerStateEvent = std::function<void(QObject* Sender, std::int32_t State)>;
using TNotifyPlayerModeEvent = std::function<void(QObject* Sender, std::int32_t Mode)>;
using TNotifyEnvironmentIntegerEvent =
    std::function<void(QObject* Sender, const QString& Name, std::int32_t Value)>;
using TNotifyEnvironmentStringEvent =
    std::function<void(QObject* Sender, const QString& Name, const QString& Value)>;
using TNotifyInputStateEvent = std::function<void(QObject* Sender, std::int32_t State)>;
using TNotifyInputNameEvent = std::function<void(QObject* Sender, const QString& Name)>;
using TNotifyInputCapsEvent = std::function<void(QObject* Sender, std::uint32_t Caps)>;
using TNotifyInputPositionEvent =
    std::function<void(QObject* Sender, std::uint32_t Offset, std::uint32_t Range)>;
using TNotifyInputPositionRangeEvent = std::function<void(QObject* Sender, std::int32_t Range)>;
using TNotifyInputTimecodeEvent = std::function<void(
    QObject* Sender, std::uint8_t Hours, std::uint8_t Minutes, std::uint8_t Seconds, std::uint8_t Fractions)>;
using TNotifyInputTimecodeGranularityEvent = std::function<void(QObject* Sender, std::uint32_t Granularity)>;
using TNotifyInputDurationEvent = std::function<void(QObject* Sender, std::uint32_t Duration)>;
using TNotifyInputStreamInfoEvent =
    std::function<void(QObject* Sender, std::uint8_t Level, std::uint8_t Layer, std::uint16_t Bitrate,
                       std::uint16_t Frequency, std::uint8_t Mode)>;
using TNotifyInputModuleEvent = std::function<void(QObject* Sender, std::int16_t ID)>;
using TNotifyInputModuleInfoEvent =
    std::function<void(QObject* Sender, std::uint8_t ID, std::uint8_t NbDevices, const QString& Name,
                       const QString& Description)>;
using TNotifyInputDeviceInfoEvent =
    std::function<void(QObject* Sender, std::uint8_t ModuleID, std::uint8_t Index, std::uint8_t Flags,
                       const QString& Name, const QString& Description)>;
using TNotifyInputFilterInfoEvent =
    std::function<void(QObject* Sender, std::uint8_t ID, const QString& Name)>;
using TNotifyOutputStateEvent = std::function<void(QObject* Sender, std::int32_t State)>;
using TNotifyOutputNameEvent = std::function<void(QObject* Sender, const QString& Name)>;
using TNotifyOutputCapsEvent = std::function<void(QObject* Sender, std::uint32_t Caps)>;
using TNotifyOutputVolumeEvent = std::function<void(QObject* Sender, std::uint8_t MasterLevel,
                                                    std::uint8_t PcmLevel, std::uint8_t Balance)>;
using TNotifyOutputBalanceEvent = std::function<void(QObject* Sender, std::uint8_t Balance)>;
using TNotifyOutputPcmLevelEvent = std::function<void(QObject* Sender, std::uint8_t PcmLevel)>;
using TNotifyOutputMasterLevelEvent = std::function<void(QObject* Sender, std::uint8_t MasterLevel)>;
using TNotifyOutputChannelsEvent = std::function<void(QObject* Sender, std::uint8_t Channels)>;
using TNotifyOutputPortsEvent = std::function<void(QObject* Sender, std::uint32_t Ports)>;
using TNotifyOutputModuleEvent = std::function<void(QObject* Sender, std::int16_t ID)>;
using TNotifyOutputModuleInfoEvent = TNotifyInputModuleInfoEvent;
using TNotifyOutputDeviceInfoEvent = TNotifyInputDeviceInfoEvent;
using TNotifyOutputFilterInfoEvent = TNotifyInputFilterInfoEvent;
using TNotifyCodecQualityEvent = std::function<void(QObject* Sender, std::uint8_t Quality)>;
using TNotifyCodecEqualizerEvent = std::function<void(QObject* Sender, XA_EqualizerInfo& Equalizer)>;
using TNotifyNotificationMask = std::function<void(QObject* Sender, std::uint32_t Mask)>;
using TNotifyDebugLevelEvent = std::function<void(QObject* Sender, std::uint8_t Level)>;
using TNotifyProgressEvent = std::function<void(QObject* Sender, std::uint8_t Source, std::uint8_t Code,
                                                std::int16_t Value, const QString& Msg)>;
using TNotifyDebugEvent =
    std::function<void(QObject* Sender, std::uint8_t Source, std::uint8_t Level, const QString& Msg)>;
using TNotifyErrorEvent =
    std::function<void(QObject* Sender, std::uint8_t Source, std::int16_t Code, const QString& Msg)>;
