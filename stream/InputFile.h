#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file read front to back through one fixed buffer. The buffer holds a
// window of the file, [WindowStart(), WindowEnd()); Advance() drops what lies
// before a position and reads on. Reading never goes past Limit(), so a file
// that grows while it is read (an output appended to its own input) ends
// where it ended when it was opened.
class InputFile {
 public:
  explicit InputFile(std::size_t capacity);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading. On failure `error` names the file and the reason.
  bool Open(const std::string& path, std::string& error);

  // Size of the file when it was opened.
  std::int64_t Size() const { return size_; }
  // Reads stop here; Size() unless set lower.
  void SetLimit(std::int64_t limit) { limit_ = limit < size_ ? limit : size_; }
  std::int64_t Limit() const { return limit_; }

  std::int64_t WindowStart() const { return start_; }
  std::int64_t WindowEnd() const { return start_ + static_cast<std::int64_t>(length_); }
  // The byte at file position `pos`, which lies inside the window.
  const std::uint8_t* At(std::int64_t pos) const { return buffer_.data() + (pos - start_); }

  // Keeps the bytes from `keepFrom` (inside the window or at its end) and fills
  // the rest of the buffer from the file. The window ends short of the buffer
  // only at the limit or where the file ended early. False on a read error,
  // with `error` set.
  bool Advance(std::int64_t keepFrom, std::string& error);

 private:
  std::vector<std::uint8_t> buffer_;
  std::string path_;
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::int64_t limit_ = 0;
  std::int64_t start_ = 0;
  std::size_t length_ = 0;
  bool ended_ = false;
};
