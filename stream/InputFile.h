#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A regular file read front to back through a window of fixed size, so that
// memory stays the same whatever the file's size. The window is a read-only
// mapping of the file's pages: the walk looks at them where the page cache
// holds them, and a cut writes them out from there, one copy where reading
// into a buffer made two. Where a file cannot be mapped, pread() fills a
// buffer at the window's own offset instead. Either way other readers of the
// same descriptor (an input opened once for a whole job) are not disturbed.
// Advance() drops what lies before a position and brings in the rest. Reading
// never goes past Limit(), so a file that grows while it is read (an output
// appended to its own input) ends where it ended when it was opened; a file
// that shrinks while it is read ends early (EndedEarly), never with a fault.
class InputFile {
 public:
  explicit InputFile(std::size_t bufferSize);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading without blocking (a FIFO without a writer must
  // not hang us) and refuses anything but a regular file. On failure `error`
  // names the file and the reason.
  bool Open(const std::string& path, std::string& error);
  // Reads `source` (open) through its descriptor, which stays the source's.
  void Open(const class SourceFile& source);

  // Size of the file when it was opened.
  std::int64_t Size() const { return size_; }
  // Reads stop here; Size() unless set lower.
  void SetLimit(std::int64_t limit) { limit_ = limit < size_ ? limit : size_; }
  std::int64_t Limit() const { return limit_; }

  std::int64_t WindowStart() const { return start_; }
  std::int64_t WindowEnd() const { return start_ + static_cast<std::int64_t>(length_); }
  // The byte at file position `pos`, which lies inside the window.
  const std::uint8_t* At(std::int64_t pos) const { return base_ + (pos - start_); }

  // Moves the window to begin at `keepFrom` (inside the window, at its end or
  // beyond it) and fills it as far as the buffer, the limit or the file's
  // actual end allow. False when reading failed, with `error` set.
  bool Advance(std::int64_t keepFrom, std::string& error);
  // Reads `n` bytes at `at` without moving the window (for a look at the end
  // of the file). False when they are not all there; `error` is set only when
  // reading failed.
  bool ReadAt(std::int64_t at, std::uint8_t* into, std::size_t n, std::string& error) const;
  // True once the file turned out shorter than it was when opened.
  bool EndedEarly() const;
  // Before bytes of the window go anywhere: looks at [from, to) of the window
  // and tells whether all of it is still the file's. False once the file
  // turned out shorter; the window's bytes are then to be trusted only below
  // ReadableEnd().
  bool StillWhole(std::int64_t from, std::int64_t to) const;
  // How far the file holds bytes now, at most Limit(). Meant for after
  // EndedEarly(): it looks at the file again.
  std::int64_t ReadableEnd() const;

 private:
  bool Map(std::int64_t from, std::string& error);
  // A page of a mapping met the end of the file.
  bool Lost() const;
  std::int64_t SizeNow() const;
  void Unmap();
  bool Fill(std::string& error);

  std::size_t window_;
  std::vector<std::uint8_t> buffer_;    // only when the file cannot be mapped
  const std::uint8_t* base_ = nullptr;  // the byte at start_
  std::uint8_t* map_ = nullptr;
  std::size_t mapLength_ = 0;
  std::int64_t mapOffset_ = 0;
  int guard_ = -1;
  bool mapping_ = true;  // try to map the next window
  bool mapped_ = false;  // some window was mapped
  mutable bool shrank_ = false;
  std::string path_;
  int fd_ = -1;
  bool ownsFd_ = false;
  std::int64_t size_ = 0;
  std::int64_t limit_ = 0;
  std::int64_t start_ = 0;
  std::size_t length_ = 0;
  bool ended_ = false;
};

// What kind of file a stat mode names, for messages: "a directory", "a FIFO",
// "a character device", ...
const char* FileKindName(unsigned mode);
