// Processing: every job's range, in list order, appended to one output file.

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "app/Messages.h"
#include "app/SystemColors.h"
#include "app/_MainUnit.h"
#include "preview/XaudioPlayer.h"
#include "stream/Scanner.h"

namespace {

bool SameFile(const QString& a, const QString& b) {
  const QFileInfo fa(a);
  const QFileInfo fb(b);
  if (!fa.exists() || !fb.exists()) return false;
  return fa.canonicalFilePath() == fb.canonicalFilePath();
}

bool IsOutputFailure(ScanStatus s) {
  return s == ScanStatus::OutputCreateFailed || s == ScanStatus::OutputOpenFailed ||
         s == ScanStatus::WriteFailed;
}

}  // namespace

void T_MainForm::StartProcess_SBClick(QObject* /*Sender*/) {
  XaudioPlayer->Stop();
  ProcessAllJobs();
}

void T_MainForm::ProcessAllJobs() {
  if (JobCount < 1) return;

  const QString output = dialogs::Current().SaveFile(SaveDialog.Request(this));
  if (output.isEmpty()) return;

  // Appending a file to itself would read what is being written.
  for (int i = 0; i < JobCount; ++i) {
    if (SameFile(output, JobTable[static_cast<std::size_t>(i)].Path)) {
      ShowMessage(
          this,
          QStringLiteral("The output file %1 is one of the files in the list.\nChoose another output file.")
              .arg(output),
          dialogs::Icon::Warning);
      return;
    }
  }

  Panel1->SetFontColor(syscolors::ActiveCaption());
  Panel1->SetCaption(QStringLiteral("Processing ..."));
  Panel1->repaint();
  Files_SG->setEnabled(false);

  const std::string outputPath = QFile::encodeName(output).toStdString();
  QStringList passedOver;
  QString stopReason;
  for (int i = 0; i < JobCount; ++i) {
    Files_SG->SetRow(i + 1);
    SelectCurrentJob();
    Panel29->SetFontColor(syscolors::ActiveCaption());
    Panel29->SetCaption(QStringLiteral("%1 of %2 Files").arg(i + 1).arg(JobCount));
    repaint();

    const _FileInfo& job = JobTable[static_cast<std::size_t>(i)];
    const std::string inputPath = QFile::encodeName(job.Path).toStdString();
    // A file that no longer starts like an MPEG audio stream would be cut
    // against another file's frame length; pass it over instead.
    FrameHeader probe;
    if (!ProbeFile(inputPath, probe)) {
      passedOver
          << QStringLiteral("%1 (no MPEG audio frame found: missing, unreadable or changed)").arg(job.Path);
      ShowTotalProgress(i + 1, JobCount);
      continue;
    }
    const ScanResult result =
        ScanFrames(inputPath, outputPath, job.StartFrame, job.StopFrame, false, ReferenceHeader,
                   [this](std::int32_t done, std::int32_t total) { ShowJobProgress(done, total); });
    if (IsOutputFailure(result.Status)) {
      stopReason = QString::fromStdString(result.Message);
      break;
    }
    if (!result.Ok())
      passedOver << QStringLiteral("%1 (%2)").arg(job.Path, QString::fromStdString(result.Message));
    ShowTotalProgress(i + 1, JobCount);
  }

  Files_SG->setEnabled(true);
  Panel29->SetFontColor(syscolors::BtnFace());
  Panel1->SetFontColor(syscolors::BtnFace());
  Panel1->SetCaption(QStringLiteral("Idle"));
  ShowJobProgress(0, 10);
  ShowTotalProgress(0, 10);
  SelectCurrentJob();

  ReportBatchProblems(passedOver, stopReason);
}

void T_MainForm::ReportBatchProblems(const QStringList& passedOver, const QString& stopReason) {
  if (passedOver.isEmpty() && stopReason.isEmpty()) return;
  QString text;
  if (!stopReason.isEmpty()) {
    text = QStringLiteral("Processing stopped: the output could not be written.\n%1\n").arg(stopReason);
  }
  if (!passedOver.isEmpty()) {
    if (!text.isEmpty()) text += QLatin1Char('\n');
    text += QStringLiteral("These files were passed over, nothing of them is in the output:\n") +
            passedOver.join(QLatin1Char('\n'));
  }
  ShowMessage(this, text.trimmed(), dialogs::Icon::Warning);
}
