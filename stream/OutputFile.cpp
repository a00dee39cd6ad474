#include "stream/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Every missing directory on the directory part of `path`, outermost first.
// One that cannot be made is passed over: creating the file then fails and
// says why.
void CreateMissingDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (!Exists(dir)) ::mkdir(dir.c_str(), 0777);
  }
}

}  // namespace

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

ScanStatus OutputFile::Open(const std::string& path, std::string& message) {
  path_ = path;
  const bool existed = Exists(path);
  if (!existed) CreateMissingDirectories(path);
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int e = errno;
    if (existed) {
      message = "cannot open " + path + " for writing: " + std::strerror(e);
      return ScanStatus::OutputOpenFailed;
    }
    message = "cannot create " + path + ": " + std::strerror(e);
    return ScanStatus::OutputCreateFailed;
  }
  const off_t end = ::lseek(fd_, 0, SEEK_END);
  committed_ = end > 0 ? end : 0;
  return ScanStatus::Ok;
}

bool OutputFile::Write(const std::uint8_t* data, std::size_t length, std::size_t& written,
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

void OutputFile::CutBackToCommitted() {
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > committed_) {
    [[maybe_unused]] const int ignored = ::ftruncate(fd_, committed_);
  }
}
