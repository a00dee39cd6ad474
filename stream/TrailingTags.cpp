#include "stream/TrailingTags.h"

#include <cstring>

#include "stream/Id3Tag.h"
#include "stream/SourceFile.h"

namespace {

// Enough for any stack a tagger leaves; each tag moves the end back by at
// least 32 bytes, so a crafted file of thousands of them ends the search here.
constexpr int kMostTags = 16;

std::uint32_t Le32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// An APE tag whose footer ends at `end`: its first byte, or -1.
std::int64_t ApeStart(std::int64_t end, std::int64_t floor, const ReadBytes& read) {
  if (end - floor < 32) return -1;
  std::uint8_t f[32];
  if (!read(end - 32, f, 32) || std::memcmp(f, "APETAGEX", 8) != 0) return -1;
  const std::int64_t size = Le32(f + 12);  // items and footer
  const bool header = (Le32(f + 20) & 0x80000000u) != 0;
  const std::int64_t start = end - size - (header ? 32 : 0);
  if (size < 32 || start < floor) return -1;
  if (header) {
    std::uint8_t h[8];
    if (!read(start, h, 8) || std::memcmp(h, "APETAGEX", 8) != 0) return -1;
  }
  return start;
}

// A Lyrics3v2 block ending at `end`: its first byte, or -1.
std::int64_t Lyrics3Start(std::int64_t end, std::int64_t floor, const ReadBytes& read) {
  if (end - floor < 15 + 11) return -1;
  std::uint8_t f[15];
  if (!read(end - 15, f, 15) || std::memcmp(f + 6, "LYRICS200", 9) != 0) return -1;
  std::int64_t size = 0;
  for (int i = 0; i < 6; ++i) {
    if (f[i] < '0' || f[i] > '9') return -1;
    size = size * 10 + (f[i] - '0');
  }
  const std::int64_t start = end - 15 - size;
  if (size < 11 || start < floor) return -1;
  std::uint8_t h[11];
  if (!read(start, h, 11) || std::memcmp(h, "LYRICSBEGIN", 11) != 0) return -1;
  return start;
}

// An ID3v2 tag whose footer ends at `end`: its first byte, or -1. Its header
// must say what its footer says, and both that the tag has a footer (flag
// 0x10): a tag without that flag is ten bytes shorter to its own header, and
// to the reader of leading tags.
std::int64_t Id3v2Start(std::int64_t end, std::int64_t floor, const ReadBytes& read) {
  if (end - floor < 20) return -1;
  std::uint8_t f[10];
  if (!read(end - 10, f, 10) || std::memcmp(f, "3DI", 3) != 0 || f[3] == 0xFF || f[4] == 0xFF ||
      !(f[5] & 0x10))
    return -1;
  std::int64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (f[i] >= 0x80) return -1;
    size = size << 7 | f[i];
  }
  const std::int64_t start = end - 20 - size;
  if (start < floor) return -1;
  std::uint8_t h[10];
  if (!read(start, h, 10) || std::memcmp(h, "ID3", 3) != 0 || std::memcmp(h + 3, f + 3, 7) != 0) return -1;
  return start;
}

}  // namespace

TrailingTags FindTrailingTags(std::int64_t size, std::int64_t floor, const ReadBytes& read) {
  TrailingTags tags;
  std::int64_t end = size;
  for (int n = 0; n < kMostTags; ++n) {
    TrailingTag tag;
    std::uint8_t id[3];
    std::int64_t start = -1;
    if (end == size && end - floor >= 128 && read(end - 128, id, 3) && std::memcmp(id, "TAG", 3) == 0) {
      tag.Kind = TrailingTagKind::Id3v1;
      start = end - 128;
    } else if ((start = ApeStart(end, floor, read)) >= 0) {
      tag.Kind = TrailingTagKind::Ape;
    } else if ((start = Lyrics3Start(end, floor, read)) >= 0) {
      tag.Kind = TrailingTagKind::Lyrics3v2;
    } else if ((start = Id3v2Start(end, floor, read)) >= 0) {
      tag.Kind = TrailingTagKind::Id3v2;
    } else {
      break;
    }
    tag.Offset = start;
    tag.Length = end - start;
    tags.Tags.push_back(tag);
    end = start;
  }
  tags.AudioEnd = end;
  return tags;
}

TrailingTags FindTrailingTags(const std::uint8_t* data, std::int64_t size, std::int64_t floor) {
  return FindTrailingTags(size, floor, [data, size](std::int64_t at, std::uint8_t* into, std::size_t n) {
    if (at < 0 || at + static_cast<std::int64_t>(n) > size) return false;
    std::memcpy(into, data + at, n);
    return true;
  });
}

bool FindTrailingTags(SourceFile& source, TrailingTags& tags, std::string& error) {
  if (!source.IsOpen()) {
    error = TagSourceError(source);
    return false;
  }
  return source.Trailing(tags, error);
}

bool FindTrailingTags(const std::string& path, TrailingTags& tags, std::string& error) {
  SourceFile source(path);
  return FindTrailingTags(source, tags, error);
}

const char* TrailingTagName(TrailingTagKind kind) {
  switch (kind) {
    case TrailingTagKind::Id3v1:
      return "ID3v1";
    case TrailingTagKind::Ape:
      return "APE";
    case TrailingTagKind::Lyrics3v2:
      return "Lyrics3v2";
    case TrailingTagKind::Id3v2:
      return "ID3v2";
  }
  return "";
}
