#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "stream/FrameHeader.h"

// The first valid frame header within a file's first 2 MiB (one-byte steps).
// On true, `reference` holds it; on false it holds the last sync candidate
// examined, or is left as it was when there was none or the file could not be
// opened.
bool ProbeFile(const std::string& path, FrameHeader& reference);
// The same, and on false says whether the file could not be read: `error` then
// names the file and the system's reason; it is empty when the file was read
// and its window holds no valid header.
bool ProbeFile(const std::string& path, FrameHeader& reference, std::string& error);

enum class ScanStatus {
  Ok,                  // scanned to the end
  InputMissing,        // no file at the input path: nothing created or opened
  InputUnreadable,     // the input could not be opened
  OutputCreateFailed,  // the missing output file could not be created
  OutputOpenFailed,    // the output exists but could not be opened for writing
  WriteFailed,         // a write to the output failed; the scan stopped there
  ReadFailed,          // reading the input failed midway
};

struct ScanResult {
  std::int32_t Count = 0;    // valid headers met (0 when the scan did not run; after a
                             // failed write, up to and including the frame that failed)
  std::int32_t Written = 0;  // frames appended to the output
  ScanStatus Status = ScanStatus::Ok;
  std::string Message;  // for failures: names the file and the system's reason
  bool Ok() const { return Status == ScanStatus::Ok; }
};

// Called after every written frame with (frames written before it, stop - start).
using JobProgress = std::function<void(std::int32_t done, std::int32_t total)>;

// Counts the valid frame headers of `inputPath` (four-byte steps out of sync,
// whole frames when in sync with the reference's frame length) and, unless
// countOnly, appends the frames with index startFrame..stopFrame (inclusive)
// to `outputPath`, creating it and its missing directories first. The output
// only ever grows by whole frames; after a failed write it is cut back to the
// end of the last whole frame.
ScanResult ScanFrames(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                      std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                      const JobProgress& progress = {});

// ScanFrames(..., countOnly false) that ends where the range ends: the same
// bytes written and the same progress calls, but Count only counts the valid
// headers up to the stop frame. For callers that do not need the count.
ScanResult CutFrameRange(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                         std::int32_t stopFrame, const FrameHeader& reference,
                         const JobProgress& progress = {});
