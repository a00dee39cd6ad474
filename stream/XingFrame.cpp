#include "stream/XingFrame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "stream/Id3Tag.h"
#include "stream/ReadAt.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

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

bool ParseXingTag(const std::uint8_t* frame, std::size_t length, XingTag& tag) {
  FrameHeader h;
  if (!DecodeLayer3(frame, length, h)) return false;
  const std::size_t size = std::min(length, static_cast<std::size_t>(h.FrameLength));
  const std::size_t offset = 4 + SideInfoLength(h);
  if (offset + 8 > size) return false;
  // Encoders leave the side information blank (mpg123 takes the frame for a
  // tag only then); the header's CRC, when there is one, takes its first two
  // bytes. A tagger's frame with bytes there still holds a tag to rewrite.
  bool blank = true;
  for (std::size_t i = 6; i < offset; ++i) blank = blank && frame[i] == 0;
  const bool xing = std::memcmp(frame + offset, "Xing", 4) == 0;
  const bool info = std::memcmp(frame + offset, "Info", 4) == 0;
  if (!xing && !info) return false;

  XingTag t;
  t.Offset = offset;
  t.Info = info;
  t.BlankSideInfo = blank;
  t.Flags = ReadBe32(frame + offset + 4);
  std::size_t p = offset + 8;
  // A field the flags declare but the frame cannot hold makes no tag that
  // could be rewritten.
  bool fits = true;
  auto field = [&](std::uint32_t flag, std::size_t n) {
    if (!(t.Flags & flag) || !fits) return false;
    fits = p + n <= size;
    return fits;
  };
  if (field(kXingFramesFlag, 4)) t.Frames = ReadBe32(frame + p), p += 4;
  if (field(kXingBytesFlag, 4)) t.Bytes = ReadBe32(frame + p), p += 4;
  if (field(kXingTocFlag, 100)) std::memcpy(t.Toc.data(), frame + p, 100), p += 100;
  if (field(kXingQualityFlag, 4)) t.Quality = ReadBe32(frame + p), p += 4;
  if (!fits) return false;

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

TagFrameKind TagFrameKindOf(const std::uint8_t* frame, std::size_t length) {
  FrameHeader h;
  if (!DecodeLayer3(frame, length, h)) return TagFrameKind::None;
  const std::size_t size = std::min(length, static_cast<std::size_t>(h.FrameLength));
  const std::size_t offset = 4 + SideInfoLength(h);
  if (offset + 4 <= size &&
      (std::memcmp(frame + offset, "Xing", 4) == 0 || std::memcmp(frame + offset, "Info", 4) == 0))
    return TagFrameKind::Xing;
  if (36 + 4 <= size && std::memcmp(frame + 36, "VBRI", 4) == 0) return TagFrameKind::Vbri;
  return TagFrameKind::None;
}

void RewriteXingTag(std::uint8_t* frame, const XingTag& tag, const XingCounts& counts, bool keepEndPadding) {
  XingRewrite keep;
  keep.KeepEndPadding = keepEndPadding;
  RewriteXingTag(frame, tag, counts, keep);
}

void RewriteXingTag(std::uint8_t* frame, const XingTag& tag, const XingCounts& counts,
                    const XingRewrite& keep) {
  std::size_t p = tag.Offset + 8;
  if (tag.Flags & kXingFramesFlag) WriteBe32(frame + p, counts.Frames), p += 4;
  if (tag.Flags & kXingBytesFlag) WriteBe32(frame + p, counts.Bytes), p += 4;
  if (tag.Flags & kXingTocFlag) std::memcpy(frame + p, counts.Toc.data(), 100);
  if (!tag.HasLame) return;
  std::uint8_t* l = frame + tag.LameOffset;
  if (!keep.KeepEncoderDelay) {
    l[21] = 0;
    l[22] &= 0x0F;
  }
  if (!keep.KeepEndPadding) {
    l[22] &= 0xF0;
    l[23] = 0;
  }
  WriteBe32(l + 28, counts.Bytes);
  WriteBe16(l + 32, counts.MusicCrc);
  // Last: it covers every byte before it, the fields above included.
  WriteBe16(l + 34, Crc16(frame, tag.TagCrcOffset()));
}

bool XingTagDescribes(const XingTag& tag, const XingCounts& counts) {
  if ((tag.Flags & kXingFramesFlag) && tag.Frames != counts.Frames) return false;
  if ((tag.Flags & kXingBytesFlag) && tag.Bytes != counts.Bytes) return false;
  if ((tag.Flags & kXingTocFlag) && tag.Toc != counts.Toc) return false;
  return !tag.HasLame || (tag.MusicLength == counts.Bytes && tag.MusicCrc == counts.MusicCrc);
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

// ---- on files ---------------------------------------------------------------

namespace {

std::string Reason(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failure to close (a delayed write error) is seen.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAt(int fd, const std::uint8_t* from, std::size_t n, std::int64_t at) {
  std::size_t put = 0;
  while (put < n) {
    const ssize_t w = ::pwrite(fd, from + put, n - put, at + static_cast<std::int64_t>(put));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    put += static_cast<std::size_t>(w);
  }
  return true;
}

// Opens a regular file; on failure `message` names it and the reason.
int OpenRegular(const std::string& path, int flags, struct stat& st, std::string& message) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    message = Reason("cannot open", path);
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    message = "cannot open " + path + ": not a regular file";
    ::close(fd);
    return -1;
  }
  return fd;
}

// The frame where the audio starts, right after the leading ID3v2 tags.
struct FrontFrame {
  std::int64_t Position = 0;
  FrameHeader Header;
  std::vector<std::uint8_t> Bytes;  // empty when no whole Layer III frame starts there
};

// Reads the frame at `front.Position` of `fd` (the file at `path`).
bool ReadFrameAt(const std::string& path, int fd, FrontFrame& front, std::string& message) {
  std::uint8_t head[4];
  const ssize_t got = ReadAt(fd, head, 4, front.Position);
  if (got < 0) {
    message = Reason("cannot read", path);
    return false;
  }
  if (got < 4 || !DecodeLayer3(head, 4, front.Header)) return true;
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(front.Header.FrameLength));
  const ssize_t whole = ReadAt(fd, frame.data(), frame.size(), front.Position);
  if (whole < 0) {
    message = Reason("cannot read", path);
    return false;
  }
  if (static_cast<std::size_t>(whole) == frame.size()) front.Bytes = std::move(frame);
  return true;
}

bool ReadFrontFrame(const std::string& path, int fd, FrontFrame& front, std::string& message) {
  std::string error;
  if (!LeadingTagsLength(path, front.Position, error)) {
    message = error;
    return false;
  }
  return ReadFrameAt(path, fd, front, message);
}

// The frames of a file from `from` on, as the scanner walks it with any bit
// rate: whole frames only, a frame the end of the file cuts short left out.
struct AudioFrames {
  std::uint32_t Frames = 0;
  std::int64_t End = 0;        // of the last whole frame
  std::uint16_t BitRates = 0;  // one bit per bit-rate index met
};

// With `inStep` (the header of the frame in front of `from`, or of the frame
// at `from`, which is then taken as it is) the walk starts in step there: the
// frames are those that follow that frame, and nothing inside it (a tag
// frame's table of contents) can pass for one. Without, the file is probed
// and walked from its start.
bool WalkAudio(const std::string& path, std::int64_t from, const std::uint8_t* inStep, AudioFrames& audio,
               std::string& message,
               const std::function<bool(std::uint32_t index, std::int64_t position)>& each = {}) {
  FrameHeader reference;
  std::string error;
  if (inStep != nullptr) {
    DecodeFrameHeader(inStep[0], inStep[1], inStep[2], inStep[3] == 0 ? 0x04 : inStep[3], 0, 0, reference);
  } else if (!ProbeFile(path, reference, error)) {
    message = error.empty() ? "no MPEG audio frame found in " + path : error;
    return false;
  }
  audio = AudioFrames{};
  audio.End = from;
  ScanOptions options;
  options.AnyBitRate = true;
  const auto visit = [&](const FrameVisit& f) {
    if (f.Position < from || !f.Whole) return true;
    if (each && !each(audio.Frames, f.Position)) return false;
    ++audio.Frames;
    audio.End = f.Position + f.Length;
    audio.BitRates |= static_cast<std::uint16_t>(1u << (f.Header[2] >> 4));
    return true;
  };
  const bool read = inStep != nullptr ? WalkFramesAfter(path, from, inStep, reference, options, visit, error)
                                      : WalkFrames(path, reference, options, visit, error);
  if (!read) message = error;
  return read;
}

// The TOC of the frames from `from` on, by a second walk: the first told how
// many there are, so this one knows which frames the entries fall on.
bool WalkToc(const std::string& path, std::int64_t from, const std::uint8_t* inStep, const AudioFrames& audio,
             XingToc& toc, std::string& message) {
  std::vector<std::int64_t> starts(100, -1);
  int next = 0;
  AudioFrames again;
  const bool read =
      WalkAudio(path, from, inStep, again, message, [&](std::uint32_t index, std::int64_t position) {
        while (next < 100 && XingTocFrame(next, audio.Frames) == index)
          starts[static_cast<std::size_t>(next++)] = position;
        return next < 100;
      });
  if (!read) return false;
  if (audio.Frames > 0 && next < 100) {
    message = path + " changed while it was read";
    return false;
  }
  const auto audioBytes = static_cast<std::uint64_t>(audio.End - from);
  toc = MakeXingToc(audio.Frames, audioBytes, [&](std::uint32_t k) {
    for (int i = 0; i < 100; ++i) {
      if (XingTocFrame(i, audio.Frames) == k)
        return static_cast<std::uint64_t>(starts[static_cast<std::size_t>(i)] - from);
    }
    return std::uint64_t{0};
  });
  return true;
}

bool MusicCrc(const std::string& path, int fd, std::int64_t from, std::int64_t to, std::uint16_t& crc,
              std::string& message) {
  std::vector<std::uint8_t> buffer(1 << 16);
  crc = 0;
  for (std::int64_t at = from; at < to;) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::int64_t>(to - at, static_cast<std::int64_t>(buffer.size())));
    const ssize_t got = ReadAt(fd, buffer.data(), n, at);
    if (got < 0) {
      message = Reason("cannot read", path);
      return false;
    }
    if (static_cast<std::size_t>(got) != n) {
      message = path + " changed while it was read";
      return false;
    }
    crc = Crc16(buffer.data(), n, crc);
    at += got;
  }
  return true;
}

