#pragma once

#include <cstddef>

// A file mapping that another program truncates raises SIGBUS on access. While
// a window is guarded, a fault inside it is answered with a page of zeros and
// noted instead of ending the process; faults elsewhere go to whoever handled
// SIGBUS before. One guarded window per thread.
void GuardMappedWindow(const void* start, std::size_t length);
void UnguardMappedWindow();
// True once a fault hit a guarded window of this thread since the last clear.
bool MappedWindowFaulted();
void ClearMappedWindowFault();
