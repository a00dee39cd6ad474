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

// Whether a zero-fourth-byte header at `p` is confirmed by the header at the
// end of its frame or by that end being the end of the file.
inline bool ConfirmedAhead(const Bytes& d, std::size_t p, const FrameHeader& h) {
  const std::size_t next = p + static_cast<std::size_t>(h.FrameLength);
  if (next == d.size()) return true;
  if (next + 4 > d.size() || !IsCandidate(d, next)) return false;
  const PlainHeader n = PlainDecode(d, next);
  return (n.Valid || n.ZeroFourth) && SameStream(n.H, h);
}

// Position of the first frame among the 2,097,152 positions after the tags
// with four bytes left, or -1. `last` gets the last candidate decoded.
inline std::int64_t PlainProbe(const Bytes& d, FrameHeader* last = nullptr) {
  const std::size_t from = PlainTagsEnd(d);
  for (std::size_t p = from; p < from + 2097152 && p + 4 <= d.size(); ++p) {
    if (!IsCandidate(d, p)) continue;
    const PlainHeader h = PlainDecode(d, p);
    const bool taken = h.Valid || (h.ZeroFourth && ConfirmedAhead(d, p, h.H));
    if (last) *last = taken ? h.H : Decode(d, p);
    if (taken) return static_cast<std::int64_t>(p);
  }
  return -1;
}

struct PlainScan {
  std::int32_t Count = 0;
  std::int32_t Copyable = 0;
  std::int32_t LeftOut = 0;
  Bytes Output;
  std::vector<std::pair<std::int32_t, std::int32_t>> Progress;
};

inline PlainScan PlainScanFrames(const Bytes& d, std::int32_t start, std::int32_t stop, bool countOnly,
                                 const FrameHeader& ref, bool anyBitRate = false) {
  PlainScan r;
  const int tolerance = ref.Layer == 3 ? 4 : 1;
  std::size_t p = PlainTagsEnd(d);
  std::int32_t written = 0;
  bool hasPrevious = false;
  std::size_t previousEnd = 0;
  FrameHeader previous;
  while (p + 4 <= d.size()) {
    if (!IsCandidate(d, p)) {
      ++p;
      continue;
    }
    const PlainHeader h = PlainDecode(d, p);
    if (!h.Valid && !h.ZeroFourth) {
      ++p;
      continue;
    }
    if (h.ZeroFourth && !(hasPrevious && previousEnd == p && SameStream(previous, h.H)) &&
        !ConfirmedAhead(d, p, h.H)) {
      ++p;
      continue;
    }
    const std::int32_t index = r.Count++;
    const bool fits =
        anyBitRate ? SameStream(h.H, ref) : std::abs(h.H.FrameLength - ref.FrameLength) <= tolerance;
    const bool whole = p + static_cast<std::size_t>(h.H.FrameLength) <= d.size();
    const bool inRange = !countOnly && index >= start && index <= stop;
    if (fits && whole) ++r.Copyable;
    if (inRange && !fits) ++r.LeftOut;
    if (!whole) break;  // cut short: counted only
    if (inRange && fits) {
      r.Output += d.substr(p, static_cast<std::size_t>(h.H.FrameLength));
      r.Progress.emplace_back(written++, stop - start);
    }
    p += static_cast<std::size_t>(h.H.FrameLength);
    hasPrevious = true;
    previousEnd = p;
    previous = h.H;
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
