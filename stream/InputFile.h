#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file read front to back through a window of fixed size: a mapping of the
// file where the system allows one (nothing is copied that is not written
// out), else a buffer that read() fills. Advance() drops what lies before a
// position and moves the window on. Reading never goes past Limit(), so a
// file that grows while it is read (an output appended to its own input) ends
// where it ended when it was opened.
class InputFile {
 public:
  explicit InputFile(std::size_t windowSize);
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
  const std::uint8_t* At(std::int64_t pos) const { return data_ + (pos - start_); }

  // Moves the window to begin at `keepFrom` (inside the window or at its end)
  // and reach at least windowSize bytes further, or to the limit, or to where
  // the file ended early. False when reading failed, with `error` set.
  bool Advance(std::int64_t keepFrom, std::string& error);
  // False, with `error` set, when the file shrank under a mapped window (its
  // lost bytes then read as zeros).
  bool Intact(std::string& error) const;
  // Whether a failed write from the window is due to the input shrinking.
  bool Shrank() const;

 private:
  bool Map(std::int64_t from, std::string& error);
  void Unmap();
  bool Read(std::int64_t keepFrom, std::string& error);

  std::size_t windowSize_;
  std::vector<std::uint8_t> buffer_;  // only when the file cannot be mapped
  std::string path_;
  int fd_ = -1;
  bool mapped_ = false;
  void* map_ = nullptr;
  std::size_t mapLength_ = 0;
  std::int64_t mapStart_ = 0;
  const std::uint8_t* data_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t limit_ = 0;
  std::int64_t start_ = 0;
  std::size_t length_ = 0;
  bool ended_ = false;
};
