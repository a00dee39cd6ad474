#include "stream/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

InputFile::InputFile(std::size_t capacity) : buffer_(capacity) {}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
    error = "cannot open " + path + ": " + std::strerror(e);
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  size_ = S_ISREG(st.st_mode) ? st.st_size : 0;
  limit_ = size_;
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

bool InputFile::Advance(std::int64_t keepFrom, std::string& error) {
  const std::size_t drop = static_cast<std::size_t>(keepFrom - start_);
  if (drop > 0) {
    std::memmove(buffer_.data(), buffer_.data() + drop, length_ - drop);
    length_ -= drop;
    start_ = keepFrom;
  }
  while (!ended_ && length_ < buffer_.size() && WindowEnd() < limit_) {
    const std::int64_t room = static_cast<std::int64_t>(buffer_.size() - length_);
    const std::size_t want = static_cast<std::size_t>(std::min(room, limit_ - WindowEnd()));
    const ssize_t got = ::read(fd_, buffer_.data() + length_, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = "cannot read " + path_ + ": " + std::strerror(errno);
      return false;
    }
    if (got == 0) {
      ended_ = true;  // the file is shorter than it was when opened
      break;
    }
    length_ += static_cast<std::size_t>(got);
  }
  return true;
}
