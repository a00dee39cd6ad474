#include "stream/InputFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "stream/MappedRange.h"
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

namespace {

// What the walk of a cut costs besides its copy is mostly the kernel's work
// of putting pages into the mapping: fewer, longer mappings cost less, but
// every mapped page counts in the process's memory. Small windows (tests put
// their boundaries anywhere) still map this much, moving the window within it.
constexpr std::size_t kLeastMapping = 64 * 1024;

std::int64_t PageSize() {
  static const std::int64_t page = ::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096;
  return page;
}

}  // namespace

InputFile::InputFile(std::size_t bufferSize) : window_(bufferSize) {}

InputFile::~InputFile() {
  Unmap();
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

bool InputFile::Lost() const {
  if (!shrank_ && mappedrange::Shrank(guard_)) shrank_ = true;
  return shrank_;
}

std::int64_t InputFile::SizeNow() const {
  struct stat st {};
  return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool InputFile::EndedEarly() const {
  if (ended_ || Lost()) return true;
  // A mapping reads zeros, not an error, past the end of the page the file
  // now ends in: only the file's size tells that it lost those bytes.
  if (!mapped_) return false;
  const std::int64_t size = SizeNow();
  // Only bytes the window has held count, as a read would have met them:
  // a file that lost its tail past where the walk ended was read whole.
  if (size >= 0 && size < std::min(limit_, WindowEnd())) shrank_ = true;
  return shrank_;
}

bool InputFile::StillWhole(std::int64_t from, std::int64_t to) const {
  if (map_ == nullptr || from >= to) return !Lost();
  // The walk has looked at every page up to the last frame's header; the
  // page of the last byte is looked at here, so that a page the file lost
  // since is caught before it is written out. Within the page the file now
  // ends in, its size tells.
  const volatile std::uint8_t* last = At(to - 1);
  (void)*last;
  if (Lost()) return false;
  const std::int64_t size = SizeNow();
  if (size >= 0 && size < to) shrank_ = true;
  return !shrank_;
}

std::int64_t InputFile::ReadableEnd() const {
  if (!mapped_) return ended_ ? WindowEnd() : limit_;
  const std::int64_t size = SizeNow();
  return size < 0 ? start_ : std::min(size, limit_);
}

void InputFile::Unmap() {
  if (map_ == nullptr) return;
  if (mappedrange::Shrank(guard_)) shrank_ = true;
  mappedrange::Release(guard_);
  guard_ = -1;
  ::munmap(map_, mapLength_);
  map_ = nullptr;
  mapLength_ = 0;
}

// Maps the pages from the one holding `from` to the window's end. False with
// mapping_ cleared when the file cannot be mapped (the buffer takes over).
bool InputFile::Map(std::int64_t from, std::string& /*error*/) {
  Unmap();
  const std::int64_t page = PageSize();
  const std::int64_t offset = from & ~(page - 1);
  const std::int64_t wanted = std::max<std::int64_t>(from - offset + static_cast<std::int64_t>(window_),
                                                     static_cast<std::int64_t>(kLeastMapping));
  // Nothing past the limit is read, so nothing past it is mapped.
  const std::int64_t length =
      std::min((wanted + page - 1) & ~(page - 1), (limit_ - offset + page - 1) & ~(page - 1));
  // Faulting the pages in one call costs far less than a fault at each.
  void* m =
      ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, offset);
  if (m == MAP_FAILED) {
    mapping_ = false;
    return false;
  }
  const int guard = mappedrange::Guard(m, static_cast<std::size_t>(length));
  if (guard < 0) {
    ::munmap(m, static_cast<std::size_t>(length));
    mapping_ = false;
    return false;
  }
  map_ = static_cast<std::uint8_t*>(m);
  mapped_ = true;
  mapLength_ = static_cast<std::size_t>(length);
  mapOffset_ = offset;
  guard_ = guard;
  return true;
}

bool InputFile::Advance(std::int64_t keepFrom, std::string& error) {
  if (mapping_) {
    const std::int64_t end = std::min(keepFrom + static_cast<std::int64_t>(window_), limit_);
    if (Lost() || keepFrom >= end) {
      // Past the limit, or the file lost pages: nothing more is brought in.
      start_ = keepFrom;
      length_ = 0;
      base_ = map_ != nullptr && keepFrom >= mapOffset_ &&
                      keepFrom <= mapOffset_ + static_cast<std::int64_t>(mapLength_)
                  ? map_ + (keepFrom - mapOffset_)
                  : nullptr;
      return true;
    }
    const bool covered = map_ != nullptr && keepFrom >= mapOffset_ &&
                         end <= mapOffset_ + static_cast<std::int64_t>(mapLength_);
    if (covered || Map(keepFrom, error)) {
      start_ = keepFrom;
      length_ = static_cast<std::size_t>(end - keepFrom);
      base_ = map_ + (keepFrom - mapOffset_);
      return true;
    }
    // Not mappable: read into a buffer from here on.
    start_ = keepFrom;
    length_ = 0;
  }
  if (buffer_.size() != window_) buffer_.resize(window_);
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
  base_ = buffer_.data();
  return Fill(error);
}

bool InputFile::Fill(std::string& error) {
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
