#include "stream/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "stream/InputFile.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Every missing directory on the directory part of `path`, outermost first.
// One that cannot be made is passed over, but remembered: when creating the
// file then fails, that folder and mkdir's reason are what the user needs.
void CreateMissingDirectories(const std::string& path, std::string& failedDir, int& failedErrno) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (Exists(dir)) continue;
    if (::mkdir(dir.c_str(), 0777) != 0 && failedDir.empty()) {
      failedDir = dir;
      failedErrno = errno;
    }
  }
}

}  // namespace

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

ScanStatus OutputFile::Open(const std::string& path, std::string& message) {
  path_ = path;
  struct stat existing {};
  const bool existed = ::stat(path.c_str(), &existing) == 0;
  if (existed && !S_ISREG(existing.st_mode)) {
    message = "cannot write " + path + ": it is " + FileKindName(existing.st_mode) + ", not a regular file";
    return ScanStatus::OutputOpenFailed;
  }
  std::string failedDir;
  int failedErrno = 0;
  if (!existed) CreateMissingDirectories(path, failedDir, failedErrno);
  // Non-blocking, so that a FIFO without a reader is refused at once.
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int e = errno;
    if (existed) {
      message = "cannot open " + path + " for writing: " + std::strerror(e);
      return ScanStatus::OutputOpenFailed;
    }
    if (!failedDir.empty()) {
      message =
          "cannot create " + path + ": cannot create folder " + failedDir + ": " + std::strerror(failedErrno);
    } else {
      message = "cannot create " + path + ": " + std::strerror(e);
    }
    return ScanStatus::OutputCreateFailed;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    message = "cannot write " + path + ": it is " + FileKindName(st.st_mode) + ", not a regular file";
    ::close(fd_);
    fd_ = -1;
    return ScanStatus::OutputOpenFailed;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  return ScanStatus::Ok;
}

bool OutputFile::Write(const std::uint8_t* data, std::size_t length, std::int32_t /*firstIndex*/,
                       std::size_t& written,
                       std::string& message) {
  written = 0;
  while (written < length) {
    const ssize_t n = ::write(fd_, data + written, length - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      message = "cannot write " + path_ + ": " + std::strerror(n < 0 ? errno : ENOSPC);
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

void OutputFile::CutBack(std::size_t partial, std::string& message) {
  if (partial == 0) return;
  // With O_APPEND the file offset is the end of our own last write.
  const off_t ours = ::lseek(fd_, 0, SEEK_CUR);
  struct stat st {};
  if (ours < 0 || ::fstat(fd_, &st) != 0) {
    message += "; the output may end with a partial frame";
    return;
  }
  const off_t frameStart = ours - static_cast<off_t>(partial);
  if (st.st_size != ours) {
    message += "; another program wrote to the output meanwhile, so the partial frame at byte " +
               std::to_string(frameStart) + " was left in place";
    return;
  }
  if (::ftruncate(fd_, frameStart) != 0) {
    message += "; the output ends with a partial frame at byte " + std::to_string(frameStart) +
               " that could not be removed: " + std::strerror(errno);
  }
}
