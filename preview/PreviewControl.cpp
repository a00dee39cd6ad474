// The transport controls and the player's notifications: preview the current
// job from its start frame, follow its position, stop at its stop frame and go
// on with the next job.

#include <QApplication>
#include <algorithm>

#include "app/Messages.h"
#include "app/SystemColors.h"
#include "app/_MainUnit.h"
#include "preview/TimeText.h"
#include "preview/XaudioPlayer.h"
#include "xaudio/xaudio.h"

void T_MainForm::InitAudioOutput() {
  XaudioPlayer->OutputModuleRegister(QStringLiteral("dsound_output_module_register@xa_dsound_output.dll"));
  XaudioPlayer->SetPlayerEnvironmentInteger(QStringLiteral("OUTPUT.DIRECTSOUND.WINDOW"),
                                            static_cast<std::int32_t>(winId()));
  XaudioPlayer->SetOutputName(QStringLiteral("/dev/dsound/0"));
}

void T_MainForm::Play_SBClick(QObject* /*Sender*/) {
  if (JobCount < 1) return;
  // A stop typed below the start would never be met.
  CommitTypedFrame();
  const _FileInfo& job = JobTable[static_cast<std::size_t>(CurrentJob)];
  XaudioPlayer->InputSeek(job.StartFrame, job.TotalFrames);
  XaudioPlayer->Play();
}

void T_MainForm::Stop_SBClick(QObject* /*Sender*/) { XaudioPlayer->Stop(); }

void T_MainForm::Prev_SBClick(QObject* /*Sender*/) { SelectPreviousJob(); }

void T_MainForm::Next_SBClick(QObject* /*Sender*/) { SelectNextJob(false); }

void T_MainForm::SelectPreviousJob() {
  const int R = Files_SG->Row();
  if (JobCount >= 1 && R > 1) {
    Files_SG->SetRow(R - 1);
    SelectCurrentJob();
  }
}

void T_MainForm::SelectNextJob(bool playAfter) {
  const int R = Files_SG->Row();
  if (JobCount >= 1 && R < JobCount) {
    XaudioPlayer->Stop();
    Files_SG->SetRow(R + 1);
    SelectCurrentJob();
    if (playAfter) Play_SBClick(Play_SB);
  }
}

void T_MainForm::TrackBarChange(QObject* /*Sender*/) {
  XaudioPlayer->InputSeek(TrackBar->Position(), TrackBar->Max());
  Panel36->SetCaption(PositionText(TrackBar->Position(), TrackBar->Max()));
}

void T_MainForm::SetStart_SBClick(QObject* /*Sender*/) {
  if (JobCount < 1) return;
  StartFrame_SE->SetValue(TrackBar->Position());
  StartFrame_SEChange(StartFrame_SE);
}

void T_MainForm::SetStop_SBClick(QObject* /*Sender*/) {
  if (JobCount < 1) return;
  StopFrame_SE->SetValue(TrackBar->Position());
  StopFrame_SEChange(StopFrame_SE);
}

void T_MainForm::XaudioPlayerNotifyInputDuration(QObject* /*Sender*/, std::uint32_t Duration) {
  const std::uint32_t hours = Duration / 3600;
  const std::uint32_t minutes = (Duration % 3600) / 60;
  const std::uint32_t seconds = Duration % 60;
  Panel35->SetCaption(TimeText(hours, minutes, seconds));
  StreamSeconds = static_cast<std::int32_t>(hours * 3600 + minutes * 60 + seconds);
}

void T_MainForm::XaudioPlayerNotifyInputTimecode(QObject* /*Sender*/, std::uint8_t Hours,
                                                 std::uint8_t Minutes, std::uint8_t Seconds,
                                                 std::uint8_t /*Fractions*/) {
  Panel33->SetCaption(TimeText(Hours, Minutes, Seconds));
  const std::int32_t remaining = StreamSeconds - (Hours * 3600 + Minutes * 60 + Seconds);
  // C++ division truncates toward zero, so a negative remaining time gives
  // parts that are zero or negative.
  Panel35->SetCaption(TimeText(remaining / 3600, (remaining % 3600) / 60, (remaining % 3600) % 60));
}

void T_MainForm::XaudioPlayerNotifyInputPosition(QObject* /*Sender*/, std::uint32_t Offset,
                                                 std::uint32_t Range) {
  const std::int32_t stopFrame =
      JobTable[static_cast<std::size_t>(std::clamp(CurrentJob, 0, kMaxJobs - 1))].StopFrame;
  if (Offset == static_cast<std::uint32_t>(stopFrame)) {
    XaudioPlayer->Stop();
    SelectNextJob(true);
  }
  Panel36->SetCaption(PositionText(Offset, Range));
  const std::int64_t position = std::clamp<std::int64_t>(Offset, TrackBar->Min(), TrackBar->Max());
  TrackBar->SetPosition(static_cast<std::int32_t>(position));
}

void T_MainForm::XaudioPlayerNotifyPlayerState(QObject* /*Sender*/, std::int32_t State) {
  // Only state 1 is playing, for the Space key; the panel keeps its rules.
  PlayerPlaying = State == XA_PLAYER_STATE_PLAYING;
  switch (State) {
    case XA_PLAYER_STATE_STOPPED:
      Panel1->SetCaption(QStringLiteral("Idle"));
      Panel1->SetFontColor(syscolors::BtnFace());
      break;
    case XA_PLAYER_STATE_PLAYING:
      Panel1->SetCaption(QStringLiteral("PLAYING"));
      Panel1->SetFontColor(syscolors::ActiveCaption());
      break;
    case XA_PLAYER_STATE_EOF:
      // Back to the very beginning of the input, not to the job's start frame.
      XaudioPlayer->InputSeek(0, 1);
      break;
    default:
      break;
  }
}

void T_MainForm::XaudioPlayerNotifyNack(QObject* /*Sender*/, std::uint8_t Command, std::int16_t Code) {
  QString text;
  if (Command == XA_MSG_COMMAND_PLAY) {
    text = QStringLiteral("Player Error : Cannot Play Stream - ");
  } else if (Command == XA_MSG_COMMAND_INPUT_OPEN) {
    text = QStringLiteral("Player Error : Cannot Open Input - ");
  } else {
    return;
  }
  ShowMessage(this, text + XaudioPlayer->ErrorString(static_cast<int>(Code)));
}
