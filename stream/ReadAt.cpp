#include "stream/ReadAt.h"

#include <unistd.h>

#include <cerrno>

ssize_t ReadAt(int fd, std::uint8_t* into, std::size_t n, std::int64_t at) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, into + got, n - got, at + static_cast<std::int64_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return static_cast<ssize_t>(got);
}
