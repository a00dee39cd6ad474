#include "jobs/JobGrid.h"

#include "widgets/StringGrid.h"

void WriteJobGridHeader(TStringGrid* grid) {
  grid->SetCell(0, 0, QStringLiteral(" Name"));
  grid->SetCell(1, 0, QStringLiteral(" Start Frame"));
  grid->SetCell(2, 0, QStringLiteral(" Stop Frame"));
  grid->SetCell(3, 0, QStringLiteral(" Total Frames"));
  grid->SetCell(4, 0, QStringLiteral(" Duration"));
}

void ResetJobGridWidths(TStringGrid* grid) {
  grid->SetColWidth(0, 100);
  for (int c = 1; c <= 4; ++c) grid->SetColWidth(c, 70);
}
