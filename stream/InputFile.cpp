#include "stream/InputFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "stream/MappedFault.h"

namespace {

const std::int64_t kPage = ::sysconf(_SC_PAGESIZE);

}  // namespace

InputFile::InputFile(std::size_t windowSize) : windowSize_(windowSize) {}

InputFile::~InputFile() {
  Unmap();
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
  mapped_ = S_ISREG(st.st_mode);
  ClearMappedWindowFault();
  return true;
}

bool InputFile::Advance(std::int64_t keepFrom, std::string& error) {
  if (!Intact(error)) return false;
  if (mapped_) {
    if (Map(keepFrom, error)) return true;
    mapped_ = false;  // not mappable after all: read it instead
    start_ = keepFrom;
    length_ = 0;
    if (::lseek(fd_, keepFrom, SEEK_SET) < 0) {
      error = "cannot read " + path_ + ": " + std::strerror(errno);
      return false;
    }
  }
  return Read(keepFrom, error);
}

bool InputFile::Map(std::int64_t from, std::string& error) {
  Unmap();
  const std::int64_t mapFrom = from / kPage * kPage;
  const std::int64_t want = (from - mapFrom) + static_cast<std::int64_t>(windowSize_);
  const std::int64_t mapTo = std::min(limit_, mapFrom + (want + kPage - 1) / kPage * kPage);
  start_ = from;
  length_ = 0;
  data_ = nullptr;
  if (mapTo <= from) return true;  // nothing left before the limit
  void* m = ::mmap(nullptr, static_cast<std::size_t>(mapTo - mapFrom), PROT_READ, MAP_SHARED | MAP_POPULATE,
                   fd_, mapFrom);
  if (m == MAP_FAILED) {
    error.clear();
    return false;
  }
  ::madvise(m, static_cast<std::size_t>(mapTo - mapFrom), MADV_SEQUENTIAL | MADV_WILLNEED);
  map_ = m;
  mapLength_ = static_cast<std::size_t>(mapTo - mapFrom);
  mapStart_ = mapFrom;
  GuardMappedWindow(map_, mapLength_);
  data_ = static_cast<const std::uint8_t*>(map_) + (from - mapFrom);
  length_ = static_cast<std::size_t>(mapTo - from);
  return true;
}

void InputFile::Unmap() {
  if (map_ == nullptr) return;
  UnguardMappedWindow();
  ::munmap(map_, mapLength_);
  map_ = nullptr;
}

bool InputFile::Read(std::int64_t keepFrom, std::string& error) {
  if (buffer_.empty()) buffer_.resize(windowSize_);
  const std::size_t drop = static_cast<std::size_t>(keepFrom - start_);
  if (drop > 0) {
    std::memmove(buffer_.data(), buffer_.data() + drop, length_ - drop);
    length_ -= drop;
    start_ = keepFrom;
  }
  data_ = buffer_.data();
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

bool InputFile::Intact(std::string& error) const {
  if (!Shrank()) return true;
  error = "cannot read " + path_ + ": the file shrank while it was read";
  return false;
}

bool InputFile::Shrank() const {
  if (!mapped_ || map_ == nullptr) return false;
  if (MappedWindowFaulted()) return true;
  struct stat st {};
  return ::fstat(fd_, &st) == 0 && st.st_size < mapStart_ + static_cast<std::int64_t>(mapLength_);
}
