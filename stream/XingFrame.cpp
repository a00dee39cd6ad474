#include "stream/XingFrame.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kLameLength = 36;  // encoder string to tag CRC, inclusive

std::uint32_t ReadBe32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
         static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

std::uint16_t ReadBe16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] << 8 | b[1]); }

void WriteBe32(std::uint8_t* b, std::uint32_t v) {
  b[0] = static_cast<std::uint8_t>(v >> 24);
  b[1] = static_cast<std::uint8_t>(v >> 16);
  b[2] = static_cast<std::uint8_t>(v >> 8);
  b[3] = static_cast<std::uint8_t>(v);
}

void WriteBe16(std::uint8_t* b, std::uint16_t v) {
  b[0] = static_cast<std::uint8_t>(v >> 8);
  b[1] = static_cast<std::uint8_t>(v);
}

struct CrcTable {
  std::uint16_t Entries[256];
  constexpr CrcTable() : Entries() {
    for (int i = 0; i < 256; ++i) {
      std::uint16_t c = static_cast<std::uint16_t>(i);
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<std::uint16_t>(c >> 1 ^ 0xA001) : c >> 1;
      Entries[i] = c;
    }
  }
};
constexpr CrcTable kCrcTable;

// Side information bytes of a Layer III frame.
std::size_t SideInfoLength(const FrameHeader& h) {
  const bool mono = h.Mode == 3;
  if (h.VersionId == 3) return mono ? 17 : 32;
  return mono ? 9 : 17;
}

// A Layer III header at the front of a frame whose position is known. The
// decoder's zero-fourth-byte clause guards the search for frames against
// text; here it would only refuse ffmpeg's tag frames, whose stereo headers
// carry no flags at all (FF FB 90 00).
bool DecodeLayer3(const std::uint8_t* b, std::size_t length, FrameHeader& h) {
  if (length < 4 || b[0] != 0xFF || b[1] < 0xE0) return false;
  DecodeFrameHeader(b[0], b[1], b[2], b[3] == 0 ? 0x04 : b[3], 0, 0, h);
  h.Byte3 = b[3];
  return !h.Invalid && h.Layer == 1;
}

