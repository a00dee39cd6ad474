#pragma once

// Streams built from header fields, scratch directories, and a frame-by-frame
// scanner written the plain way, one position at a time over the whole file
// in memory: the yardstick for the buffered engine.

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "stream/FrameHeader.h"

namespace kerfwell_test {

using Bytes = std::string;

struct HeaderFields {
  int VersionId = 3;  // MPEG-1
  int Layer = 1;      // Layer III
  int Protection = 1;
  int BitRateIndex = 9;
  int SampleRateIndex = 0;
  int Padding = 0;
  int Mode = 1;
  int Copyright = 0;
  int Original = 1;
};

inline Bytes HeaderBytes(const HeaderFields& f) {
  Bytes b(4, '\0');
  b[0] = static_cast<char>(0xFF);
  b[1] = static_cast<char>(0xE0 | f.VersionId << 3 | f.Layer << 1 | f.Protection);
  b[2] = static_cast<char>(f.BitRateIndex << 4 | f.SampleRateIndex << 2 | f.Padding << 1);
  b[3] = static_cast<char>(f.Mode << 6 | f.Copyright << 3 | f.Original << 2);
  return b;
}

// A frame of `length` bytes: the header, then a body that holds no 0xFF byte,
// so nothing inside it can pass for a header.
inline Bytes Frame(const HeaderFields& f, int length, char fill = 0x55) {
  Bytes b = HeaderBytes(f);
  b.resize(static_cast<std::size_t>(length), fill);
  return b;
}

// MPEG-1 Layer III 128 kbps 44100 Hz: 417 bytes, 418 with padding.
inline Bytes Frame128(bool padded, char fill = 0x55) {
  HeaderFields f;
  f.Padding = padded;
  return Frame(f, padded ? 418 : 417, fill);
}

inline FrameHeader Decode(const Bytes& b, std::size_t at = 0) {
  FrameHeader h;
  DecodeFrameHeader(static_cast<std::uint8_t>(b[at]), static_cast<std::uint8_t>(b[at + 1]),
                    static_cast<std::uint8_t>(b[at + 2]), static_cast<std::uint8_t>(b[at + 3]),
                    static_cast<std::int64_t>(at), static_cast<std::int64_t>(b.size()), h);
  return h;
}

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// ---- the plain algorithm --------------------------------------------------

inline bool IsCandidate(const Bytes& d, std::size_t p) {
  return static_cast<std::uint8_t>(d[p]) == 0xFF && static_cast<std::uint8_t>(d[p + 1]) >= 0xE0;
}

inline std::uint8_t At(const Bytes& d, std::size_t p) { return static_cast<std::uint8_t>(d[p]); }

// Where the ID3v2 tags at the start of `d` end (0 without tags).
inline std::size_t PlainTagsEnd(const Bytes& d) {
  std::size_t p = 0;
  for (;;) {
    if (p + 10 > d.size() || d.compare(p, 3, "ID3") != 0 || At(d, p + 3) == 0xFF || At(d, p + 4) == 0xFF)
      return p;
    std::size_t size = 0;
    for (std::size_t i = 6; i < 10; ++i) {
      if (At(d, p + i) >= 0x80) return p;
      size = size * 128 + At(d, p + i);
    }
    const std::size_t length = 10 + size + ((At(d, p + 5) & 0x10) ? 10 : 0);
    if (p + length > d.size()) return p;
    p += length;
  }
}

// The header at `p` as the engine takes it: valid, or invalid only for its
// zero fourth byte (then decoded as if it were not, with Byte3 0).
struct PlainHeader {
  bool Valid = false;
  bool ZeroFourth = false;
  FrameHeader H;
};

inline PlainHeader PlainDecode(const Bytes& d, std::size_t p) {
  PlainHeader r;
  r.H = Decode(d, p);
  r.Valid = !r.H.Invalid;
  if (!r.Valid && At(d, p + 3) == 0) {
    FrameHeader h;
    DecodeFrameHeader(At(d, p), At(d, p + 1), At(d, p + 2), 1, static_cast<std::int64_t>(p),
                      static_cast<std::int64_t>(d.size()), h);
    if (!h.Invalid) {
      h.Byte3 = 0;
      r.H = h;
      r.ZeroFourth = true;
    }
  }
  return r;
}

inline bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  return a.VersionId == b.VersionId && a.Layer == b.Layer && a.SampleRateIndex == b.SampleRateIndex;
}

