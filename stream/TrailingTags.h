#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Tags that taggers append after the audio. They hold text and binary data
// (cover art), whose bytes can look like frame headers, so the audio ends
// where the first of them begins. They are found from the end of the file,
// the way their readers find them, and may be stacked in any order:
//   ID3v1      "TAG" at size - 128 (only as the very last thing in the file);
//   APEv2/v1   a 32-byte footer: "APETAGEX", version, size of the items and
//              the footer, item count, flags (bit 31: a 32-byte header too),
//              all little-endian, then 8 reserved bytes;
//   Lyrics3v2  "LYRICSBEGIN" ... six decimal digits giving the block's size
//              up to them, then "LYRICS200";
//   ID3v2      appended with a footer: "3DI", version, revision, flags and the
//              syncsafe size of its header, as the tag's own header has them.

enum class TrailingTagKind { Id3v1, Ape, Lyrics3v2, Id3v2 };

struct TrailingTag {
  TrailingTagKind Kind = TrailingTagKind::Id3v1;
  std::int64_t Offset = 0;  // of its first byte
  std::int64_t Length = 0;
};

struct TrailingTags {
  // Where the audio ends: the first byte of the first trailing tag, or the
  // file's size when it has none.
  std::int64_t AudioEnd = 0;
  std::vector<TrailingTag> Tags;  // as found, from the end of the file backwards
};

// Reads `n` bytes at `at` into `into`; false when they could not all be read.
using ReadBytes = std::function<bool(std::int64_t at, std::uint8_t* into, std::size_t n)>;

// The trailing tags of a file of `size` bytes whose audio cannot begin before
// `floor` (the end of its leading tags): no tag reaches below it.
TrailingTags FindTrailingTags(std::int64_t size, std::int64_t floor, const ReadBytes& read);
// The same over bytes in memory.
TrailingTags FindTrailingTags(const std::uint8_t* data, std::int64_t size, std::int64_t floor);
// The same on a file, above its leading ID3v2 tags. False when it cannot be
// read, with `error` naming it and the reason.
bool FindTrailingTags(const std::string& path, TrailingTags& tags, std::string& error);
// The same on an input already open.
bool FindTrailingTags(class SourceFile& source, TrailingTags& tags, std::string& error);

// "ID3v1", "APE", "Lyrics3v2", "ID3v2", for messages.
const char* TrailingTagName(TrailingTagKind kind);
