#include "stream/SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "stream/Id3Tag.h"
#include "stream/InputFile.h"
#include "stream/ReadAt.h"

SourceFile::~SourceFile() { Close(); }

SourceFile::SourceFile(SourceFile&& other) noexcept { *this = std::move(other); }

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
  if (this == &other) return *this;
  Close();
  path_ = std::move(other.path_);
  fd_ = std::exchange(other.fd_, -1);
  device_ = other.device_;
  inode_ = other.inode_;
  size_ = other.size_;
  error_ = std::move(other.error_);
  openError_ = std::move(other.openError_);
  missing_ = other.missing_;
  notRegular_ = other.notRegular_;
  openErrno_ = other.openErrno_;
  leadingEnd_ = std::move(other.leadingEnd_);
  trailing_ = std::move(other.trailing_);
  probed_ = std::move(other.probed_);
  return *this;
}

void SourceFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SourceFile::Open(const std::string& path) {
  *this = SourceFile{};
  path_ = path;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    openErrno_ = errno;
    openError_ = "cannot open " + path + ": " + std::strerror(openErrno_);
    // Only now, on the way out, is the path looked at apart from the open:
    // a path that names nothing says so in fewer words.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      const int e = errno;
      missing_ = e == ENOENT || e == ENOTDIR;
      error_ = path + ": " + std::strerror(e);
    } else {
      error_ = openError_;
    }
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    openErrno_ = errno;
    openError_ = error_ = "cannot open " + path + ": " + std::strerror(openErrno_);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    notRegular_ = true;
    openError_ = error_ =
        "cannot read " + path + ": it is " + FileKindName(st.st_mode) + ", not a regular file";
    ::close(fd);
    return false;
  }
  // Regular files never block; the flag goes so that reads behave as
  // anywhere else.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fd_ = fd;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  size_ = st.st_size;
  return true;
}

bool SourceFile::LeadingTagsEnd(std::int64_t& end, std::string& error) {
  if (leadingEnd_) {
    end = *leadingEnd_;
    return true;
  }
  end = 0;
  for (;;) {
    std::uint8_t head[10];
    const ssize_t got = ReadAt(fd_, head, sizeof head, end);
    if (got < 0) {
      error = "cannot read " + path_ + ": " + std::strerror(errno);
      return false;
    }
    const std::int64_t tag = Id3v2TagLength(head, static_cast<std::size_t>(got), size_ - end);
    if (tag == 0) break;
    end += tag;
  }
  leadingEnd_ = end;
  return true;
}

bool SourceFile::Trailing(TrailingTags& tags, std::string& error) {
  if (trailing_) {
    tags = *trailing_;
    return true;
  }
  std::int64_t floor = 0;
  if (!LeadingTagsEnd(floor, error)) return false;
  bool failed = false;
  TrailingTags found = FindTrailingTags(size_, floor, [&](std::int64_t at, std::uint8_t* into, std::size_t n) {
    const ssize_t got = ReadAt(fd_, into, n, at);
    if (got < 0 && !failed) {
      failed = true;
      error = "cannot read " + path_ + ": " + std::strerror(errno);
    }
    return got == static_cast<ssize_t>(n);
  });
  if (failed) return false;
  trailing_ = found;
  tags = std::move(found);
  return true;
}
