#pragma once

#include <atomic>
#include <string>

// SIGINT, SIGTERM and SIGHUP set a flag that the scan looks at between
// frames, so an interrupted cut still ends on a whole frame; the run then ends
// with 128 + the signal's number, also when the signal came after the last
// frame. SIGXFSZ is ignored: a write past the size limit then fails with EFBIG
// and is reported like any failed write.
void InstallSignalHandlers();

// The flag to hand to the scan as ScanOptions::Cancel.
const std::atomic<bool>* CancelFlag();
bool Cancelled();
// The signal that set the flag (0 when none), its name, and the exit status
// it asks for: 128 + its number.
int CancelSignal();
std::string CancelSignalName();
int CancelExitStatus();
