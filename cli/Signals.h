#pragma once

#include <atomic>

// SIGINT and SIGTERM set a flag that the scan looks at between frames, so an
// interrupted cut still ends on a whole frame. SIGXFSZ is ignored: a write past
// the size limit then fails with EFBIG and is reported like any failed write.
void InstallSignalHandlers();

// The flag to hand to the scan as ScanOptions::Cancel.
const std::atomic<bool>* CancelFlag();
bool Cancelled();
// The signal that set the flag (0 when none), and the exit status it asks
// for: 128 + its number.
int CancelSignal();
int CancelExitStatus();
