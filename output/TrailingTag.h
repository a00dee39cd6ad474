#pragma once

#include <cstdint>
#include <string>

// Which tag, if any, ends the file open at `fd` of `size` bytes: an ID3v1 tag
// ("TAG" 128 bytes from the end), an APEv2 tag (its "APETAGEX" footer), a
// Lyrics3 block ("LYRICS200" or "LYRICSEND") or an ID3v2 tag appended with its
// footer ("3DI"), each also in front of a closing ID3v1 tag. Empty when none,
// else a name for messages ("an ID3v1 tag"). False when the file could not be
// read.
bool TrailingTagName(int fd, std::int64_t size, std::string& name);
