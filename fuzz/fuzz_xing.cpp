// The Xing/Info/LAME tag code on arbitrary bytes: parsing a frame, rewriting
// its counts, building a fresh tag frame, and the two file operations that
// use them. Every buffer handed to the code is exactly as long as it is told,
// so that a read or write past it is caught.
//
// Invariants:
//  - a parsed tag's fields are the bytes where the layout puts them, inside
//    the frame;
//  - a rewrite changes only the fields the tag holds, parses back to the
//    counts written (and a tag CRC over the bytes before it), and a second
//    rewrite changes nothing;
//  - a built frame is one valid Layer III frame of the first header's stream
//    that parses back to the counts and TOC it was built with;
//  - on a file, updating the tag changes only the front frame, and updating
//    it again changes nothing; putting a fresh tag frame in front adds that
//    frame and nothing else, and a failure leaves the file (and its folder)
//    as they were.
//
// Input: 32 control bytes, then the content (a frame and what follows it).
//   c[0]      1 keep the end padding; 8 also on a file (slower: a quarter of
//             the inputs), 2 with an ID3v2 tag of 10 + c[1] % 128 bytes in
//             front of the content, 4 also trying a fresh tag frame
//   c[2]      length the parser is told of, when below the content's: c[2] * 8
//   c[4..7]   frames, c[8..11] bytes and c[12..13] music CRC to write
//   c[15..17] bytes 1 to 3 of a header to build a tag frame for
//   c[18..20] frames, c[22..23] * 256 * (1 + c[14] % 64) bytes for it
//   c[24]     1 the rewrite drops the encoder delay; 2 a reserved frame for
//             several bit rates; 4 a reserved frame with a LAME extension
//   c[25] % 4 its encoder; c[26..28] its delay (12 bits) and padding (12 bits)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "stream/FrameHeader.h"
#include "stream/Id3Tag.h"
#include "stream/XingFrame.h"
#include "output/ReservedTagFrame.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kControl = 32;

fs::path g_dir;

std::uint32_t Be32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
         static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}
std::uint16_t Be16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] << 8 | b[1]); }

// CRC-16 (0x8005 reflected, from 0) one bit at a time.
std::uint16_t ModelCrc(const std::uint8_t* data, std::size_t n, std::uint16_t crc = 0) {
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>(crc >> 1 ^ 0xA001) : crc >> 1;
  }
  return crc;
}

// The header at the front of a frame, a zero fourth byte read as a flagless
// stereo header, as tag frames written by ffmpeg have.
bool Layer3Header(const std::uint8_t* b, std::size_t n, FrameHeader& h) {
  if (n < 4 || b[0] != 0xFF || b[1] < 0xE0) return false;
  DecodeFrameHeader(b[0], b[1], b[2], b[3] == 0 ? 0x04 : b[3], 0, 0, h);
  return !h.Invalid && h.Layer == 1;
}

std::size_t SideInfo(const FrameHeader& h) {
  const bool mono = h.Mode == 3;
  return h.VersionId == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

// The bytes a rewrite of `tag` may change.
std::vector<bool> RewritableBytes(const XingTag& tag, std::size_t n) {
  std::vector<bool> mask(n, false);
  auto mark = [&](std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count && i < n; ++i) mask[i] = true;
  };
  std::size_t p = tag.Offset + 8;
  if (tag.Flags & kXingFramesFlag) mark(p, 4), p += 4;
  if (tag.Flags & kXingBytesFlag) mark(p, 4), p += 4;
  if (tag.Flags & kXingTocFlag) mark(p, 100);
  if (tag.HasLame) mark(tag.LameOffset + 21, 15);  // delay, padding, music length and CRC, tag CRC
  return mask;
}

