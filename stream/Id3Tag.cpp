#include "stream/Id3Tag.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "stream/ReadAt.h"

std::int64_t Id3v2TagLength(const std::uint8_t* b, std::size_t available, std::int64_t remaining) {
  if (available < 10 || remaining < 10) return 0;
  if (b[0] != 'I' || b[1] != 'D' || b[2] != '3' || b[3] == 0xFF || b[4] == 0xFF) return 0;
  std::int64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (b[i] >= 0x80) return 0;
    size = size << 7 | b[i];
  }
  const std::int64_t length = 10 + size + ((b[5] & 0x10) ? 10 : 0);
  return length <= remaining ? length : 0;
}

bool LeadingTagsLength(const std::string& path, std::int64_t& length, std::string& error) {
  length = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot open " + path + ": not a regular file";
    ::close(fd);
    return false;
  }
  for (;;) {
    std::uint8_t head[10];
    const ssize_t got = ReadAt(fd, head, sizeof head, length);
    if (got < 0) {
      error = "cannot read " + path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    const std::int64_t tag = Id3v2TagLength(head, static_cast<std::size_t>(got), st.st_size - length);
    if (tag == 0) break;
    length += tag;
  }
  ::close(fd);
  return true;
}

bool HasId3v1Tag(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool tag = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 128) {
    std::uint8_t head[3];
    tag = ReadAt(fd, head, 3, st.st_size - 128) == 3 && std::memcmp(head, "TAG", 3) == 0;
  }
  ::close(fd);
  return tag;
}