// An encoder name: printable ASCII that starts with a letter ("LAME3.100",
// "Lavc59.37", "Lavf"), NUL padded. Frames whose tag has no extension hold
// zeros there.
bool LooksLikeEncoder(const std::uint8_t* b) {
  if (!((b[0] >= 'A' && b[0] <= 'Z') || (b[0] >= 'a' && b[0] <= 'z'))) return false;
  bool ended = false;
  for (int i = 1; i < 9; ++i) {
    if (b[i] == 0) {
      ended = true;
    } else if (ended || b[i] < 0x20 || b[i] > 0x7E) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
  for (std::size_t i = 0; i < length; ++i)
    crc = static_cast<std::uint16_t>(crc >> 8 ^ kCrcTable.Entries[(crc ^ data[i]) & 0xFF]);
  return crc;
}

bool ParseXingTag(const std::uint8_t* frame, std::size_t length, XingTag& tag) {
  FrameHeader h;
  if (!DecodeLayer3(frame, length, h)) return false;
  const std::size_t size = std::min(length, static_cast<std::size_t>(h.FrameLength));
  const std::size_t offset = 4 + SideInfoLength(h);
  if (offset + 8 > size) return false;
  // Players take the frame for a tag only when the side information is blank:
  // an audio frame's never is. The first two bytes may be the header's CRC.
  for (std::size_t i = 6; i < offset; ++i) {
    if (frame[i] != 0) return false;
  }
  const bool xing = std::memcmp(frame + offset, "Xing", 4) == 0;
  const bool info = std::memcmp(frame + offset, "Info", 4) == 0;
  if (!xing && !info) return false;

  XingTag t;
  t.Offset = offset;
  t.Info = info;
  t.Flags = ReadBe32(frame + offset + 4);
  std::size_t p = offset + 8;
  auto field = [&](std::uint32_t flag, std::size_t n) {
    if (!(t.Flags & flag)) return false;
    if (p + n > size) return p = size + 1, false;
    return true;
  };
  if (field(kXingFramesFlag, 4)) t.Frames = ReadBe32(frame + p), p += 4;
  if (field(kXingBytesFlag, 4)) t.Bytes = ReadBe32(frame + p), p += 4;
  if (field(kXingTocFlag, 100)) std::memcpy(t.Toc.data(), frame + p, 100), p += 100;
  if (field(kXingQualityFlag, 4)) t.Quality = ReadBe32(frame + p), p += 4;
  if (p > size) return false;  // a declared field runs past the frame

  if (p + kLameLength <= size && LooksLikeEncoder(frame + p)) {
    const std::uint8_t* l = frame + p;
    t.HasLame = true;
    t.LameOffset = p;
    t.Encoder.assign(reinterpret_cast<const char*>(l), 9);
    t.Encoder.erase(std::find(t.Encoder.begin(), t.Encoder.end(), '\0'), t.Encoder.end());
    t.EncoderDelay = static_cast<std::uint16_t>(l[21] << 4 | l[22] >> 4);
    t.EndPadding = static_cast<std::uint16_t>((l[22] & 0x0F) << 8 | l[23]);
    t.MusicLength = ReadBe32(l + 28);
    t.MusicCrc = ReadBe16(l + 32);
    t.TagCrc = ReadBe16(l + 34);
  }
  tag = t;
  return true;
}

bool FrameHoldsXingTag(const std::uint8_t* frame, std::size_t length) {
  XingTag tag;
  return ParseXingTag(frame, length, tag);
}

void RewriteXingTag(std::uint8_t* frame, const XingTag& tag, const XingCounts& counts, bool keepEndPadding) {
  std::size_t p = tag.Offset + 8;
  if (tag.Flags & kXingFramesFlag) WriteBe32(frame + p, counts.Frames), p += 4;
  if (tag.Flags & kXingBytesFlag) WriteBe32(frame + p, counts.Bytes), p += 4;
  if (tag.Flags & kXingTocFlag) std::memcpy(frame + p, counts.Toc.data(), 100);
  if (!tag.HasLame) return;
  std::uint8_t* l = frame + tag.LameOffset;
  if (!keepEndPadding) {
    l[22] &= 0xF0;
    l[23] = 0;
  }
  WriteBe32(l + 28, counts.Bytes);
  WriteBe16(l + 32, counts.MusicCrc);
  // Last: it covers every byte before it, the fields above included.
  WriteBe16(l + 34, Crc16(frame, tag.TagCrcOffset()));
}

std::uint8_t XingTocEntry(std::uint64_t bytesBefore, std::uint64_t audioBytes) {
  if (audioBytes == 0) return 0;
  return static_cast<std::uint8_t>(std::min<std::uint64_t>(255, bytesBefore * 256 / audioBytes));
}

std::vector<std::uint8_t> BuildXingFrame(const FrameHeader& first, std::uint32_t frames,
                                         std::uint64_t audioBytes, const XingToc& toc) {
  if (first.Invalid || first.Layer != 1 || (first.VersionId != 3 && first.VersionId != 2)) return {};
  FrameHeader h = first;
  h.Protection = 1;  // no CRC: nothing in a tag frame needs guarding
  h.Padding = 0;
  h.PrivateBit = 0;
  const std::size_t needed = 4 + SideInfoLength(h) + 4 + 4 + 4 + 4 + 100;

  // Near the stream's average rate, so that a reader that estimates from the
  // first frame's bit rate is not far off.
  const std::int32_t sampleRate = HeaderSampleRate(h);
  const std::int64_t samples = static_cast<std::int64_t>(frames) * SamplesPerFrame(h);
  const std::int64_t average =
      samples > 0 ? static_cast<std::int64_t>(audioBytes) * 8 * sampleRate / samples / 1000 : 0;
  int index = 1;
  std::int64_t best = INT64_MAX;
  for (int i = 1; i <= 14; ++i) {
    h.BitRateIndex = i;
    const std::int64_t error = std::abs(HeaderBitRate(h) - average);
    if (error < best) {
      best = error;
      index = i;
    }
  }
  std::vector<std::uint8_t> frame;
  for (; index <= 14; ++index) {
    const std::uint8_t b1 = static_cast<std::uint8_t>(0xE0 | h.VersionId << 3 | 1 << 1 | 1);
    const std::uint8_t b2 = static_cast<std::uint8_t>(index << 4 | h.SampleRateIndex << 2);
    const std::uint8_t b3 =
        static_cast<std::uint8_t>(first.Byte3 & 0xCF);  // mode, flags, emphasis; no mode extension
    FrameHeader candidate;
    DecodeFrameHeader(0xFF, b1, b2, b3 == 0 ? 0x04 : b3, 0, 0, candidate);
    if (candidate.Invalid || static_cast<std::size_t>(candidate.FrameLength) < needed) continue;
    frame.assign(static_cast<std::size_t>(candidate.FrameLength), 0);
    frame[0] = 0xFF;
    frame[1] = b1;
    frame[2] = b2;
    frame[3] = b3;
    break;
  }
  if (frame.empty()) return {};

  std::uint8_t* t = frame.data() + 4 + SideInfoLength(h);
  std::memcpy(t, "Xing", 4);
  WriteBe32(t + 4, kXingFramesFlag | kXingBytesFlag | kXingTocFlag);
  WriteBe32(t + 8, frames);
  WriteBe32(t + 12,
            static_cast<std::uint32_t>(std::min<std::uint64_t>(audioBytes + frame.size(), UINT32_MAX)));
  std::memcpy(t + 16, toc.data(), toc.size());
  return frame;
}
