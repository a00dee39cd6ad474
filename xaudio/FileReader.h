#pragma once

// The decoder's input: a regular file read through one large buffer. The
// decoder's own reader asks the system for every few bytes it parses (two
// reads per frame), which made opening and indexing a long file cost more in
// system calls than in parsing.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>

typedef struct mpg123_handle_struct mpg123_handle;

namespace xaudio {

class FileReader {
 public:
  static constexpr size_t kBufferBytes = 256 * 1024;

  // Takes `fd`, which it closes; reads start at the file's beginning.
  explicit FileReader(int fd);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // As read(2) and lseek(2) on the file, but served from the buffer where it can.
  ssize_t Read(void* into, size_t bytes);
  off_t Seek(off_t offset, int whence);

  // System reads so far, and the bytes they gave.
  uint64_t SystemReads() const { return system_reads_; }
  uint64_t BytesRead() const { return bytes_read_; }

  // Makes `handle` read through `reader`; false when the library refuses.
  static bool Attach(mpg123_handle* handle, FileReader* reader);

 private:
  ssize_t ReadSystem(void* into, size_t bytes);

  int fd_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t next_ = 0;   // the first unread byte of the buffer
  size_t fill_ = 0;   // bytes in the buffer
  off_t end_at_ = 0;  // file offset of the byte after the buffer's last: where fd_ is
  uint64_t system_reads_ = 0;
  uint64_t bytes_read_ = 0;
};

}  // namespace xaudio
