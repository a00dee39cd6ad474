#include "stream/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "stream/ReadAt.h"
#include "stream/SourceFile.h"

const char* FileKindName(unsigned mode) {
  switch (mode & S_IFMT) {
    case S_IFDIR:
      return "a directory";
    case S_IFIFO:
      return "a FIFO";
    case S_IFCHR:
      return "a character device";
    case S_IFBLK:
      return "a block device";
    case S_IFSOCK:
      return "a socket";
    case S_IFREG:
      return "a regular file";
    default:
      return "not a regular file";
  }
}

InputFile::InputFile(std::size_t bufferSize) : buffer_(bufferSize) {}

InputFile::~InputFile() {
  if (fd_ >= 0 && ownsFd_) ::close(fd_);
}

void InputFile::Open(const SourceFile& source) {
  path_ = source.Path();
  fd_ = source.Descriptor();
  ownsFd_ = false;
  size_ = source.Size();
  limit_ = size_;
}

bool InputFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ownsFd_ = true;
  if (fd_ < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = ::fstat(fd_, &st) != 0
                ? "cannot open " + path + ": " + std::strerror(errno)
                : "cannot read " + path + ": it is " + FileKindName(st.st_mode) + ", not a regular file";
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  // Regular files never block; clear the flag all the same so reads behave
  // as anywhere else.
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  size_ = st.st_size;
  limit_ = size_;
  return true;
}

bool InputFile::ReadAt(std::int64_t at, std::uint8_t* into, std::size_t n, std::string& error) const {
  const ssize_t got = ::ReadAt(fd_, into, n, at);
  if (got < 0) error = "cannot read " + path_ + ": " + std::strerror(errno);
  return got == static_cast<ssize_t>(n);
}

bool InputFile::Advance(std::int64_t keepFrom, std::string& error) {
  if (keepFrom >= WindowEnd()) {
    // Nothing kept: skip straight to the new position.
    start_ = keepFrom;
    length_ = 0;
  } else if (keepFrom > start_) {
    const std::size_t drop = static_cast<std::size_t>(keepFrom - start_);
    std::memmove(buffer_.data(), buffer_.data() + drop, length_ - drop);
    length_ -= drop;
    start_ = keepFrom;
  }
  while (!ended_ && length_ < buffer_.size() && WindowEnd() < limit_) {
    const std::int64_t room = static_cast<std::int64_t>(buffer_.size() - length_);
    const std::size_t want = static_cast<std::size_t>(std::min(room, limit_ - WindowEnd()));
    // At its offset: others reading the same descriptor move no position of ours.
    const ssize_t got = ::pread(fd_, buffer_.data() + length_, want, WindowEnd());
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
