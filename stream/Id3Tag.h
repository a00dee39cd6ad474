#pragma once

#include <cstdint>
#include <string>

class SourceFile;

// ID3v2 tags as taggers put them in front of MPEG audio streams, and the
// 128-byte ID3v1 tag at the end of a file.

// The length of the ID3v2 tag that starts at `b` (of which `available` bytes,
// at least 10 to tell, are at hand), 0 when `b` does not start one: "ID3", a
// version and a revision byte other than 0xFF, a flags byte, four size bytes
// below 0x80 (a 28-bit big-endian number, 7 bits each). The tag is 10 + size
// bytes, 10 more with a footer (flag 0x10). A tag that claims to reach past
// `remaining` (the bytes from `b` to the end of the file) is not a tag.
std::int64_t Id3v2TagLength(const std::uint8_t* b, std::size_t available, std::int64_t remaining);

// The length of the tags back to back at the start of the file at `path`
// (0 when it has none). False when the file could not be read, with `error`
// naming the file and the reason.
bool LeadingTagsLength(const std::string& path, std::int64_t& length, std::string& error);
bool LeadingTagsLength(SourceFile& source, std::int64_t& length, std::string& error);

// Whether the last 128 bytes of the file at `path` are an ID3v1 tag ("TAG").
bool HasId3v1Tag(const std::string& path);
bool HasId3v1Tag(const SourceFile& source);

// Why `source` did not open, in the words the tag readers use.
std::string TagSourceError(const SourceFile& source);
