#pragma once

class TStringGrid;

// The job grid's header row and its column widths, as the window starts and
// as clearing the list leaves them.
void WriteJobGridHeader(TStringGrid* grid);
void ResetJobGridWidths(TStringGrid* grid);
