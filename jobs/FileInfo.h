#pragma once

#include <QString>
#include <cstdint>

// One job of the list: a file and the inclusive range of frames to cut from it.
struct _FileInfo {
  QString Path;                  // full path as chosen in the open dialog
  std::int32_t StartFrame = 0;   // first frame index to cut
  std::int32_t StopFrame = 0;    // last frame index to cut, inclusive
  std::int32_t TotalFrames = 0;  // valid frames counted when the file was added
  QString Duration;              // "hh:mm.ss" computed when the file was added
  std::int64_t FileSize = 0;     // bytes, when the file was added; shown nowhere
  // From the count pass: whole frames that the one-bit-rate rule copies, and
  // frames of another bit rate that it leaves out (asked about before a run).
  std::int32_t Copyable = 0;
  std::int32_t OtherBitRate = 0;
  // Average bit rate in kbps of a stream of several bit rates; 0 for one bit rate.
  std::int32_t VariableKbps = 0;
};

// The capacity of the job list.
constexpr int kMaxJobs = 100;

// The file-name part of a path: the text after the last '/' (the whole path without one).
QString FileNamePart(const QString& path);
// The directory part of a path, up to and including its last '/' (empty without one).
QString DirectoryPart(const QString& path);
