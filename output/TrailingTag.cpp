#include "output/TrailingTag.h"

#include <cstring>

#include "stream/ReadAt.h"

namespace {

bool At(const std::uint8_t* tail, std::int64_t tailStart, std::int64_t pos, const char* text) {
  const std::size_t n = std::strlen(text);
  if (pos < tailStart) return false;
  return std::memcmp(tail + (pos - tailStart), text, n) == 0;
}

}  // namespace

bool TrailingTagName(int fd, std::int64_t size, std::string& name) {
  name.clear();
  // Enough for an ID3v1 tag and any footer in front of it.
  constexpr std::int64_t kTail = 128 + 32;
  std::uint8_t tail[kTail] = {};
  const std::int64_t start = size > kTail ? size - kTail : 0;
  const ssize_t got = ReadAt(fd, tail, static_cast<std::size_t>(size - start), start);
  if (got < 0) return false;
  if (got != size - start) return true;  // shrank meanwhile: nothing to tell
  // The end of what comes before a closing ID3v1 tag, or the end of the file.
  const bool id3v1 = size >= 128 && At(tail, start, size - 128, "TAG");
  const std::int64_t end = id3v1 ? size - 128 : size;
  if (end >= 32 && At(tail, start, end - 32, "APETAGEX")) {
    name = "an APEv2 tag";
  } else if (end >= 9 && (At(tail, start, end - 9, "LYRICS200") || At(tail, start, end - 9, "LYRICSEND"))) {
    name = "a Lyrics3 tag";
  } else if (end >= 10 && At(tail, start, end - 10, "3DI")) {
    name = "an ID3v2 tag";
  } else if (id3v1) {
    name = "an ID3v1 tag";
  }
  return true;
}
