// The job table and the grid that mirrors it.

#include <algorithm>

#include "app/_MainUnit.h"
#include "jobs/JobGrid.h"

namespace {

void WriteJobRow(TStringGrid* grid, int row, const _FileInfo& job) {
  grid->SetCell(0, row, FileNamePart(job.Path));
  grid->SetCell(1, row, QString::number(job.StartFrame));
  grid->SetCell(2, row, QString::number(job.StopFrame));
  grid->SetCell(3, row, QString::number(job.TotalFrames));
  grid->SetCell(4, row, job.Duration);
}

// The grid keeps the text of rows cut away; a new spare row must not show it.
void WriteEmptyRow(TStringGrid* grid, int row) {
  for (int c = 0; c < 5; ++c) grid->SetCell(c, row, QString());
}

}  // namespace

void T_MainForm::ResetJobTable() {
  CurrentJob = 0;
  JobCount = 0;
  for (_FileInfo& job : JobTable) {
    job.Path.clear();
    job.StartFrame = 0;
    job.StopFrame = 0;
    job.TotalFrames = 0;
    job.Duration = QStringLiteral("00:00");
    job.Copyable = 0;
    job.OtherBitRate = 0;
    job.VariableKbps = 0;
  }
}

void T_MainForm::AppendJobRow() {
  WriteJobRow(Files_SG, CurrentJob + 1, JobTable[static_cast<std::size_t>(CurrentJob)]);
  Files_SG->SetRowCount(Files_SG->RowCount() + 1);
  WriteEmptyRow(Files_SG, CurrentJob + 2);
}

void T_MainForm::RebuildJobGrid() {
  Files_SG->SetColCount(5);
  Files_SG->SetRowCount(2);
  for (int i = 0; i < JobCount; ++i) {
    Files_SG->SetRowCount(Files_SG->RowCount() + 1);
    WriteJobRow(Files_SG, i + 1, JobTable[static_cast<std::size_t>(i)]);
  }
  WriteEmptyRow(Files_SG, JobCount + 1);
}

void T_MainForm::DeleteJob(std::int32_t index) {
  if (index < 0) return;
  if (JobCount == 0) {
    Panel29->SetCaption(QStringLiteral("0 of 0 Files"));
    return;
  }
  // The spare row holds no job: deleting it removes nothing (the literal
  // steps would remove the last job, which the user did not point at).
  if (index >= JobCount) return;
  for (int a = index; a <= JobCount - 2; ++a) {
    JobTable[static_cast<std::size_t>(a)] = JobTable[static_cast<std::size_t>(a) + 1];
  }
  for (int i = JobCount - 1; i < kMaxJobs; ++i) {
    _FileInfo& job = JobTable[static_cast<std::size_t>(i)];
    job.Path.clear();
    job.Duration.clear();
    job.StartFrame = 0;
    job.StopFrame = 0;
    job.TotalFrames = 0;
    job.FileSize = 0;
    job.Copyable = 0;
    job.OtherBitRate = 0;
    job.VariableKbps = 0;
  }
  JobCount = std::max(JobCount - 1, 0);
  RebuildJobGrid();
  SelectCurrentJob();
  // With the last job gone nothing else rewrites the counter; show what an
  // empty list shows everywhere else.
  if (JobCount == 0) Panel29->SetCaption(QStringLiteral("0 of 0 Files"));
}

void T_MainForm::ClearJobList() {
  Files_SG->SetColCount(5);
  Files_SG->SetRowCount(2);
  WriteJobGridHeader(Files_SG);
  WriteEmptyRow(Files_SG, 1);
  ResetJobGridWidths(Files_SG);
  ResetJobTable();
  SavedSpinValue = 0;
  Panel29->SetCaption(QStringLiteral("0 of 0 Files"));
  JobCount = 0;
}
