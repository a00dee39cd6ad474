#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "stream/Scanner.h"
#include "stream/TrailingTags.h"

// An input opened once for all the work of a job: the probe, the clock, the
// count, the cut and the tag copy read through its one descriptor (pread, so
// that none of them disturbs another), and its identity is the file that was
// opened. A file renamed over the path meanwhile is not seen; the job stays
// with the bytes it probed. What is learnt of the file (its tag extents, the
// probe) is learnt on first use and kept.
class SourceFile {
 public:
  SourceFile() = default;
  // Opens `path` (see Open).
  explicit SourceFile(const std::string& path) { Open(path); }
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  SourceFile(SourceFile&& other) noexcept;
  SourceFile& operator=(SourceFile&& other) noexcept;

  // Opens `path` for reading without blocking (a FIFO without a writer must
  // not hang us) and keeps it only when it is a regular file. On false,
  // Error() and OpenError() say why.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }

  const std::string& Path() const { return path_; }
  int Descriptor() const { return fd_; }
  // Identity and size of the file when it was opened.
  dev_t Device() const { return device_; }
  ino_t Inode() const { return inode_; }
  std::int64_t Size() const { return size_; }

  // Why Open failed, as a look at the path tells it: "PATH: reason" when the
  // path names nothing that can be looked at, else OpenError().
  const std::string& Error() const { return error_; }
  // Why Open failed, as opening tells it: "cannot open PATH: reason", or
  // "cannot read PATH: it is a FIFO, not a regular file".
  const std::string& OpenError() const { return openError_; }
  // Open failed because nothing is at the path (or a folder on the way is
  // none).
  bool Missing() const { return missing_; }
  // Open failed because the path names no regular file (a folder, a FIFO).
  bool NotRegular() const { return notRegular_; }
  // The system's error number of a failed open() or fstat(); 0 otherwise.
  int OpenErrno() const { return openErrno_; }

  // Where the audio begins: after the ID3v2 tags back to back at the start.
  // False when the file could not be read, with `error` naming it.
  bool LeadingTagsEnd(std::int64_t& end, std::string& error);
  // The tags appended after the audio (none reaching below the leading tags'
  // end); their AudioEnd is where the audio ends.
  bool Trailing(TrailingTags& tags, std::string& error);

  // The probe's findings, kept by the probe of this file (see ProbeStream).
  struct ProbeMemo {
    bool Found = false;
    bool CandidateSeen = false;
    StreamProbe Probe;
    std::string Error;
  };
  std::optional<ProbeMemo>& Probed() { return probed_; }

 private:
  void Close();

  std::string path_;
  int fd_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::int64_t size_ = 0;
  std::string error_;
  std::string openError_;
  bool missing_ = false;
  bool notRegular_ = false;
  int openErrno_ = 0;
  std::optional<std::int64_t> leadingEnd_;
  std::optional<TrailingTags> trailing_;
  std::optional<ProbeMemo> probed_;
};