std::uint32_t Clamp32(std::int64_t v) {
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, UINT32_MAX));
}

// Writes the file at `path` (open as `in`, `st` its status) anew beside itself,
// with the `remove` bytes at `where` replaced by `insert`, and renames the new
// file over it. On false the file is as it was.
bool ReplaceBeside(const std::string& outputPath, int inFd, const struct stat& st, std::int64_t where,
                   std::int64_t remove, const std::vector<std::uint8_t>& insert, std::string& message) {
  // Beside the file itself, so that a link to it stays a link.
  char* real = ::realpath(outputPath.c_str(), nullptr);
  const std::string target = real != nullptr ? real : outputPath;
  std::free(real);
  std::string tempPath = target + ".xing-XXXXXX";
  Fd out(::mkostemp(tempPath.data(), O_CLOEXEC));
  if (out.get() < 0) {
    message = Reason("cannot create a file beside", outputPath);
    return false;
  }
  // Copies [from, to) of the output into the new file, which is at `put`.
  std::vector<std::uint8_t> buffer(1 << 20);
  std::int64_t put = 0;
  auto copy = [&](std::int64_t from, std::int64_t to) {
    for (std::int64_t at = from; at < to;) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::int64_t>(to - at, static_cast<std::int64_t>(buffer.size())));
      const ssize_t got = ReadAt(inFd, buffer.data(), n, at);
      if (got < 0 || static_cast<std::size_t>(got) != n) {
        message = got < 0 ? Reason("cannot read", outputPath) : outputPath + " changed while it was read";
        return false;
      }
      if (!WriteAt(out.get(), buffer.data(), n, put)) {
        message = Reason("cannot write", tempPath);
        return false;
      }
      at += got;
      put += got;
    }
    return true;
  };
  bool ok = copy(0, where);
  if (ok && !insert.empty() && !WriteAt(out.get(), insert.data(), insert.size(), put)) {
    message = Reason("cannot write", tempPath);
    ok = false;
  }
  put += static_cast<std::int64_t>(insert.size());
  ok = ok && copy(where + remove, st.st_size);
  if (ok && (::fchmod(out.get(), st.st_mode & 07777) != 0 || ::fsync(out.get()) != 0 || !out.Close())) {
    message = Reason("cannot write", tempPath);
    ok = false;
  }
  if (ok && ::rename(tempPath.c_str(), target.c_str()) != 0) {
    message = Reason("cannot replace", outputPath);
    ok = false;
  }
  if (!ok) ::unlink(tempPath.c_str());
  return ok;
}

}  // namespace

