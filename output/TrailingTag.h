#pragma once

#include <cstdint>
#include <string>

// Which tag, if any, ends the file open at `fd` of `size` bytes, as the
// engine finds trailing tags (ID3v1, APEv2, Lyrics3v2, an appended ID3v2,
// stacked in any order): the first of them, where the audio ends. Empty when
// none, else a name for messages ("an ID3v1 tag"). False when the file could
// not be read.
bool TrailingTagName(int fd, std::int64_t size, std::string& name);
