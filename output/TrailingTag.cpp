#include "output/TrailingTag.h"

#include "stream/ReadAt.h"
#include "stream/TrailingTags.h"

bool TrailingTagName(int fd, std::int64_t size, std::string& name) {
  name.clear();
  bool readFailed = false;
  const TrailingTags tags = FindTrailingTags(size, 0, [&](std::int64_t at, std::uint8_t* into, std::size_t n) {
    const ssize_t got = ReadAt(fd, into, n, at);
    readFailed = readFailed || got < 0;
    return got == static_cast<ssize_t>(n);
  });
  if (readFailed) return false;
  if (tags.Tags.empty()) return true;
  // The tag that the audio runs into: the first of them in the file.
  switch (tags.Tags.back().Kind) {
    case TrailingTagKind::Id3v1:
      name = "an ID3v1 tag";
      break;
    case TrailingTagKind::Ape:
      name = "an APEv2 tag";
      break;
    case TrailingTagKind::Lyrics3v2:
      name = "a Lyrics3 tag";
      break;
    case TrailingTagKind::Id3v2:
      name = "an ID3v2 tag";
      break;
  }
  return true;
}
