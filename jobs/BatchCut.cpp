// Processing: every job's range, in list order, appended to one output file.

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/Messages.h"
#include "app/SystemColors.h"
#include "app/_MainUnit.h"
#include "jobs/ExistingOutput.h"
#include "gapless/JoinReach.h"
#include "output/OutputWriter.h"
#include "jobs/OtherBitRates.h"
#include "preview/XaudioPlayer.h"
#include "stream/SameStream.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace {

// The path with its folder resolved, for a file that need not exist (yet, or
// any more): two spellings of one place compare equal.
QString ResolvedPath(const QString& path) {
  const QFileInfo info(path);
  const QString folder = info.absoluteDir().canonicalPath();
  return folder.isEmpty() ? info.absoluteFilePath() : folder + QLatin1Char('/') + info.fileName();
}

// Whether writing to `output` would write to `input` (opened as `source`
// when it could be): the same file through any link or spelling, or the same
// place when one of them does not exist.
bool SameFile(const QString& output, const QString& input, const SourceFile& source) {
  struct stat a {};
  struct stat b {};
  if (::stat(QFile::encodeName(output).constData(), &a) == 0) {
    if (source.IsOpen()) return a.st_dev == source.Device() && a.st_ino == source.Inode();
    if (::stat(QFile::encodeName(input).constData(), &b) == 0)
      return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  }
  return !source.IsOpen() && ResolvedPath(output) == ResolvedPath(input);
}

bool IsOutputFailure(ScanStatus s) {
  return s == ScanStatus::OutputCreateFailed || s == ScanStatus::OutputOpenFailed ||
         s == ScanStatus::WriteFailed;
}

}  // namespace

void T_MainForm::StartProcess_SBClick(QObject* /*Sender*/) {
  // The range being typed is the one the user means to cut.
  CommitTypedFrame();
  XaudioPlayer->Stop();
  ProcessAllJobs();
}

