#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "stream/FrameWalk.h"
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
  std::int64_t start = 0;
  if (!in.Open(path, message) || !framewalk::SkipLeadingTags(in, start, message)) {
    if (error) *error = message;
    return false;
  }
  if (error) error->clear();

  // One-byte steps over the 2,097,152 positions after the tags; a position
  // with fewer than four bytes left in the file is not examined. A frame's
  // neighbour may lie past the window.
  const std::int64_t size = in.Size();
  const std::int64_t last = std::min(start + kProbeWindow, size - 3);  // one past the last position
  in.SetLimit(last + 3 + static_cast<std::int64_t>(kSmallestReadBuffer));
  auto bring = [&](std::int64_t p, std::int64_t n) {
    if (p + n <= in.WindowEnd()) return true;
    if (p + n > in.Limit() || !in.Advance(p, message)) return false;
    return p + n <= in.WindowEnd();
  };

  std::int64_t p = start;
  while (p < last) {
    if (!bring(p, 4)) break;
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
      if (!header.Invalid) {
        reference = header;
        return true;
      }
      const framewalk::Verdict v = framewalk::Classify(b);
      if (v.ZeroFourth) {
        // A stereo stream without flags: taken when the next header of the
        // same stream, or the end of the file, lies where its frame ends.
        bool confirmed = p + v.Length == size;
        if (!confirmed && p + v.Length + 4 <= size && bring(p, v.Length + 4)) {
          confirmed = framewalk::ConfirmsStream(in.At(p + v.Length), v.Key);
        }
        b = in.At(p);
        if (confirmed) {
          DecodeFrameHeader(b[0], b[1], b[2], 0x01, p, size, header);
          header.Byte3 = 0;
          reference = header;
          return true;
        }
      }
      reference = header;
    }
    ++p;
  }
  if (in.EndedEarly() && error) *error = "cannot read " + path + ": the file shrank while it was read";
  if (!message.empty() && error) *error = message;
  return false;
}

bool ProbeFile(const std::string& path, FrameHeader& reference) {
  return ProbeFileBuffered(path, reference, nullptr, kDefaultReadBuffer);
}

bool ProbeFile(const std::string& path, FrameHeader& reference, std::string& error) {
  return ProbeFileBuffered(path, reference, &error, kDefaultReadBuffer);
}