void CheckParsed(const std::uint8_t* frame, std::size_t n, const XingTag& tag) {
  FrameHeader h;
  FUZZ_CHECK(Layer3Header(frame, n, h), "a tag in a frame that is not Layer III");
  const std::size_t size = std::min(n, static_cast<std::size_t>(h.FrameLength));
  FUZZ_CHECK(tag.Offset == 4 + SideInfo(h), "tag at %zu", tag.Offset);
  FUZZ_CHECK(tag.Offset + 8 <= size, "tag header past the frame");
  FUZZ_CHECK(std::memcmp(frame + tag.Offset, tag.Info ? "Info" : "Xing", 4) == 0, "tag name");
  FUZZ_CHECK(tag.Flags == Be32(frame + tag.Offset + 4), "flags");
  std::size_t p = tag.Offset + 8;
  if (tag.Flags & kXingFramesFlag) {
    FUZZ_CHECK(p + 4 <= size && tag.Frames == Be32(frame + p), "frames field");
    p += 4;
  }
  if (tag.Flags & kXingBytesFlag) {
    FUZZ_CHECK(p + 4 <= size && tag.Bytes == Be32(frame + p), "bytes field");
    p += 4;
  }
  if (tag.Flags & kXingTocFlag) {
    FUZZ_CHECK(p + 100 <= size && std::memcmp(tag.Toc.data(), frame + p, 100) == 0, "TOC field");
    p += 100;
  }
  if (tag.Flags & kXingQualityFlag) {
    FUZZ_CHECK(p + 4 <= size && tag.Quality == Be32(frame + p), "quality field");
    p += 4;
  }
  if (tag.HasLame) {
    FUZZ_CHECK(tag.LameOffset == p && p + 36 <= size, "LAME extension at %zu of %zu", tag.LameOffset, size);
    const std::uint8_t* l = frame + p;
    FUZZ_CHECK(tag.Encoder.size() <= 9 && std::memcmp(tag.Encoder.data(), l, tag.Encoder.size()) == 0,
               "encoder");
    FUZZ_CHECK(tag.EncoderDelay == (l[21] << 4 | l[22] >> 4) && tag.EndPadding == ((l[22] & 0x0F) << 8 | l[23]),
               "delay and padding");
    FUZZ_CHECK(tag.MusicLength == Be32(l + 28) && tag.MusicCrc == Be16(l + 32) && tag.TagCrc == Be16(l + 34),
               "LAME numbers");
  }
}

void CheckRewrite(const Bytes& frame, const XingTag& tag, const XingCounts& counts, const XingRewrite& rewrite) {
  const bool keep = rewrite.KeepEndPadding;
  Bytes once = frame;
  RewriteXingTag(once.data(), tag, counts, rewrite);
  const std::vector<bool> may = RewritableBytes(tag, frame.size());
  for (std::size_t i = 0; i < frame.size(); ++i)
    FUZZ_CHECK(may[i] || once[i] == frame[i], "the rewrite changed byte %zu, outside the fields", i);
  XingTag again;
  FUZZ_CHECK(ParseXingTag(once.data(), once.size(), again), "a rewritten tag no longer parses");
  CheckParsed(once.data(), once.size(), again);
  FUZZ_CHECK(again.Offset == tag.Offset && again.Flags == tag.Flags && again.Info == tag.Info &&
                 again.HasLame == tag.HasLame && again.LameOffset == tag.LameOffset &&
                 again.Encoder == tag.Encoder && again.Quality == tag.Quality,
             "the rewrite moved the tag");
  FUZZ_CHECK(again.Frames == ((tag.Flags & kXingFramesFlag) ? counts.Frames : 0), "frames written");
  FUZZ_CHECK(again.Bytes == ((tag.Flags & kXingBytesFlag) ? counts.Bytes : 0), "bytes written");
  FUZZ_CHECK(!(tag.Flags & kXingTocFlag) || again.Toc == counts.Toc, "TOC written");
  if (tag.HasLame) {
    FUZZ_CHECK(again.MusicLength == counts.Bytes && again.MusicCrc == counts.MusicCrc, "LAME counts written");
    FUZZ_CHECK(again.EndPadding == (keep ? tag.EndPadding : 0), "end padding %u (kept: %d, was %u)",
               again.EndPadding, keep, tag.EndPadding);
    FUZZ_CHECK(again.EncoderDelay == (rewrite.KeepEncoderDelay ? tag.EncoderDelay : 0), "encoder delay %u (kept: %d, was %u)",
               again.EncoderDelay, rewrite.KeepEncoderDelay, tag.EncoderDelay);
    FUZZ_CHECK(again.TagCrc == ModelCrc(once.data(), tag.TagCrcOffset()), "tag CRC");
  }
  FUZZ_CHECK(XingTagDescribes(again, counts), "the rewritten tag does not describe its counts");
  Bytes twice = once;
  RewriteXingTag(twice.data(), again, counts, rewrite);
  FUZZ_CHECK(twice == once, "a second rewrite changed the frame");
}

