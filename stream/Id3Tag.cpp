#include "stream/Id3Tag.h"

#include <cerrno>
#include <cstring>

#include "stream/ReadAt.h"
#include "stream/SourceFile.h"

std::int64_t Id3v2TagLength(const std::uint8_t* b, std::size_t available, std::int64_t remaining) {
  if (available < 10 || remaining < 10) return 0;
  if (b[0] != 'I' || b[1] != 'D' || b[2] != '3' || b[3] == 0xFF || b[4] == 0xFF) return 0;
  std::int64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (b[i] >= 0x80) return 0;
    size = size << 7 | b[i];
  }
  const std::int64_t length = 10 + size + ((b[5] & 0x10) ? 10 : 0);
  return length <= remaining ? length : 0;
}

std::string TagSourceError(const SourceFile& source) {
  return "cannot open " + source.Path() + ": " +
         (source.OpenErrno() != 0 && !source.NotRegular() ? std::strerror(source.OpenErrno())
                                                          : "not a regular file");
}

bool LeadingTagsLength(SourceFile& source, std::int64_t& length, std::string& error) {
  length = 0;
  if (!source.IsOpen()) {
    error = TagSourceError(source);
    return false;
  }
  return source.LeadingTagsEnd(length, error);
}

bool LeadingTagsLength(const std::string& path, std::int64_t& length, std::string& error) {
  SourceFile source(path);
  return LeadingTagsLength(source, length, error);
}

bool HasId3v1Tag(const SourceFile& source) {
  if (!source.IsOpen() || source.Size() < 128) return false;
  std::uint8_t head[3];
  return ReadAt(source.Descriptor(), head, 3, source.Size() - 128) == 3 && std::memcmp(head, "TAG", 3) == 0;
}

bool HasId3v1Tag(const std::string& path) { return HasId3v1Tag(SourceFile(path)); }
