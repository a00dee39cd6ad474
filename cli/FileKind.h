#pragma once

#include <string>

class SourceFile;

// What a file that holds no MPEG audio stream is, from its first bytes (and
// those after its leading ID3v2 tags): "a WAV (RIFF) file", "a FLAC file",
// "an Ogg file", "an MP4/M4A file", "a JPEG image", "a PNG image", "an ID3
// tag without audio", "text"; empty when it is none of these.
std::string KnownOtherFormat(SourceFile& source);
