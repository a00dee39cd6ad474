#pragma once

// The main window: every control of its layout, its state, and the
// declarations of all its handlers and operations. The member functions are
// defined in the folder of their subsystem:
//   app/      layout, FormCreate, close and resize, the hint line
//   jobs/     job table and grid, adding files, current job and frame range,
//             batch cutting and progress
//   preview/  the transport controls and the player's notification handlers

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

#include "jobs/FileInfo.h"
#include "platform/Dialogs.h"
#include "stream/FrameHeader.h"
#include "widgets/Panel.h"
#include "widgets/SpeedButton.h"
#include "widgets/SpinEdit.h"
#include "widgets/StaticText.h"
#include "widgets/StringGrid.h"
#include "widgets/TrackBar.h"

class QMenu;
class QAction;
class TXaudioPlayer;
class SourceFile;

// The settings of a file-open or file-save dialog of the layout.
struct TFileDialogSettings {
  QString Title;
  QString Filter;
  QString DefaultExt;
  QString InitialDir;
  bool ConfirmOverwrite = false;

  dialogs::FileDialogRequest Request(QWidget* parent) const {
    dialogs::FileDialogRequest r;
    r.parent = parent;
    r.title = Title;
    r.filter = Filter;
    r.defaultExt = DefaultExt;
    r.initialDir = InitialDir;
    r.confirmOverwrite = ConfirmOverwrite;
    return r;
  }
};

class T_MainForm : public QWidget {
  Q_OBJECT
 public:
  explicit T_MainForm(QWidget* parent = nullptr);
  ~T_MainForm() override;

  // ---- Components of the layout, in declaration order ----
  TFileDialogSettings OpenDialog1;
  TPanel* Panel8 = nullptr;
  TPanel* Hint_Panel = nullptr;
  TPanel* Panel10 = nullptr;
  TPanel* Panel11 = nullptr;
  TStringGrid* Files_SG = nullptr;
  TPanel* Panel12 = nullptr;
  TPanel* Panel3 = nullptr;
  TSpinEdit* StartFrame_SE = nullptr;
  TPanel* Panel5 = nullptr;
  TPanel* Panel4 = nullptr;
  TSpinEdit* StopFrame_SE = nullptr;
  TPanel* Panel6 = nullptr;
  TPanel* Panel1 = nullptr;
  TPanel* Panel7 = nullptr;
  TPanel* Panel13 = nullptr;
  TPanel* Panel15 = nullptr;
  TPanel* Panel16 = nullptr;
  TPanel* Panel17 = nullptr;
  TPanel* Panel18 = nullptr;
  TPanel* Panel19 = nullptr;
  TPanel* Panel20 = nullptr;
  TPanel* Panel21 = nullptr;
  TPanel* Panel22 = nullptr;
  TPanel* Panel23 = nullptr;
  TPanel* Panel24 = nullptr;
  TPanel* Panel25 = nullptr;
  TPanel* Panel26 = nullptr;
  TPanel* Panel27 = nullptr;
  TPanel* Panel28 = nullptr;
  TPanel* Panel31 = nullptr;
  TPanel* Panel32 = nullptr;
  TPanel* Panel2 = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* Delete1 = nullptr;
  QAction* ClearList1 = nullptr;
  TFileDialogSettings SaveDialog;
  QAction* Open1 = nullptr;
  TPanel* Panel29 = nullptr;
  TPanel* Panel9 = nullptr;
  TPanel* Panel30 = nullptr;
  TXaudioPlayer* XaudioPlayer = nullptr;
  TTrackBar* TrackBar = nullptr;
  TSpeedButton* StartProcess_SB = nullptr;
  TPanel* Panel33 = nullptr;
  TStaticText* StaticText1 = nullptr;
  TPanel* Panel35 = nullptr;
  TStaticText* StaticText2 = nullptr;
  TStaticText* StaticText3 = nullptr;
  TPanel* Panel36 = nullptr;
  TPanel* Panel14 = nullptr;
  TSpeedButton* OpenFile_SB = nullptr;
  TSpeedButton* Play_SB = nullptr;
  TSpeedButton* Stop_SB = nullptr;
  TSpeedButton* SetStop_SB = nullptr;
  TSpeedButton* SetStart_SB = nullptr;
  TSpeedButton* Prev_SB = nullptr;
  TSpeedButton* Next_SB = nullptr;
  TPanel* TotalJobs_Panel = nullptr;
  TPanel* CurrentJob_Panel = nullptr;
  TPanel* ProcentCurrentJob_Panel = nullptr;
  TPanel* ProcentTotalJobs_Panel = nullptr;
  TPanel* Panel34 = nullptr;

  // ---- State of the window ----
  FrameHeader ReferenceHeader;
  std::array<_FileInfo, kMaxJobs> JobTable;
  std::int32_t CurrentJob = 0;
  std::int32_t JobCount = 0;
  std::int32_t SavedSpinValue = 0;
  std::int32_t StreamSeconds = 0;
  QString LastDirectory;
  // The range box whose typed value has not been committed yet (see
  // jobs/FrameRange.cpp), or none.
  TSpinEdit* TypedFrameBox = nullptr;
  // A batch run is cutting the list (jobs/BatchCut.cpp).
  bool Processing = false;
  // The current job's input while it is being added or cut, opened once for
  // all that is read of it; SelectCurrentJob probes it instead of its path.
  SourceFile* CurrentSource = nullptr;
  // The player last said it is playing (state 1), for the Space key.
  bool PlayerPlaying = false;
  // What each progress bar last showed, and the span of counts that would
  // show the same (jobs/Progress.cpp).
  struct BarShown {
    std::int32_t Total = -1;
    int OuterWidth = -1;
    int Width = -1;
    const QChar* Caption = nullptr;
    std::int32_t From = 0;   // the first count that shows it
    std::int32_t Until = 0;  // the first count after it that shows another
  };
  BarShown JobBarShown;
  BarShown TotalBarShown;

