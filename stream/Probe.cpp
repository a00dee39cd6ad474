#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "stream/InputFile.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"

bool ProbeFileBuffered(const std::string& path, FrameHeader& reference, std::string* error,
                       std::size_t bufferSize) {
  std::string message;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  InputFile in(std::max(bufferSize, kSmallestReadBuffer));
  if (!in.Open(path, message)) {
    if (error) *error = message;
    return false;
  }
  if (error) error->clear();

  // One-byte steps over positions 0 to 2,097,151; a position with fewer than
  // four bytes left in the file is not examined.
  const std::int64_t size = in.Size();
  const std::int64_t last = std::min(kProbeWindow, size - 3);  // one past the last position
  in.SetLimit(last + 3);
  std::int64_t p = 0;
  while (p < last) {
    if (p + 4 > in.WindowEnd()) {
      if (!in.Advance(p, message)) {
        if (error) *error = message;
        return false;
      }
      if (p + 4 > in.WindowEnd()) break;  // the file ended early
    }
    // Only a 0xFF can start a candidate: jump to the next one.
    const std::int64_t searchEnd = std::min(last, in.WindowEnd() - 3);
    const void* hit = std::memchr(in.At(p), 0xFF, static_cast<std::size_t>(searchEnd - p));
    if (hit == nullptr) {
      p = searchEnd;
      continue;
    }
    p += static_cast<const std::uint8_t*>(hit) - in.At(p);
    const std::uint8_t* b = in.At(p);
    if (IsSyncCandidate(b)) {
      FrameHeader header;
      DecodeFrameHeader(b[0], b[1], b[2], b[3], p, size, header);
      reference = header;
      if (!header.Invalid) return true;
    }
    ++p;
  }
  if (!in.Intact(message) && error) *error = message;
  return false;
}

bool ProbeFile(const std::string& path, FrameHeader& reference) {
  return ProbeFileBuffered(path, reference, nullptr, kDefaultReadBuffer);
}

bool ProbeFile(const std::string& path, FrameHeader& reference, std::string& error) {
  return ProbeFileBuffered(path, reference, &error, kDefaultReadBuffer);
}
