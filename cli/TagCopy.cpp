#include "cli/TagCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "output/OutputWriter.h"
#include "stream/Id3Tag.h"
#include "stream/ReadAt.h"

namespace {

// Bytes [offset, offset + length) of `input`, in pieces of constant size,
// handed to `put`.
template <class Put>
bool CopyBytes(const std::string& input, std::int64_t offset, std::int64_t length, Put&& put,
               std::string& error) {
  // Without blocking, so that a FIFO is refused rather than waited on.
  const int in = ::open(input.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (in < 0 || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot open " + input + ": " + (in < 0 ? std::strerror(errno) : "not a regular file");
    if (in >= 0) ::close(in);
    return false;
  }
  std::vector<std::uint8_t> buffer(1 << 16);
  bool ok = true;
  while (ok && length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, 1 << 16));
    const ssize_t got = ReadAt(in, buffer.data(), want, offset);
    if (got <= 0) {
      error = "cannot read " + input + ": " + (got < 0 ? std::strerror(errno) : "the file shrank");
      ok = false;
      break;
    }
    ok = put(buffer.data(), static_cast<std::size_t>(got));
    offset += got;
    length -= got;
  }
  ::close(in);
  return ok;
}

}  // namespace

bool CopyLeadingTags(const std::string& input, OutputWriter& output, std::string& error) {
  std::int64_t length = 0;
  if (!LeadingTagsLength(input, length, error)) return false;
  return length == 0 ||
         CopyBytes(
             input, 0, length,
             [&](const std::uint8_t* d, std::size_t n) { return output.WriteLeading(d, n, error); }, error);
}

bool CopyTrailingTag(const std::string& input, OutputWriter& output, std::string& error) {
  if (!HasId3v1Tag(input)) return true;
  struct stat st {};
  if (::stat(input.c_str(), &st) != 0) {
    error = input + ": " + std::strerror(errno);
    return false;
  }
  return CopyBytes(
      input, st.st_size - 128, 128,
      [&](const std::uint8_t* d, std::size_t n) { return output.WriteTrailing(d, n, error); }, error);
}