  // ---- Application shell (app/) ----
  void FormCreate(QObject* Sender);
  bool FormCloseQuery(QObject* Sender);
  void FormResize(QObject* Sender);
  // Paints every control of the window at once, without serving any event:
  // inside a long handler, the one way to show again what a closed dialog covered.
  void RepaintWholeWindow();

  // Hint line (app/HintLine.cpp)
  void FormMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Files_SGMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel2MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void StartFrame_SEMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void StopFrame_SEMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel29MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel9MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel1MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel15MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel17MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel19MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel25MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel21MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel23MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel31MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel27MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void ProcentCurrentJob_PanelMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void CurrentJob_PanelMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void ProcentTotalJobs_PanelMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void TotalJobs_PanelMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel33MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel35MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Panel36MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void SetStart_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void SetStop_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Prev_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Stop_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Play_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void Next_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void OpenFile_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
  void StartProcess_SBMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);

  // ---- Job table and grid (jobs/JobTable.cpp) ----
  void ResetJobTable();
  void AppendJobRow();
  void RebuildJobGrid();
  void DeleteJob(std::int32_t index);
  void ClearJobList();

  // ---- Adding files (jobs/AddFiles.cpp) ----
  void OpenFile_SBClick(QObject* Sender);
  // Adds one file as the open button does once a file is chosen; a file
  // without a valid frame gets `refusal` in a message box. True when added.
  bool AddFile(const QString& path, const QString& refusal);
  // Adds files dropped on the window or named on the command line, in order:
  // a folder stands for its MPEG audio files; a full list refuses the rest.
  void AddFiles(const QStringList& paths);

  // ---- Current job and frame range (jobs/CurrentJob.cpp, jobs/FrameRange.cpp) ----
  void SelectCurrentJob();
  void Files_SGClick(QObject* Sender);
  void Files_SGKeyUp(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
  void Files_SGMouseUp(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
  void Files_SGSelectCell(QObject* Sender, int ACol, int ARow, bool& CanSelect);
  void StartFrame_SEEnter(QObject* Sender);
  void StartFrame_SEExit(QObject* Sender);
  void StartFrame_SEChange(QObject* Sender);
  void StopFrame_SEEnter(QObject* Sender);
  void StopFrame_SEExit(QObject* Sender);
  void StopFrame_SEChange(QObject* Sender);
  // Runs the push of a value typed into a range box and not yet committed.
  void CommitTypedFrame();
  void Delete1Click(QObject* Sender);
  void ClearList1Click(QObject* Sender);

  // ---- Batch cutting and progress (jobs/BatchCut.cpp, jobs/Progress.cpp) ----
  void StartProcess_SBClick(QObject* Sender);
  void ProcessAllJobs();
  void ShowJobProgress(std::int32_t done, std::int32_t total);
  void ShowTotalProgress(std::int32_t done, std::int32_t total);

  // ---- Preview control (preview/PreviewControl.cpp) ----
  void InitAudioOutput();
  void Play_SBClick(QObject* Sender);
  void Stop_SBClick(QObject* Sender);
  void Prev_SBClick(QObject* Sender);
  void Next_SBClick(QObject* Sender);
  void SelectPreviousJob();
  void SelectNextJob(bool playAfter);
  void TrackBarChange(QObject* Sender);
  void SetStart_SBClick(QObject* Sender);
  void SetStop_SBClick(QObject* Sender);
  void XaudioPlayerNotifyInputDuration(QObject* Sender, std::uint32_t Duration);
  void XaudioPlayerNotifyInputTimecode(QObject* Sender, std::uint8_t Hours, std::uint8_t Minutes,
                                       std::uint8_t Seconds, std::uint8_t Fractions);
  void XaudioPlayerNotifyInputPosition(QObject* Sender, std::uint32_t Offset, std::uint32_t Range);
  void XaudioPlayerNotifyPlayerState(QObject* Sender, std::int32_t State);
  void XaudioPlayerNotifyNack(QObject* Sender, std::uint8_t Command, std::int16_t Code);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  // Files dragged from the desktop (app/FileDrops.cpp).
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  // Builds every control of the layout and binds its events (app/Layout.cpp).
  void CreateLayout();
  // Space, I, O, Page Up, Page Down and Ctrl+O (app/Keys.cpp).
  void CreateShortcuts();
  void CreateStreamInfoRow(TPanel*& label, TPanel*& value, int top, const QString& caption, bool bold,
                           void (T_MainForm::*handler)(QObject*, Qt::KeyboardModifiers, int, int));
  // The message of a run that did not cut everything it was asked to.
  void ReportBatchProblems(const QStringList& passedOver, const QString& otherProblems);
};
