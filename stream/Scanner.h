#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "stream/FrameHeader.h"

class SourceFile;

// Where files of real encoders and taggers differ from bare streams, and what
// is audio and what is not:
//  - leading ID3v2 tags (one or several back to back) are stepped over by
//    their declared size; probing and scanning begin after them;
//  - trailing tags (ID3v1, APE, Lyrics3v2, an appended ID3v2), found from the
//    end of the file, are never scanned: the audio ends where they begin;
//  - at the start of the audio and after bytes that were no frame, a header
//    is taken only when confirmed: a header of the same version, layer and
//    sampling frequency at its frame's end, or its frame ending exactly at the
//    end of the audio. Frame after frame, in step, nothing more is asked. So
//    pictures, WAV files, random bytes and stray patterns after a tag with a
//    wrong size are not taken for audio;
//  - a header that is invalid only because its fourth byte is zero (a stereo
//    stream with no flags) is taken when confirmed the same way, or in step
//    after a frame of its stream;
//  - out of step, probe and scan advance one byte at a time;
//  - a valid header whose frame length is off is counted and stepped over by
//    its own length;
//  - the yardstick for the one-bit-rate rule is the first audio frame: an
//    encoder's Xing/Info/VBRI frame in front of it is frame 0, counted and
//    copied with its range whatever its length.

// Why a probe found no frame: nothing that holds together as a stream, or a
// stream of a kind that is not cut.
enum class ProbeRefusal {
  None,        // a frame was found
  NoFrame,     // no confirmed frame in the window (or the file could not be read)
  Mpeg25,      // MPEG 2.5 (8 to 12 kHz), outside the tables
  FreeFormat,  // free format (bit-rate index 0): no frame length to go by
};
// "MPEG 2.5" or "free format" and why neither is cut; "" for the others.
std::string ProbeRefusalDetail(ProbeRefusal refusal);

// What a probe learns of a file's stream.
struct StreamProbe {
  // The yardstick: the first audio frame's header (the tag frame's own when
  // no audio frame follows it in the window).
  FrameHeader Reference;
  // Frame 0 is an encoder's Xing/Info/VBRI frame, whose header this is.
  bool TagFrame = false;
  FrameHeader TagHeader;
  std::int64_t AudioStart = 0;  // after the leading ID3v2 tags
  std::int64_t AudioEnd = 0;    // before the trailing tags
  ProbeRefusal Refusal = ProbeRefusal::NoFrame;
};

// Probes `path`: the first confirmed frame within the 2 MiB after its leading
// tags (one-byte steps), and the audio frame after it when it is a tag frame.
// On false, `probe.Reference` holds the last sync candidate examined, marked
// Invalid (its default when there was none); `error` names the file and the
// system's reason when it could not be read, and is empty otherwise.
bool ProbeStream(const std::string& path, StreamProbe& probe, std::string& error);

// The first audio frame's header within the 2 MiB after a file's leading
// tags, as ProbeStream finds it.
// On true, `reference` holds it; on false it holds the last sync candidate
// examined (Invalid), or is left as it was when there was none or the file
// could not be opened.
bool ProbeFile(const std::string& path, FrameHeader& reference);
// The same, and on false says whether the file could not be read: `error` then
// names the file and the system's reason; it is empty when the file was read
// and its window holds no frame.
bool ProbeFile(const std::string& path, FrameHeader& reference, std::string& error);
// The same on an input already open: the first call probes it, later ones
// give what it found. A source that did not open fails with its Error().
bool ProbeStream(SourceFile& source, StreamProbe& probe, std::string& error);
bool ProbeFile(SourceFile& source, FrameHeader& reference);
bool ProbeFile(SourceFile& source, FrameHeader& reference, std::string& error);

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
  std::int32_t Count = 0;    // frames counted (0 when the scan did not run; after a
                             // failure, those met before it stopped)
  std::int32_t Written = 0;  // frames appended to the output
  // Of them, audio frames: a leading Xing/Info/VBRI frame is not one. A job
  // whose output got none put nothing to hear into it.
  std::int32_t AudioWritten = 0;
  // Frames that a whole cut copies: counted frames that fit the reference
  // (length within the tolerance, or with AnyBitRate the same version, layer
  // and sampling frequency; a leading tag frame always) and lie whole in the
  // audio. Not limited to the range.
  std::int32_t Copyable = 0;
  // Frames of the range that were counted but not copied because they do not
  // fit the reference: another bit rate (or, with AnyBitRate, another stream).
  std::int32_t LeftOut = 0;
  std::uint8_t LeftOutHeader[4] = {};  // the first of them: LeftOutReason tells why
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

// A frame met by an earlier walk of the same file, where a scan may begin
// instead of walking from the file's start: its header's position, its frame
// index and its four header bytes.
struct ResumePoint {
  std::int64_t Position = -1;  // -1: walk from the start
  std::int32_t Index = 0;
  std::uint8_t Header[4] = {};
};

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
  // Begins the walk at this frame when the file still holds its header there:
  // frames before it are neither read nor counted again (Count still counts
  // them, Copyable does not). For a range that starts at or after it.
  ResumePoint Resume;
};

// Counts the frames of `inputPath` (one-byte steps out of step, whole frames
// in step, see above) and, unless
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

// ScanFrames on an input already open, read through its descriptor. A
// source that did not open gives InputMissing or InputUnreadable, as the
// path would.
ScanResult ScanFrames(SourceFile& input, const std::string& outputPath, std::int32_t startFrame,
                      std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                      const JobProgress& progress, const ScanOptions& options);

// One counted frame as the scanner meets it.
struct FrameVisit {
  std::int64_t Position = 0;  // of its header in the file
  std::int32_t Length = 0;    // declared length, header included
  std::int32_t Index = 0;     // frame index
  std::uint8_t Header[4] = {};
  bool Fits = false;      // would be copied (the reference's length, or with AnyBitRate its stream)
  bool TagFrame = false;  // frame 0, an encoder's Xing/Info/VBRI frame: it fits
  bool Whole = false;     // lies whole in the file
};

// Walks `path` exactly as ScanFrames counts it, calling `visit` for every
// counted frame in order; the walk stops early when `visit` returns false.
// False when the file could not be read, with `error` naming it and the reason.
bool WalkFrames(const std::string& path, const FrameHeader& reference, const ScanOptions& options,
                const std::function<bool(const FrameVisit&)>& visit, std::string& error);
// The same on an input already open.
bool WalkFrames(SourceFile& source, const FrameHeader& reference, const ScanOptions& options,
                const std::function<bool(const FrameVisit&)>& visit, std::string& error);
