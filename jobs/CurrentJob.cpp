// The current job: loading the selected row everywhere it shows, moving the
// selection, and the two list commands that ask first.

#include <QFile>

#include "app/_MainUnit.h"
#include "preview/XaudioPlayer.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace {

dialogs::Result AskToRemove(QWidget* parent, const QString& text) {
  dialogs::MessageBoxRequest r;
  r.parent = parent;
  r.text = text;
  r.caption = QStringLiteral("Are You Shure ... ?");
  r.buttons = dialogs::Buttons::YesNo;
  r.icon = dialogs::Icon::Warning;
  r.defaultButton = dialogs::Result::No;
  return dialogs::Current().MessageBox(r);
}

}  // namespace

void T_MainForm::SelectCurrentJob() {
  // A value still being typed belongs to the job that is current now.
  CommitTypedFrame();
  if (JobCount == 0) return;
  const int R = Files_SG->Row();
  if (R >= Files_SG->RowCount() - 1 || R < 1) return;
  CurrentJob = R - 1;
  Panel29->SetCaption(QStringLiteral("1 of %1 Files").arg(JobCount));

  // Read before any control is touched: the change events below write into the entry.
  const _FileInfo& job = JobTable[static_cast<std::size_t>(CurrentJob)];
  const QString path = job.Path;
  const std::int32_t s = job.StartFrame;
  const std::int32_t e = job.StopFrame;
  const std::int32_t n = job.TotalFrames;

  Panel2->SetCaption(FileNamePart(path));
  StartFrame_SE->SetMaxValue(n);
  StopFrame_SE->SetMaxValue(n);
  StartFrame_SE->SetValue(s);
  StopFrame_SE->SetValue(e);
  // During a run the whole window is painted once per job right after this
  // (an early paint here would also show the counter's "1 of" text), and the
  // player is told only of the job that is current when the run ends:
  // opening each file on the way would read it a second time, in the player,
  // while it is cut.
  if (!Processing) {
    StartFrame_SE->repaint();
    StopFrame_SE->repaint();
  }
  TrackBar->SetMax(n);
  TrackBar->SetPosition(s);

  if (!Processing) {
    XaudioPlayer->InputOpen(path);
    XaudioPlayer->SetInputPositionRange(n);
    XaudioPlayer->InputSeek(s, n);
  }

  const std::string file = QFile::encodeName(path).toStdString();
  const bool probed = CurrentSource != nullptr && CurrentSource->Path() == file
                          ? ProbeFile(*CurrentSource, ReferenceHeader)
                          : ProbeFile(file, ReferenceHeader);
  // A file that changed or vanished since it was added shows no stream
  // information rather than another file's, or values read past the tables.
  const StreamInfoTexts info = probed ? DescribeHeader(ReferenceHeader) : StreamInfoTexts{};
  Panel16->SetCaption(QString::fromStdString(info.Version));
  Panel18->SetCaption(QString::fromStdString(info.Layer));
  // A stream of several bit rates shows their average: its first frame's
  // rate (often that of its Xing frame) says little about the rest.
  const std::int32_t variableKbps = JobTable[static_cast<std::size_t>(CurrentJob)].VariableKbps;
  Panel20->SetCaption(probed && variableKbps > 0 ? QStringLiteral("%1 kbps VBR").arg(variableKbps)
                                                 : QString::fromStdString(info.BitRate));
  Panel26->SetCaption(QString::fromStdString(info.SampleRate));
  Panel22->SetCaption(QString::fromStdString(info.Mode));
  Panel24->SetCaption(QString::fromStdString(info.Copyright));
  Panel32->SetCaption(QString::fromStdString(info.Original));
  Panel28->SetCaption(QString::number(JobTable[static_cast<std::size_t>(CurrentJob)].TotalFrames));
}

void T_MainForm::Files_SGClick(QObject* /*Sender*/) { SelectCurrentJob(); }

void T_MainForm::Files_SGKeyUp(QObject* /*Sender*/, int& Key, Qt::KeyboardModifiers /*Shift*/) {
  if (Key >= vk::Left && Key <= vk::Down) {
    SelectCurrentJob();
  } else if (Key == vk::Delete) {
    Delete1Click(Files_SG);
  }
}

void T_MainForm::Files_SGMouseUp(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void T_MainForm::Files_SGSelectCell(QObject*, int, int, bool&) {}

void T_MainForm::Delete1Click(QObject* /*Sender*/) {
  if (JobCount < 1) return;
  const int R = Files_SG->Row();
  // The spare row holds no job: there is nothing to ask about.
  if (R < 1 || R > JobCount) return;
  if (AskToRemove(this, QStringLiteral("... to Remove this File from your 'Job List' ?")) ==
      dialogs::Result::Yes) {
    DeleteJob(R - 1);
  }
}

void T_MainForm::ClearList1Click(QObject* /*Sender*/) {
  if (JobCount < 1) return;
  if (AskToRemove(this, QStringLiteral("... to Remove ALL Files from your 'Job List' ?")) ==
      dialogs::Result::Yes) {
    ClearJobList();
  }
}
