#include "cli/FileKind.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "stream/Id3Tag.h"
#include "stream/ReadAt.h"
#include "stream/SourceFile.h"

namespace {

constexpr std::size_t kLooked = 512;

std::string Signature(const std::uint8_t* b, std::size_t n) {
  const auto is = [&](std::size_t at, const char* text) {
    const std::size_t len = std::strlen(text);
    return at + len <= n && std::memcmp(b + at, text, len) == 0;
  };
  if (is(0, "RIFF") && is(8, "WAVE")) return "a WAV (RIFF) file";
  if (is(0, "RIFF") || is(0, "RIFX")) return "a RIFF file";
  if (is(0, "fLaC")) return "a FLAC file";
  if (is(0, "OggS")) return "an Ogg file";
  if (is(4, "ftyp")) return "an MP4/M4A file";
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return "a JPEG image";
  if (is(0, "\x89PNG")) return "a PNG image";
  if (n == 0) return "";
  // Printable text, UTF-8 included, with the usual white space.
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t c = b[i];
    if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') return "";
    if (c == 0x7F) return "";
  }
  return "text";
}

std::string At(const SourceFile& source, std::int64_t offset) {
  std::uint8_t b[kLooked];
  const ssize_t got = ReadAt(source.Descriptor(), b, kLooked, offset);
  return got > 0 ? Signature(b, static_cast<std::size_t>(got)) : "";
}

}  // namespace

std::string KnownOtherFormat(SourceFile& source) {
  if (!source.IsOpen()) return "";
  std::int64_t tags = 0;
  std::string error;
  if (LeadingTagsLength(source, tags, error) && tags > 0) {
    if (tags >= source.Size()) return "an ID3 tag without audio";
    const std::string after = At(source, tags);
    return after == "text" ? "" : after;
  }
  return At(source, 0);
}