XingResult UpdateOutputXingFrame(const std::string& outputPath, const XingRewrite& keep,
                                 std::string& message) {
  struct stat st {};
  Fd fd(OpenRegular(outputPath, O_RDONLY, st, message));
  if (fd.get() < 0) return XingResult::Failed;
  FrontFrame front;
  if (!ReadFrontFrame(outputPath, fd.get(), front, message)) return XingResult::Failed;
  // Not even opened for writing without a tag frame: a read-only output
  // without one is fine.
  if (front.Bytes.empty()) return XingResult::NoTag;
  const TagFrameKind kind = TagFrameKindOf(front.Bytes.data(), front.Bytes.size());
  if (kind == TagFrameKind::None) return XingResult::NoTag;

  // The audio is what follows the tag frame, walked in step from its own
  // header: nothing inside the frame (its table of contents) is taken for one.
  const std::int64_t audioStart = front.Position + static_cast<std::int64_t>(front.Bytes.size());
  AudioFrames audio;
  if (!WalkAudio(outputPath, audioStart, front.Bytes.data(), audio, message)) return XingResult::Failed;
  XingCounts counts;
  counts.Frames = audio.Frames;
  counts.Bytes = Clamp32(audio.End - front.Position);

  XingTag tag;
  if (kind == TagFrameKind::Vbri || !ParseXingTag(front.Bytes.data(), front.Bytes.size(), tag)) {
    // A VBRI frame, or a Xing/Info frame whose fields do not fit it: neither
    // is rewritten, so unless its counts are still the output's it would
    // tell players a false length. It is taken out.
    if (kind == TagFrameKind::Vbri && front.Bytes.size() >= 54) {
      const std::uint8_t* v = front.Bytes.data() + 36;
      const std::uint32_t bytes = ReadBe32(v + 10), frames = ReadBe32(v + 14);
      const bool framesTrue = frames == counts.Frames || frames == counts.Frames + 1;
      const bool bytesTrue = bytes == counts.Bytes || bytes == Clamp32(audio.End - audioStart);
      if (framesTrue && bytesTrue) return XingResult::Updated;  // still describes the output
    }
    if (!ReplaceBeside(outputPath, fd.get(), st, front.Position,
                       static_cast<std::int64_t>(front.Bytes.size()), {}, message)) {
      return XingResult::Failed;
    }
    message = outputPath + ": its first frame, " +
              (kind == TagFrameKind::Vbri ? std::string("a VBRI frame")
                                          : std::string("a Xing/Info frame that cannot be read")) +
              " that would not describe it, was taken out";
    return XingResult::Dropped;
  }

  if ((tag.Flags & kXingTocFlag) &&
      !WalkToc(outputPath, audioStart, front.Bytes.data(), audio, counts.Toc, message)) {
    return XingResult::Failed;
  }
  if (tag.HasLame && !MusicCrc(outputPath, fd.get(), audioStart, audio.End, counts.MusicCrc, message)) {
    return XingResult::Failed;
  }
  RewriteXingTag(front.Bytes.data(), tag, counts, keep);
  struct stat same {};
  Fd out(OpenRegular(outputPath, O_WRONLY, same, message));
  if (out.get() < 0) return XingResult::Failed;
  if (!WriteAt(out.get(), front.Bytes.data(), front.Bytes.size(), front.Position)) {
    message = Reason("cannot write", outputPath);
    return XingResult::Failed;
  }
  if (!out.Close()) {
    message = Reason("cannot write", outputPath);
    return XingResult::Failed;
  }
  return XingResult::Updated;
}