inline bool Holds(const Bytes& d, std::size_t at, const char* text) {
  const std::size_t n = std::char_traits<char>::length(text);
  return at + n <= d.size() && d.compare(at, n, text) == 0;
}

// Where the audio ends: before the tags appended to it, read from the end of
// the file, none of them reaching below `floor`.
inline std::size_t PlainAudioEnd(const Bytes& d, std::size_t floor) {
  std::size_t end = d.size();
  for (int n = 0; n < 16; ++n) {
    const std::size_t room = end - floor;
    std::size_t start = end;
    if (end == d.size() && room >= 128 && Holds(d, end - 128, "TAG")) {
      start = end - 128;
    } else if (room >= 32 && Holds(d, end - 32, "APETAGEX")) {
      std::size_t size = 0;
      for (int i = 3; i >= 0; --i) size = size * 256 + At(d, end - 20 + static_cast<std::size_t>(i));
      const bool header = (At(d, end - 9) & 0x80) != 0;
      const std::size_t whole = size + (header ? 32 : 0);
      if (size < 32 || whole > room || (header && !Holds(d, end - whole, "APETAGEX"))) break;
      start = end - whole;
    } else if (room >= 26 && Holds(d, end - 9, "LYRICS200")) {
      std::size_t size = 0;
      for (std::size_t i = end - 15; i < end - 9; ++i) {
        if (d[i] < '0' || d[i] > '9') return end;
        size = size * 10 + static_cast<std::size_t>(d[i] - '0');
      }
      if (size < 11 || size + 15 > room || !Holds(d, end - 15 - size, "LYRICSBEGIN")) break;
      start = end - 15 - size;
    } else if (room >= 20 && Holds(d, end - 10, "3DI") && At(d, end - 7) != 0xFF && At(d, end - 6) != 0xFF &&
               (At(d, end - 5) & 0x10)) {
      std::size_t size = 0;
      for (std::size_t i = end - 4; i < end; ++i) {
        if (At(d, i) >= 0x80) return end;
        size = size * 128 + At(d, i);
      }
      if (size + 20 > room || !Holds(d, end - 20 - size, "ID3") ||
          d.compare(end - 17 - size, 7, d, end - 7, 7) != 0)
        break;
      start = end - 20 - size;
    } else {
      break;
    }
    end = start;
  }
  return end;
}

// Whether the frame at `p` is an encoder's tag frame: a Layer III frame with
// "Xing" or "Info" after its side information, or "VBRI" 32 bytes after its
// header.
inline bool PlainIsTagFrame(const Bytes& d, std::size_t p, const FrameHeader& h) {
  if (h.Layer != 1) return false;
  const std::size_t length = static_cast<std::size_t>(h.FrameLength);
  const std::size_t side = h.VersionId == 3 ? (h.Mode == 3 ? 17 : 32) : (h.Mode == 3 ? 9 : 17);
  if (side + 8 <= length && (Holds(d, p + 4 + side, "Xing") || Holds(d, p + 4 + side, "Info"))) return true;
  return length >= 40 && Holds(d, p + 36, "VBRI");
}

// Where the walk stands: after a frame it took (in step) or not.
struct PlainStep {
  bool InStep = false;
  std::size_t PreviousEnd = 0;
  FrameHeader Previous;
};

// Whether the header at `p` is taken as a frame: in step as it is (a zero
// fourth byte only after a frame of its stream); out of step only when a
// header of its stream lies at its frame's end or its frame ends exactly
// where the audio ends.
inline bool PlainTakes(const Bytes& d, std::size_t p, const PlainHeader& h, const PlainStep& step,
                       std::size_t audioEnd) {
  if (!h.Valid && !h.ZeroFourth) return false;
  if (step.InStep && step.PreviousEnd == p && (h.Valid || SameStream(step.Previous, h.H))) return true;
  const std::size_t next = p + static_cast<std::size_t>(h.H.FrameLength);
  if (next == audioEnd) return true;
  if (next + 4 > audioEnd || !IsCandidate(d, next)) return false;
  const PlainHeader n = PlainDecode(d, next);
  return (n.Valid || n.ZeroFourth) && SameStream(n.H, h.H);
}