void CheckBuild(const std::uint8_t* c, const Bytes& content) {
  FrameHeader first;
  DecodeFrameHeader(0xFF, c[15] | 0xE0, c[16], c[17], 0, 0, first);
  first.Byte3 = c[17];
  const std::uint32_t frames = Be32(c + 18) >> 8;
  const std::uint64_t audioBytes = static_cast<std::uint64_t>(Be16(c + 22)) * 256 * (1 + (c[14] & 0x3F));
  XingToc toc{};
  std::copy_n(content.begin(), std::min(content.size(), toc.size()), toc.begin());
  const Bytes built = BuildXingFrame(first, frames, audioBytes, toc);
  const bool buildable = !first.Invalid && first.Layer == 1 && (first.VersionId == 3 || first.VersionId == 2);
  FUZZ_CHECK(built.empty() == !buildable, "built %zu bytes for %02X %02X %02X %02X (valid: %d)", built.size(),
             0xFF, c[15] | 0xE0, c[16], c[17], buildable);
  if (built.empty()) return;
  FrameHeader h;
  FUZZ_CHECK(Layer3Header(built.data(), built.size(), h), "the built frame has no Layer III header");
  FUZZ_CHECK(static_cast<std::size_t>(h.FrameLength) == built.size(), "built %zu bytes, the header says %d",
             built.size(), h.FrameLength);
  FUZZ_CHECK(h.VersionId == first.VersionId && h.SampleRateIndex == first.SampleRateIndex &&
                 h.Mode == first.Mode && h.Protection == 1 && h.Padding == 0,
             "the built frame is not of the first frame's stream");
  XingTag tag;
  FUZZ_CHECK(ParseXingTag(built.data(), built.size(), tag), "the built frame does not parse");
  CheckParsed(built.data(), built.size(), tag);
  const std::uint64_t bytes = std::min<std::uint64_t>(audioBytes + built.size(), UINT32_MAX);
  FUZZ_CHECK(!tag.Info && tag.Flags == (kXingFramesFlag | kXingBytesFlag | kXingTocFlag) &&
                 tag.Frames == frames && tag.Bytes == bytes && tag.Toc == toc && !tag.HasLame,
             "the built tag says %u frames, %u bytes; built for %u, %llu", tag.Frames, tag.Bytes, frames,
             static_cast<unsigned long long>(bytes));
}

