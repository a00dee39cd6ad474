#include "cli/TagCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "stream/Id3Tag.h"

namespace {

void CreateMissingDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    struct stat st {};
    const std::string dir = path.substr(0, slash);
    if (::stat(dir.c_str(), &st) != 0) ::mkdir(dir.c_str(), 0777);
  }
}

// Opens without blocking, so that a FIFO is refused rather than waited on.
int OpenRegular(const std::string& path, int flags, std::string& error) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot open " + path + ": not a regular file";
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool AppendFileBytes(const std::string& input, long long offset, long long length, const std::string& output,
                     std::string& error) {
  const int in = OpenRegular(input, O_RDONLY, error);
  if (in < 0) return false;
  CreateMissingDirectories(output);
  const int out = OpenRegular(output, O_WRONLY | O_APPEND | O_CREAT, error);
  if (out < 0) {
    ::close(in);
    return false;
  }
  std::vector<std::uint8_t> buffer(1 << 16);
  bool ok = true;
  while (ok && length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<long long>(length, 1 << 16));
    const ssize_t got = ::pread(in, buffer.data(), want, offset);
    if (got <= 0) {
      if (got < 0 && errno == EINTR) continue;
      error = "cannot read " + input + ": " + (got < 0 ? std::strerror(errno) : "the file shrank");
      ok = false;
      break;
    }
    for (ssize_t done = 0; ok && done < got;) {
      const ssize_t n = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = "cannot write " + output + ": " + std::strerror(n < 0 ? errno : ENOSPC);
        ok = false;
      } else {
        done += n;
      }
    }
    offset += got;
    length -= got;
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    error = "cannot write " + output + ": " + std::strerror(errno);
    ok = false;
  }
  return ok;
}

bool CopyLeadingTags(const std::string& input, const std::string& output, std::string& error) {
  std::int64_t length = 0;
  if (!LeadingTagsLength(input, length, error)) return false;
  return length == 0 || AppendFileBytes(input, 0, length, output, error);
}

bool CopyTrailingTag(const std::string& input, const std::string& output, std::string& error) {
  if (!HasId3v1Tag(input)) return true;
  struct stat st {};
  if (::stat(input.c_str(), &st) != 0) {
    error = input + ": " + std::strerror(errno);
    return false;
  }
  return AppendFileBytes(input, st.st_size - 128, 128, output, error);
}