XingResult UpdateOutputXingFrame(const std::string& outputPath, bool keepEndPadding, std::string& message) {
  // A tag frame leads an output only when its job began with the source's
  // frame 0, and the audio frame after it (the yardstick, so always copied)
  // is the source's first: the encoder delay still stands.
  XingRewrite keep;
  keep.KeepEncoderDelay = true;
  keep.KeepEndPadding = keepEndPadding;
  return UpdateOutputXingFrame(outputPath, keep, message);
}

bool PrependXingFrame(const std::string& outputPath, std::string& message) {
  struct stat st {};
  Fd in(OpenRegular(outputPath, O_RDONLY, st, message));
  if (in.get() < 0) return false;
  FrontFrame front;
  if (!ReadFrontFrame(outputPath, in.get(), front, message)) return false;
  if (front.Bytes.empty()) {
    message = "no Layer III frame at the start of " + outputPath;
    return false;
  }
  if (TagFrameKindOf(front.Bytes.data(), front.Bytes.size()) != TagFrameKind::None) {
    message = outputPath + " already starts with a Xing/Info/VBRI frame";
    return false;
  }
  AudioFrames audio;
  XingToc toc{};
  if (!WalkAudio(outputPath, front.Position, front.Bytes.data(), audio, message) ||
      !WalkToc(outputPath, front.Position, front.Bytes.data(), audio, toc, message)) {
    return false;
  }
  const std::vector<std::uint8_t> frame =
      BuildXingFrame(front.Header, audio.Frames, static_cast<std::uint64_t>(audio.End - front.Position), toc);
  if (frame.empty()) {
    message = "no Xing frame fits the stream of " + outputPath;
    return false;
  }

  return ReplaceBeside(outputPath, in.get(), st, front.Position, 0, frame, message);
}