// A tag frame reserved before the frames are known, then filled in.
void CheckReserved(const std::uint8_t* c, const Bytes& content) {
  const std::uint8_t first[4] = {0xFF, static_cast<std::uint8_t>(c[15] | 0xE0), c[16], c[17]};
  static const char* const kEncoders[4] = {"LAME3.100", "Lavc59.37", "Lavf", "LAME"};
  LameFields lame;
  lame.Encoder = kEncoders[c[25] % 4];
  lame.EncoderDelay = static_cast<std::uint16_t>(c[26] << 4 | c[27] >> 4);
  lame.EndPadding = static_cast<std::uint16_t>((c[27] & 0x0F) << 8 | c[28]);
  const bool withLame = c[24] & 4;
  const ReservedTagFrame reserved = ReserveTagFrame(first, withLame ? &lame : nullptr);
  FrameHeader given;
  DecodeFrameHeader(first[0], first[1], first[2], first[3] != 0 ? first[3] : 0x01, 0, 0, given);
  const bool reservable = !given.Invalid && given.Layer == 1;
  FUZZ_CHECK(reserved.Placeholder.empty() == !reservable, "reserved %zu bytes for %02X %02X %02X %02X",
             reserved.Placeholder.size(), first[0], first[1], first[2], first[3]);
  if (reserved.Placeholder.empty()) return;
  const Bytes& placeholder = reserved.Placeholder;
  FrameHeader h;
  FUZZ_CHECK(Layer3Header(placeholder.data(), placeholder.size(), h) &&
                 static_cast<std::size_t>(h.FrameLength) == placeholder.size(),
             "the placeholder is no whole Layer III frame");
  FUZZ_CHECK(h.VersionId == given.VersionId && h.SampleRateIndex == given.SampleRateIndex && h.Mode == given.Mode &&
                 h.Protection == 1 && h.Padding == 0 && h.BitRateIndex >= given.BitRateIndex,
             "the placeholder is not of the first frame's stream");
  FUZZ_CHECK(std::all_of(placeholder.begin() + 4, placeholder.end(), [](std::uint8_t b) { return b == 0; }),
             "the placeholder is not silent");

  XingCounts counts;
  counts.Frames = Be32(c + 4);
  counts.Bytes = Be32(c + 8);
  counts.MusicCrc = Be16(c + 12);
  std::copy_n(content.begin(), std::min(content.size(), counts.Toc.size()), counts.Toc.begin());
  const bool several = c[24] & 2;
  const Bytes filled = FillTagFrame(reserved, several, counts);
  FUZZ_CHECK(filled.size() == placeholder.size() && std::equal(filled.begin(), filled.begin() + 4, placeholder.begin()),
             "filling changed the frame's size or header");
  XingTag tag;
  FUZZ_CHECK(ParseXingTag(filled.data(), filled.size(), tag), "the filled frame does not parse");
  CheckParsed(filled.data(), filled.size(), tag);
  const std::uint32_t flags =
      kXingFramesFlag | kXingBytesFlag | kXingTocFlag | (withLame ? kXingQualityFlag : 0);
  FUZZ_CHECK(tag.Info == !several && tag.Flags == flags && tag.Frames == counts.Frames &&
                 tag.Bytes == counts.Bytes && tag.Toc == counts.Toc && tag.BlankSideInfo,
             "the filled tag does not say what it was filled with");
  FUZZ_CHECK(tag.HasLame == withLame, "LAME extension %d, asked %d", tag.HasLame, withLame);
  if (withLame) {
    FUZZ_CHECK(tag.Encoder == lame.Encoder && tag.EncoderDelay == lame.EncoderDelay &&
                   tag.EndPadding == lame.EndPadding && tag.MusicLength == counts.Bytes &&
                   tag.MusicCrc == counts.MusicCrc && tag.TagCrc == ModelCrc(filled.data(), tag.TagCrcOffset()),
               "the filled LAME extension: %s, delay %u, padding %u", tag.Encoder.c_str(), tag.EncoderDelay,
               tag.EndPadding);
  }
  FUZZ_CHECK(XingTagDescribes(tag, counts), "the filled tag does not describe its counts");
}

Bytes ReadAll(const fs::path& path) {
  Bytes bytes;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  std::uint8_t chunk[65536];
  for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  ::close(fd);
  return bytes;
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  FUZZ_CHECK(fd >= 0, "cannot create %s", path.c_str());
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    FUZZ_CHECK(n > 0, "write");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

std::size_t FilesIn(const fs::path& dir) {
  std::size_t n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) n += entry.is_regular_file() ? 1 : 0;
  return n;
}

