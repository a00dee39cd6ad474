#include "xaudio/FileReader.h"

#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace xaudio {
namespace {

mpg123_ssize_t ReadHook(void* reader, void* into, size_t bytes) {
  return static_cast<FileReader*>(reader)->Read(into, bytes);
}

off_t SeekHook(void* reader, off_t offset, int whence) {
  return static_cast<FileReader*>(reader)->Seek(offset, whence);
}

}  // namespace

FileReader::FileReader(int fd) : fd_(fd), buffer_(new unsigned char[kBufferBytes]) {}

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileReader::Attach(mpg123_handle* handle, FileReader* reader) {
  // The decoder does not own the reader: no cleanup hook.
  return mpg123_replace_reader_handle(handle, &ReadHook, &SeekHook, nullptr) == MPG123_OK &&
         mpg123_open_handle(handle, reader) == MPG123_OK;
}

ssize_t FileReader::ReadSystem(void* into, size_t bytes) {
  for (;;) {
    ++system_reads_;
    const ssize_t n = ::read(fd_, into, bytes);
    if (n >= 0 || errno != EINTR) {
      if (n > 0) {
        end_at_ += n;
        bytes_read_ += static_cast<uint64_t>(n);
      }
      return n;
    }
  }
}

ssize_t FileReader::Read(void* into, size_t bytes) {
  auto* out = static_cast<unsigned char*>(into);
  size_t done = 0;
  while (done < bytes) {
    if (next_ == fill_) {
      const size_t wanted = bytes - done;
      if (wanted >= kBufferBytes) {
        // A large request goes straight to its destination.
        next_ = fill_ = 0;
        const ssize_t n = ReadSystem(out + done, wanted);
        if (n < 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
        continue;
      }
      const ssize_t n = ReadSystem(buffer_.get(), kBufferBytes);
      next_ = fill_ = 0;
      if (n < 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
      if (n == 0) break;
      fill_ = static_cast<size_t>(n);
    }
    const size_t take = std::min(bytes - done, fill_ - next_);
    std::memcpy(out + done, buffer_.get() + next_, take);
    next_ += take;
    done += take;
  }
  return static_cast<ssize_t>(done);
}

off_t FileReader::Seek(off_t offset, int whence) {
  const off_t buffer_at = end_at_ - static_cast<off_t>(fill_);
  const off_t here = buffer_at + static_cast<off_t>(next_);
  off_t target = 0;
  switch (whence) {
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = here + offset;
      break;
    case SEEK_END: {
      struct stat st {};
      if (fstat(fd_, &st) != 0) return -1;
      target = st.st_size + offset;
      break;
    }
    default:
      errno = EINVAL;
      return -1;
  }
  if (target < 0) {
    errno = EINVAL;
    return -1;
  }
  // Small steps back and forth, as the decoder makes while it looks for
  // headers, stay inside the buffer.
  if (target >= buffer_at && target <= end_at_) {
    next_ = static_cast<size_t>(target - buffer_at);
    return target;
  }
  if (::lseek(fd_, target, SEEK_SET) < 0) return -1;
  end_at_ = target;
  next_ = fill_ = 0;
  return target;
}

}  // namespace xaudio