bool HoldsSeveralBitRates(const std::string& path) {
  struct stat st {};
  std::string message;
  Fd fd(OpenRegular(path, O_RDONLY, st, message));
  FrontFrame front;
  if (fd.get() < 0 || !ReadFrontFrame(path, fd.get(), front, message)) return false;
  std::int64_t from = front.Position;
  if (!front.Bytes.empty() && TagFrameKindOf(front.Bytes.data(), front.Bytes.size()) != TagFrameKind::None) {
    from += static_cast<std::int64_t>(front.Bytes.size());
  }
  AudioFrames audio;
  std::uint16_t seen = 0;
  WalkAudio(path, from, front.Bytes.empty() ? nullptr : front.Bytes.data(), audio, message,
            [&](std::uint32_t, std::int64_t) {
              seen = audio.BitRates;
              return (seen & (seen - 1)) == 0;  // on until a second bit rate shows
            });
  seen = audio.BitRates;
  return (seen & (seen - 1)) != 0;
}

bool StartsWithXingFrame(SourceFile& source) {
  std::string message;
  FrontFrame front;
  if (!source.IsOpen() || !source.LeadingTagsEnd(front.Position, message) ||
      !ReadFrameAt(source.Path(), source.Descriptor(), front, message))
    return false;
  return !front.Bytes.empty() && TagFrameKindOf(front.Bytes.data(), front.Bytes.size()) != TagFrameKind::None;
}

bool StartsWithXingFrame(const std::string& path) {
  SourceFile source(path);
  return StartsWithXingFrame(source);
}
