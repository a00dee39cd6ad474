#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "stream/FrameHeader.h"

// Where files of real encoders and taggers differ from bare streams:
//  - leading ID3v2 tags (one or several back to back) are stepped over by
//    their declared size; probing and scanning begin after them;
//  - a header that is invalid only because its fourth byte is zero (a stereo
//    stream with no flags) is taken as a frame when a neighbour confirms it:
//    a header of the same version, layer and sampling frequency at the end of
//    its frame, its frame ending exactly at the end of the file, or (scan
//    only) the frame before it ending exactly where it starts;
//  - out of step, the scan advances one byte at a time;
//  - a valid header whose frame length is off is counted and stepped over by
//    its own length.

// The first valid frame header within the 2 MiB after a file's leading tags
// (one-byte steps).
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
  Interrupted,         // the caller's cancel flag was set; the output ends on a whole frame
};

struct ScanResult {
  std::int32_t Count = 0;    // valid headers met (0 when the scan did not run; after a
                             // failure, those met before it stopped)
  std::int32_t Written = 0;  // frames appended to the output
  // Frames that a whole cut copies: counted frames that fit the reference
  // (length within the tolerance, or with AnyBitRate the same version, layer
  // and sampling frequency) and lie whole in the file. Not limited to the range.
  std::int32_t Copyable = 0;
  // Frames of the range that were counted but not copied because they do not
  // fit the reference: another bit rate (or, with AnyBitRate, another stream).
  std::int32_t LeftOut = 0;
  std::int64_t BytesWritten = 0;  // bytes appended to the output, whole frames only
  // With EndAfterRange: a counted frame follows the stop frame, so the range
  // did not reach the end of the stream (it is not counted in Count).
  bool FramesAfterRange = false;
  ScanStatus Status = ScanStatus::Ok;
  std::string Message;  // for failures: names the file and the system's reason
  bool Ok() const { return Status == ScanStatus::Ok; }
};

// Called after every written frame with (frames written before it, stop - start).
using JobProgress = std::function<void(std::int32_t done, std::int32_t total)>;

struct ScanOptions {
  // Copy every frame of the reference's version, layer and sampling
  // frequency, whatever its bit rate (VBR and ABR streams).
  bool AnyBitRate = false;
  // Stop once the frame after the stop frame is met instead of counting on
  // to the end of the file.
  bool EndAfterRange = false;
  // Looked at between frames (a signal handler may set it): when set, the scan
  // writes what it holds, stops with Interrupted, and the output ends on a
  // whole frame.
  const std::atomic<bool>* Cancel = nullptr;
  // Where the frames go instead of `outputPath`, which is then not touched.
  class FrameSink* Sink = nullptr;
};

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

// ScanFrames with options.
ScanResult ScanFrames(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                      std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                      const JobProgress& progress, const ScanOptions& options);

// One counted frame as the scanner meets it.
struct FrameVisit {
  std::int64_t Position = 0;  // of its header in the file
  std::int32_t Length = 0;    // declared length, header included
  std::int32_t Index = 0;     // frame index
  std::uint8_t Header[4] = {};
  bool Fits = false;   // would be copied (the reference's length, or with AnyBitRate its stream)
  bool Whole = false;  // lies whole in the file
};

// Walks `path` exactly as ScanFrames counts it, calling `visit` for every
// counted frame in order; the walk stops early when `visit` returns false.
// False when the file could not be read, with `error` naming it and the reason.
bool WalkFrames(const std::string& path, const FrameHeader& reference, const ScanOptions& options,
                const std::function<bool(const FrameVisit&)>& visit, std::string& error);
