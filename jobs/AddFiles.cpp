// Adding a file to the end of the job list.

#include <QApplication>
#include <QFile>

#include "app/Messages.h"
#include "app/SystemColors.h"
#include "app/_MainUnit.h"
#include "stream/Scanner.h"

void T_MainForm::OpenFile_SBClick(QObject* /*Sender*/) {
  // The table has room for 100 jobs; say so instead of asking for a file that
  // could not be listed.
  if (JobCount >= kMaxJobs) {
    ShowMessage(this, QStringLiteral("The list is full: it holds %1 files, the most it can take.\n"
                                     "Process or remove files before adding more.")
                          .arg(kMaxJobs));
    return;
  }

  const QString P = dialogs::Current().OpenFile(OpenDialog1.Request(this));
  if (P.isEmpty()) return;

  LastDirectory = DirectoryPart(P);
  OpenDialog1.InitialDir = LastDirectory;

  const std::string path = QFile::encodeName(P).toStdString();
  if (!ProbeFile(path, ReferenceHeader)) {
    ShowMessage(this, QStringLiteral("Is Something Strange With This File !"));
    return;
  }

  Panel1->SetFontColor(syscolors::ActiveCaption());
  Panel1->SetCaption(QStringLiteral("Running ..."));
  Panel1->repaint();

  const std::int32_t N = ScanFrames(path, std::string(), 0, 100, true, ReferenceHeader).Count;

  const int a = Files_SG->RowCount() - 2;
  if (a < 0 || a >= kMaxJobs) return;  // the grid and the table disagree: never write past the table
  _FileInfo& job = JobTable[static_cast<std::size_t>(a)];
  job.Path = P;
  job.StartFrame = 0;
  job.StopFrame = N;
  job.TotalFrames = N;
  job.FileSize = ReferenceHeader.FileSize;
  job.Duration =
      QString::fromStdString(FormatDuration(ReferenceHeader.FileSize, HeaderBitRate(ReferenceHeader)));
  CurrentJob = a;
  Files_SG->SetRow(a + 1);
  JobCount = JobCount + 1;
  AppendJobRow();
  SelectCurrentJob();

  Panel1->SetFontColor(syscolors::BtnFace());
  Panel1->SetCaption(QStringLiteral("Idle"));
  Panel1->repaint();
}