// The front frame of the file: where it starts and how long it is.
void CheckFile(const std::uint8_t* c, const Bytes& content) {
  const bool keep = c[0] & 1;
  Bytes file;
  if (c[0] & 2) {
    const std::uint8_t body = c[1] & 0x7F;
    file = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, body};
    file.resize(10 + std::size_t{body}, 0);
  }
  file.insert(file.end(), content.begin(), content.end());
  const fs::path dir = g_dir / "file";
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directory(dir);
  const fs::path path = dir / "out.mp3";
  WriteAll(path, file);

  // The front frame: after the leading tags (the content may hold more).
  std::int64_t tags = 0;
  std::string message;
  FUZZ_CHECK(LeadingTagsLength(path.string(), tags, message), "%s", message.c_str());
  const std::size_t front = static_cast<std::size_t>(tags);
  FrameHeader h;
  const std::size_t frameLength = Layer3Header(file.data() + front, file.size() - front, h)
                                      ? static_cast<std::size_t>(h.FrameLength)
                                      : 0;
  const XingResult first = UpdateOutputXingFrame(path.string(), keep, message);
  const Bytes updated = ReadAll(path);
  // Only a whole frame is a tag frame.
  const TagFrameKind kind = frameLength > 0 && front + frameLength <= file.size()
                                ? TagFrameKindOf(file.data() + front, frameLength)
                                : TagFrameKind::None;
  if (first == XingResult::Dropped) {
    // Taken out: the file without its front frame, nothing else changed.
    FUZZ_CHECK(kind != TagFrameKind::None && front + frameLength <= file.size(), "dropped a frame that is not a tag frame");
    Bytes without = file;
    without.erase(without.begin() + static_cast<std::ptrdiff_t>(front),
                  without.begin() + static_cast<std::ptrdiff_t>(front + frameLength));
    FUZZ_CHECK(ReadAll(path) == without, "dropping the front frame changed more than that frame");
    FUZZ_CHECK(FilesIn(dir) == 1, "%zu files beside the output", FilesIn(dir));
    return;
  }
  FUZZ_CHECK(updated.size() == file.size(), "the update made %zu bytes of %zu", updated.size(), file.size());
  if (first != XingResult::Updated) {
    FUZZ_CHECK(updated == file, "a %s update changed the file",
               first == XingResult::NoTag ? "tagless" : "failed");
    FUZZ_CHECK(first != XingResult::NoTag || kind == TagFrameKind::None, "a tag frame was not seen");
  } else if (kind == TagFrameKind::Vbri) {
    FUZZ_CHECK(updated == file, "a VBRI frame left in place was changed");
  } else {
    FUZZ_CHECK(frameLength > 0 && front + frameLength <= file.size(), "updated a frame that is not whole");
    for (std::size_t i = 0; i < file.size(); ++i)
      FUZZ_CHECK(updated[i] == file[i] || (i >= front && i < front + frameLength),
                 "the update changed byte %zu, outside the front frame [%zu, %zu)", i, front, front + frameLength);
    XingTag tag;
    FUZZ_CHECK(ParseXingTag(updated.data() + front, frameLength, tag), "the updated frame does not parse");
    CheckParsed(updated.data() + front, frameLength, tag);
    if (tag.Flags & kXingBytesFlag) {
      FUZZ_CHECK(tag.Bytes >= frameLength && tag.Bytes <= file.size() - front, "bytes %u for a frame of %zu in %zu",
                 tag.Bytes, frameLength, file.size() - front);
      if (tag.Flags & kXingFramesFlag)
        FUZZ_CHECK(std::uint64_t{tag.Frames} * 24 <= tag.Bytes - frameLength, "%u frames in %zu bytes",
                   tag.Frames, tag.Bytes - frameLength);
    }
    const XingResult second = UpdateOutputXingFrame(path.string(), keep, message);
    FUZZ_CHECK(second == XingResult::Updated, "the second update: %d %s", static_cast<int>(second),
               message.c_str());
    FUZZ_CHECK(ReadAll(path) == updated, "a second update changed the file");
    FUZZ_CHECK(StartsWithXingFrame(path.string()), "the updated file no longer starts with its tag frame");
  }

  if (!(c[0] & 4)) return;
  const Bytes before = ReadAll(path);
  const bool tagged = StartsWithXingFrame(path.string());
  if (PrependXingFrame(path.string(), message)) {
    FUZZ_CHECK(!tagged, "a fresh tag frame in front of a tag frame");
    const Bytes after = ReadAll(path);
    FUZZ_CHECK(after.size() > before.size(), "nothing added");
    const std::size_t added = after.size() - before.size();
    FUZZ_CHECK(std::equal(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(front), after.begin()) &&
                   std::equal(before.begin() + static_cast<std::ptrdiff_t>(front), before.end(),
                              after.begin() + static_cast<std::ptrdiff_t>(front + added)),
               "the fresh frame did more than add %zu bytes at %zu", added, front);
    XingTag tag;
    FUZZ_CHECK(ParseXingTag(after.data() + front, added, tag), "the added frame does not parse");
    FrameHeader added_header;
    FUZZ_CHECK(Layer3Header(after.data() + front, added, added_header) &&
                   static_cast<std::size_t>(added_header.FrameLength) == added,
               "%zu bytes added for one frame", added);
    FUZZ_CHECK(StartsWithXingFrame(path.string()), "the file does not start with its fresh frame");
    FUZZ_CHECK(!PrependXingFrame(path.string(), message), "a second fresh frame went in front");
    FUZZ_CHECK(ReadAll(path) == after, "a refused fresh frame changed the file");
  } else {
    FUZZ_CHECK(!message.empty(), "refused without a reason");
    FUZZ_CHECK(ReadAll(path) == before, "a refused fresh frame changed the file: %s", message.c_str());
  }
  FUZZ_CHECK(FilesIn(dir) == 1, "%zu files beside the output", FilesIn(dir));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = MakeScratchDir("xing");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t c[kControl] = {};
  std::memcpy(c, data, std::min(size, kControl));
  const Bytes content(data + std::min(size, kControl), data + size);

  // CRC: eight bytes a step against one bit a step, and continued in pieces.
  const std::size_t cut = std::min<std::size_t>(content.size(), c[3]);
  FUZZ_CHECK(Crc16(content.data(), content.size()) == ModelCrc(content.data(), content.size()), "CRC of %zu bytes",
             content.size());
  FUZZ_CHECK(Crc16(content.data() + cut, content.size() - cut, Crc16(content.data(), cut)) ==
                 ModelCrc(content.data(), content.size()),
             "CRC continued after %zu bytes", cut);

  // Parsing, with the content's length and with a shorter one, each buffer
  // exactly that long.
  std::vector<std::size_t> lengths{content.size()};
  if (std::size_t{c[2]} * 8 < content.size()) lengths.push_back(std::size_t{c[2]} * 8);
  for (const std::size_t n : lengths) {
    const Bytes frame(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(n));
    XingTag tag;
    const bool parsed = ParseXingTag(frame.data(), frame.size(), tag);
    FUZZ_CHECK(FrameHoldsXingTag(frame.data(), frame.size()) == parsed, "the two parses disagree");
    if (!parsed) continue;
    CheckParsed(frame.data(), frame.size(), tag);
    XingCounts counts;
    counts.Frames = Be32(c + 4);
    counts.Bytes = Be32(c + 8);
    counts.MusicCrc = Be16(c + 12);
    for (std::size_t i = 0; i < counts.Toc.size(); ++i)
      counts.Toc[i] = static_cast<std::uint8_t>(i * 2 + c[13]);
    XingRewrite rewrite;
    rewrite.KeepEndPadding = c[0] & 1;
    rewrite.KeepEncoderDelay = !(c[24] & 1);
    CheckRewrite(frame, tag, counts, rewrite);
  }

  // A TOC from frame offsets that grow never falls back.
  const std::uint32_t tocFrames = std::max<std::uint32_t>(1, Be16(c + 4));
  const std::uint64_t step = 24 + c[6];
  const XingToc toc = MakeXingToc(tocFrames, tocFrames * step, [&](std::uint32_t k) { return k * step; });
  for (std::size_t i = 1; i < toc.size(); ++i) FUZZ_CHECK(toc[i - 1] <= toc[i], "TOC falls back at %zu", i);

  CheckBuild(c, content);
  CheckReserved(c, content);
  if (c[0] & 8) CheckFile(c, content);
  return 0;
}