// The reference a probe finds: the first frame taken among the 2,097,152
// positions after the tags with four bytes of audio left, or, when that is a
// tag frame, the frame taken after it. Its position, or -1; `last` gets it,
// or on -1 the last candidate examined (Invalid).
inline std::int64_t PlainProbe(const Bytes& d, FrameHeader* last = nullptr) {
  const std::size_t from = PlainTagsEnd(d);
  const std::size_t audioEnd = PlainAudioEnd(d, from);
  const std::size_t window = from + 2097152;
  for (std::size_t p = from; p < window && p + 4 <= audioEnd; ++p) {
    if (!IsCandidate(d, p)) continue;
    const PlainHeader h = PlainDecode(d, p);
    if (!PlainTakes(d, p, h, PlainStep{}, audioEnd)) {
      if (last) {
        *last = Decode(d, p);
        last->Invalid = true;
      }
      continue;
    }
    if (last) *last = h.H;
    const std::size_t end = p + static_cast<std::size_t>(h.H.FrameLength);
    if (end > audioEnd || !PlainIsTagFrame(d, p, h.H)) return static_cast<std::int64_t>(p);
    const PlainStep step{true, end, h.H};
    for (std::size_t q = end; (q < window || q == end) && q + 4 <= audioEnd; ++q) {
      if (!IsCandidate(d, q)) continue;
      const PlainHeader a = PlainDecode(d, q);
      if (!PlainTakes(d, q, a, step, audioEnd)) continue;
      if (last) *last = a.H;
      return static_cast<std::int64_t>(q);
    }
    return static_cast<std::int64_t>(p);
  }
  return -1;
}

struct PlainScan {
  std::int32_t Count = 0;
  std::int32_t Copyable = 0;
  std::int32_t LeftOut = 0;
  std::int32_t AudioWritten = 0;
  bool TagFrame = false;  // frame 0 is a tag frame
  Bytes Output;
  std::vector<std::pair<std::int32_t, std::int32_t>> Progress;
};

inline PlainScan PlainScanFrames(const Bytes& d, std::int32_t start, std::int32_t stop, bool countOnly,
                                 const FrameHeader& ref, bool anyBitRate = false) {
  PlainScan r;
  const int tolerance = ref.Layer == 3 ? 4 : 1;
  std::size_t p = PlainTagsEnd(d);
  const std::size_t audioEnd = PlainAudioEnd(d, p);
  std::int32_t written = 0;
  PlainStep step;
  while (p + 4 <= audioEnd) {
    if (!IsCandidate(d, p)) {
      ++p;
      continue;
    }
    const PlainHeader h = PlainDecode(d, p);
    if (!PlainTakes(d, p, h, step, audioEnd)) {
      ++p;
      continue;
    }
    const std::int32_t index = r.Count++;
    const bool whole = p + static_cast<std::size_t>(h.H.FrameLength) <= audioEnd;
    const bool tagFrame = index == 0 && whole && PlainIsTagFrame(d, p, h.H);
    r.TagFrame = r.TagFrame || tagFrame;
    const bool fits = tagFrame || (anyBitRate ? SameStream(h.H, ref)
                                              : std::abs(h.H.FrameLength - ref.FrameLength) <= tolerance);
    const bool inRange = !countOnly && index >= start && index <= stop;
    if (fits && whole) ++r.Copyable;
    if (inRange && !fits) ++r.LeftOut;
    if (!whole) break;  // cut short: counted only
    if (inRange && fits) {
      r.Output += d.substr(p, static_cast<std::size_t>(h.H.FrameLength));
      r.Progress.emplace_back(written++, stop - start);
      if (!tagFrame) ++r.AudioWritten;
    }
    p += static_cast<std::size_t>(h.H.FrameLength);
    step = PlainStep{true, p, h.H};
  }
  return r;
}

// The frames of `d` that a scan against `ref` accepts, each as its bytes.
inline std::vector<Bytes> AcceptedFrames(const Bytes& d, const FrameHeader& ref) {
  std::vector<Bytes> frames;
  const PlainScan all = PlainScanFrames(d, 0, 0x7fffffff, false, ref);
  std::size_t at = 0;
  while (at < all.Output.size()) {
    const FrameHeader h = PlainDecode(all.Output, at).H;
    frames.push_back(all.Output.substr(at, static_cast<std::size_t>(h.FrameLength)));
    at += static_cast<std::size_t>(h.FrameLength);
  }
  return frames;
}

inline std::string TestData(const std::string& name) { return std::string(KERFWELL_TEST_DATA) + "/" + name; }

}  // namespace kerfwell_test
