// Adding files to the end of the job list: one chosen in the open dialog, or
// many at once, dropped onto the window or named on the command line.

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/Messages.h"
#include "app/SystemColors.h"
#include "app/_MainUnit.h"
#include "jobs/AddFiles.h"
#include "jobs/StreamSurvey.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace {

void ShowListFull(QWidget* parent) {
  ShowMessage(parent, QStringLiteral("The list is full: it holds %1 files, the most it can take.\n"
                                     "Process or remove files before adding more.")
                          .arg(kMaxJobs));
}

// The duration text of a new job. A stream of several bit rates, or one whose
// Xing/Info frame counts it, is timed by its frames: the first frame's bit
// rate (often the tag frame's own) says nothing about the rest.
QString DurationText(const FrameHeader& reference, const StreamSurvey& survey) {
  if (!survey.DurationFromFrames())
    return QString::fromStdString(FormatDuration(reference.FileSize, HeaderBitRate(reference)));
  // FormatDuration tells the time of a size at a bit rate: at 1 kbps, 125
  // bytes are one second.
  return QString::fromStdString(FormatDuration(survey.Seconds() * 125, 1));
}

}  // namespace

void T_MainForm::OpenFile_SBClick(QObject* /*Sender*/) {
  // The table has room for 100 jobs; say so instead of asking for a file that
  // could not be listed.
  if (JobCount >= kMaxJobs) {
    ShowListFull(this);
    return;
  }

  const QString P = dialogs::Current().OpenFile(OpenDialog1.Request(this));
  if (P.isEmpty()) return;
  AddFile(P, QStringLiteral("Is Something Strange With This File !"));
}

bool T_MainForm::AddFile(const QString& P, const QString& refusal) {
  LastDirectory = DirectoryPart(P);
  OpenDialog1.InitialDir = LastDirectory;

  // Opened once for the probe, the count and the stream information.
  SourceFile source(QFile::encodeName(P).toStdString());
  if (!ProbeFile(source, ReferenceHeader)) {
    ShowMessage(this, refusal);
    return false;
  }

  Panel1->SetFontColor(syscolors::ActiveCaption());
  Panel1->SetCaption(QStringLiteral("Running ..."));
  Panel1->repaint();

  const StreamSurvey survey = SurveyStream(source, ReferenceHeader);
  const std::int32_t N = survey.Count;

  const int a = Files_SG->RowCount() - 2;
  if (a < 0 || a >= kMaxJobs) return false;  // the grid and the table disagree: never write past the table
  _FileInfo& job = JobTable[static_cast<std::size_t>(a)];
  job.Path = P;
  job.StartFrame = 0;
  job.StopFrame = N;
  job.TotalFrames = N;
  job.FileSize = ReferenceHeader.FileSize;
  job.Duration = DurationText(ReferenceHeader, survey);
  job.Copyable = survey.Copyable;
  job.OtherBitRate = survey.OtherBitRate;
  job.VariableKbps = survey.SeveralBitRates ? survey.AverageKbps() : 0;
  CurrentJob = a;
  CurrentSource = &source;
  Files_SG->SetRow(a + 1);
  JobCount = JobCount + 1;
  AppendJobRow();
  SelectCurrentJob();
  CurrentSource = nullptr;

  Panel1->SetFontColor(syscolors::BtnFace());
  Panel1->SetCaption(QStringLiteral("Idle"));
  Panel1->repaint();
  return true;
}

void T_MainForm::AddFiles(const QStringList& paths) {
  for (const QString& P : ExpandFolders(paths)) {
    if (JobCount >= kMaxJobs) {
      ShowListFull(this);
      return;
    }
    // Several files at once: each refusal names its file.
    AddFile(P, QStringLiteral("Is Something Strange With This File !\n%1").arg(P));
  }
}

bool NaturallyBefore(const QString& a, const QString& b) {
  qsizetype i = 0;
  qsizetype j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      // The runs of digits without their leading zeros: the longer is the
      // greater, else the first digit that differs tells.
      qsizetype ei = i;
      qsizetype ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      qsizetype si = i;
      qsizetype sj = j;
      while (si + 1 < ei && a[si] == u'0') ++si;
      while (sj + 1 < ej && b[sj] == u'0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      for (; si < ei; ++si, ++sj) {
        if (a[si] != b[sj]) return a[si] < b[sj];
      }
      i = ei;
      j = ej;
      continue;
    }
    const QChar x = a[i].toCaseFolded();
    const QChar y = b[j].toCaseFolded();
    if (x != y) return x < y;
    ++i;
    ++j;
  }
  if ((i < a.size()) != (j < b.size())) return j < b.size();
  return a < b;
}

QStringList ExpandFolders(const QStringList& paths) {
  // What the shared MIME database calls MPEG audio (audio/mpeg, audio/mp2),
  // and the other names MPEG audio files go by.
  static const QStringList kMpegAudio = {QStringLiteral("*.mp3"), QStringLiteral("*.mp2"),
                                         QStringLiteral("*.mp1"), QStringLiteral("*.mpa"),
                                         QStringLiteral("*.mpga")};
  QStringList out;
  for (const QString& p : paths) {
    const QFileInfo info(p);
    if (!info.isDir()) {
      out << p;
      continue;
    }
    QDir dir(p);
    dir.setNameFilters(kMpegAudio);
    dir.setFilter(QDir::Files | QDir::Readable);
    QStringList names = dir.entryList();
    std::sort(names.begin(), names.end(), NaturallyBefore);
    for (const QString& name : names) out << dir.absoluteFilePath(name);
  }
  return out;
}