void T_MainForm::ProcessAllJobs() {
  if (JobCount < 1) return;

  const QString output = dialogs::Current().SaveFile(SaveDialog.Request(this));
  if (output.isEmpty()) return;

  // Every input is opened once, here, for all that the run reads of it: the
  // files checked below are the files that will be cut.
  std::vector<SourceFile> sources(static_cast<std::size_t>(JobCount));
  for (int i = 0; i < JobCount; ++i)
    sources[static_cast<std::size_t>(i)].Open(QFile::encodeName(JobTable[static_cast<std::size_t>(i)].Path).toStdString());

  // Appending a file to itself would read what is being written.
  for (int i = 0; i < JobCount; ++i) {
    if (SameFile(output, JobTable[static_cast<std::size_t>(i)].Path, sources[static_cast<std::size_t>(i)])) {
      ShowMessage(
          this,
          QStringLiteral("The output file %1 is one of the files in the list.\nChoose another output file.")
              .arg(output),
          dialogs::Icon::Warning);
      return;
    }
  }

  // An output that holds something: added to, or replaced, as the user says.
  const dialogs::Result existing = AskAboutExistingOutput(this, output);
  if (existing == dialogs::Result::Cancel) return;

  // Frames of another bit rate: the user chooses, once, before anything is written.
  ScanOptions cutOptions;
  cutOptions.EndAfterRange = true;  // the count goes unused here, so the scan ends with the range
  const dialogs::Result otherBitRates = AskToCopyOtherBitRates(this, JobTable.data(), JobCount);
  if (otherBitRates == dialogs::Result::Cancel) return;
  cutOptions.AnyBitRate = otherBitRates == dialogs::Result::Yes;

  // Locked for the whole run; checked before anything is appended: an output
  // that ends with a tag, or with bytes that are not whole frames, is refused.
  const std::string outputPath = QFile::encodeName(output).toStdString();
  OutputWriter writer;
  OutputSettings outputSettings;
  outputSettings.Existing =
      existing == dialogs::Result::Replace ? ExistingOutput::Overwrite : ExistingOutput::Append;
  outputSettings.NoWait = true;  // the window cannot wait: it serves no input meanwhile
  // Every bit rate copied into a new output: players need a Xing frame to
  // tell its length, as kerfwell-cut --any-bitrate gives it.
  outputSettings.ReserveTagFrame = cutOptions.AnyBitRate;
  // Every bit rate allowed: a frame before a junction may take a higher one
  // to give the next file's reservoir room.
  outputSettings.WidenAtJunctions = cutOptions.AnyBitRate;
  OutputOpened opened;
  std::string openMessage;
  const OutputStatus openStatus = writer.Open(outputPath, outputSettings, opened, openMessage);
  if (openStatus == OutputStatus::Busy) {
    ShowMessage(this,
                QStringLiteral("The output file %1 is being written by another program.\n"
                               "Try again when it has finished.")
                    .arg(output),
                dialogs::Icon::Warning);
    return;
  }
  if (openStatus != OutputStatus::Ok) {
    ShowMessage(this,
                QStringLiteral("Nothing was written to the output file.\n") + QString::fromStdString(openMessage),
                dialogs::Icon::Warning);
    return;
  }

  Panel1->SetFontColor(syscolors::ActiveCaption());
  Panel1->SetCaption(QStringLiteral("Processing ..."));
  Panel1->repaint();
  // Disabling the grid would hand its focus to the start box, whose enter and
  // exit handlers would then run for a box the user never touched.
  // The window's focus widget, not hasFocus(): right after the question box
  // the window may not be active again yet.
  const bool gridHadFocus = focusWidget() == Files_SG;
  if (gridHadFocus) Files_SG->clearFocus();
  Files_SG->setEnabled(false);

  const bool outputWasEmpty = opened.New;
  QStringList passedOver;
  QStringList leftOut;
  QStringList cutShort;
  QStringList muted;
  QString outputFailure;
  int firstWriter = -1;
  int lastWriter = -1;
  double seconds = 0;  // of the frames the run added
  Processing = true;
  for (int i = 0; i < JobCount; ++i) {
    SourceFile& source = sources[static_cast<std::size_t>(i)];
    // Moving the row loads the job too: both loads probe the opened file.
    CurrentSource = &source;
    Files_SG->SetRow(i + 1);
    SelectCurrentJob();
    CurrentSource = nullptr;
    Panel29->SetFontColor(syscolors::ActiveCaption());
    Panel29->SetCaption(QStringLiteral("%1 of %2 Files").arg(i + 1).arg(JobCount));
    RepaintWholeWindow();

    const _FileInfo& job = JobTable[static_cast<std::size_t>(i)];
    // A file that no longer starts like an MPEG audio stream would be cut
    // against another file's frame length; pass it over instead.
    FrameHeader probe;
    if (!ProbeFile(source, probe)) {
      passedOver
          << QStringLiteral("%1 (no MPEG audio frame found: missing, unreadable or changed)").arg(job.Path);
      ShowTotalProgress(i + 1, JobCount);
      continue;
    }
    // Frames of another stream would make the output a mix no decoder
    // plays as one.
    if (const std::string differs = writer.JoinRefusal(HeaderBytesOf(probe).data()); !differs.empty()) {
      passedOver << QStringLiteral("%1 (its %2 differs from that of the frames before it in the output)")
                        .arg(job.Path, QString::fromStdString(differs));
      ShowTotalProgress(i + 1, JobCount);
      continue;
    }
    ScanOptions options = cutOptions;
    options.Sink = &writer;
    writer.BeginJob();
    if (writer.AudioFrames() > 0) {
      // The bytes before the range that its first frames take come along.
      CopyStart copyStart;
      std::string error;
      if (!MeasureCopyStart(source, probe, job.StartFrame, copyStart, error)) {
        passedOver << QStringLiteral("%1 (%2)").arg(job.Path, QString::fromStdString(error));
        ShowTotalProgress(i + 1, JobCount);
        continue;
      }
      options.Resume = copyStart.Resume;
      writer.JoinJob(std::move(copyStart.Reservoir));
    }
    const ScanResult result =
        ScanFrames(source, outputPath, job.StartFrame, job.StopFrame, false, ReferenceHeader,
                   [this](std::int32_t done, std::int32_t total) { ShowJobProgress(done, total); }, options);
    const OutputJob wrote = writer.EndJob();
    // Only its Xing/Info frame: no audio of the job is in the output.
    std::string dropMessage;
    if (wrote.Frames > 0 && wrote.AudioFrames() == 0) {
      if (writer.DropJob(dropMessage)) {
        passedOver << QStringLiteral("%1 (no audio frame of its range reached the output)").arg(job.Path);
      } else {
        cutShort << QStringLiteral("%1 (%2)").arg(job.Path, QString::fromStdString(dropMessage));
      }
    }
    if (wrote.AudioFrames() > 0) {
      const int rate = SampleRateTable[probe.VersionId][probe.SampleRateIndex];
      const int samples = probe.Layer == 3 ? 384 : probe.Layer == 1 && probe.VersionId != 3 ? 576 : 1152;
      if (rate > 0) seconds += static_cast<double>(wrote.AudioFrames()) * samples / rate;
      if (firstWriter < 0) firstWriter = i;
      lastWriter = i;
    }
    if (wrote.MutedFrames > 0) {
      muted << QStringLiteral("%1: %2 frames at its start decode as silence").arg(job.Path).arg(wrote.MutedFrames);
    }
    if (result.LeftOut > 0) {
      leftOut << QStringLiteral(
                     "%1: %2 of %3 frames of the range were not copied: their %4 differs "
                     "from the first frame's")
                     .arg(job.Path)
                     .arg(result.LeftOut)
                     .arg(result.LeftOut + result.Written)
                     .arg(QString::fromStdString(LeftOutReason(HeaderBytesOf(ReferenceHeader).data(), result.LeftOutHeader)));
    }
    if (IsOutputFailure(result.Status)) {
      outputFailure = QStringLiteral("Processing stopped: the output could not be written.\n") +
                      QString::fromStdString(result.Message);
      break;
    }
    if (!result.Ok()) {
      const QString why = QString::fromStdString(result.Message);
      if (result.Written > 0) {
        cutShort << QStringLiteral("%1 (%2): %3 of its frames are in the output")
                        .arg(job.Path, why)
                        .arg(result.Written);
      } else {
        passedOver << QStringLiteral("%1 (%2)").arg(job.Path, why);
      }
    }
    ShowTotalProgress(i + 1, JobCount);
  }

  Processing = false;
  QString saved;

  // An Info frame copied from the front of a file would tell players that
  // file's length: it is made to describe the output, from the counts kept
  // while the frames were written.
  // A run that could not write its output keeps nothing of it: the file is
  // left as it was before the run.
  if (!outputFailure.isEmpty()) {
    writer.Discard();
    outputFailure += outputWasEmpty && !opened.Existed ? QStringLiteral("\nNo output file was made.")
                                                       : QStringLiteral("\nThe output file was left as it was.");
  } else if (firstWriter >= 0) {
    const _FileInfo& first = JobTable[static_cast<std::size_t>(firstWriter)];
    const _FileInfo& last = JobTable[static_cast<std::size_t>(lastWriter)];
    FinishSettings finish;
    finish.KeepEndPadding = outputWasEmpty && first.StartFrame == 0 && last.Path == first.Path &&
                            last.StopFrame >= last.TotalFrames - 1;
    std::string message;
    if (!writer.Finish(finish, message)) {
      writer.Discard();
      outputFailure = QStringLiteral("The output's length could not be written into its first frame: ") +
                      QString::fromStdString(message) + QStringLiteral("\nThe output file was left as it was.");
    } else if (!writer.Commit(message)) {
      outputFailure = QString::fromStdString(message) + QStringLiteral("\nThe output file was left as it was.");
    } else {
      saved = SavedText(writer.AddedAudioFrames(), seconds, output);
    }
  } else {
    // No audio frame reached it: a file the run made is removed again.
    writer.Discard();
  }
  if (opened.CutBackFrom >= 0) outputFailure += QStringLiteral("\n") + QString::fromStdString(openMessage);

  Files_SG->setEnabled(true);
  if (gridHadFocus) Files_SG->setFocus();
  Panel29->SetFontColor(syscolors::BtnFace());
  Panel1->SetFontColor(syscolors::BtnFace());
  Panel1->SetCaption(QStringLiteral("Idle"));
  ShowJobProgress(0, 10);
  ShowTotalProgress(0, 10);
  SelectCurrentJob();
  // What the run wrote, where the user looks after it.
  if (!saved.isEmpty()) Hint_Panel->SetCaption(saved);

  // One message after the run, so that a partial result is never taken for a
  // complete one.
  QStringList sections;
  if (!outputFailure.isEmpty()) sections << outputFailure.trimmed();
  if (!cutShort.isEmpty())
    sections << QStringLiteral("These files could not be read to the end of their range:\n") +
                    cutShort.join(QLatin1Char('\n'));
  if (!leftOut.isEmpty())
    sections << QStringLiteral("Some frames were left out:\n") + leftOut.join(QLatin1Char('\n'));
  if (!muted.isEmpty())
    sections << QStringLiteral("The bit reservoir of these files found no room at their junction "
                               "(answering Yes to other bit rates gives it room):\n") +
                    muted.join(QLatin1Char('\n'));
  ReportBatchProblems(passedOver, sections.join(QStringLiteral("\n\n")));
}

void T_MainForm::ReportBatchProblems(const QStringList& passedOver, const QString& otherProblems) {
  if (passedOver.isEmpty() && otherProblems.isEmpty()) return;
  QString text = otherProblems;
  if (!passedOver.isEmpty()) {
    if (!text.isEmpty()) text += QStringLiteral("\n\n");
    text += QStringLiteral("These files were passed over, nothing of them is in the output:\n") +
            passedOver.join(QLatin1Char('\n'));
  }
  ShowMessage(this, text.trimmed(), dialogs::Icon::Warning);
}
