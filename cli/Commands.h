#pragma once

#include <string>
#include <vector>

#include "stream/FrameHeader.h"
#include "stream/Scanner.h"

struct Options;
class SourceFile;

// Exit statuses of kerfwell-cut.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an input was refused or an I/O operation failed
constexpr int kExitUsage = 2;

// With `json`, every field as one JSON object.
int RunInfo(const std::string& path, bool anyBitRate, bool json);
int RunCount(const std::string& path, bool anyBitRate);
int RunCut(const Options& options);
int RunSplit(const Options& options);
// cut --each: every job into its own output in -d DIR.
int RunEachCut(const Options& options);

// Probes like the window does before it counts or cuts a file. On false the
// reason has been printed: the file could not be read, or it holds no frame
// in its first 2 MiB (naming an MPEG 2.5 or free format stream as such).
bool ProbeInput(const std::string& path, FrameHeader& reference);
// The same, with what else the probe learnt (a leading tag frame, where the
// audio begins and ends).
bool ProbeInput(const std::string& path, StreamProbe& probe);
// A counting pass over the whole file. On false the reason has been printed,
// unless a signal ended the count (Cancelled()): the caller names it.
bool CountFrames(const std::string& path, const FrameHeader& reference, bool anyBitRate, std::int32_t& count,
                 std::int32_t& copyable);
// The same on an input already open (a source that did not open is reported
// in the words of the path's probe).
bool ProbeInput(SourceFile& source, FrameHeader& reference);
bool ProbeInput(SourceFile& source, StreamProbe& probe);
bool CountFrames(SourceFile& source, const FrameHeader& reference, bool anyBitRate, std::int32_t& count,
                 std::int32_t& copyable);
