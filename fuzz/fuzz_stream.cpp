// The stream engine on arbitrary bytes: header decoding, probing, counting and
// cutting, each checked against a plain model that takes one step at a time
// over the bytes in memory, as the engine must behave whatever its window size.
//
// Input: 16 control bytes, then the file's content.
//   c[0]      flags: 0x11 put the content after a zero gap that ends near the end
//             of the probe window; 2 take the reference from c[4..7] instead
//             of the probe; 4 start and stop frames as raw 32-bit values;
//             8 also cut into an output that already holds bytes
//   c[1]      read window of the buffered engine: 2048 + 16 * c[1] bytes
//             (2048 * (1 + c[1]) behind a gap)
//   c[2]      where the gap ends: 2 MiB - 1024 + 8 * c[2]
//   c[4..7]   a header for the reference, and for decoding on its own
//   c[8..11]  start frame (c[8] as a signed byte unless raw)
//   c[12..15] stop frame (c[12] as a signed byte unless raw)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "stream/FrameHeader.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kControl = 16;
constexpr std::int64_t kProbeWindowSize = 2097152;

fs::path g_dir;

// ---- An independent reading of the header rules -------------------------

// The models are left out of coverage: their loops over a 2 MiB gap would
// cost more than the engine's, and their branches are not what is explored.
#define KERFWELL_MODEL __attribute__((no_sanitize("coverage")))

// kbps by [MPEG-1][layer as coded][index]; MPEG-2 shares Layers II and III.
constexpr std::int32_t kKbps[2][4][16] = {
    {{},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}},
    {{},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}},
};
constexpr std::int32_t kHz[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

struct Verdict {
  bool valid = false;
  std::int32_t length = 0;
  std::int32_t kbps = 0;
  std::int32_t hz = 0;
};

KERFWELL_MODEL Verdict Judge(const std::uint8_t* b) {
  const int version = (b[1] >> 3) & 3;
  const int layer = (b[1] >> 1) & 3;
  const int rateIndex = b[2] >> 4;
  const int hzIndex = (b[2] >> 2) & 3;
  const int padding = (b[2] >> 1) & 1;
  Verdict v;
  v.valid = b[0] != 0 && b[1] != 0 && b[2] != 0 && b[3] != 0 && (version == 3 || version == 2) &&
            layer != 0 && rateIndex != 0 && rateIndex != 15 && hzIndex != 3;
  if (!v.valid) return v;
  const bool mpeg1 = version == 3;
  v.kbps = kKbps[mpeg1][layer][rateIndex];
  v.hz = kHz[mpeg1][hzIndex];
  if (layer == 3) {
    v.length = (12000 * v.kbps / v.hz + padding) * 4;  // Layer I: four-byte slots
  } else if (layer == 2 || mpeg1) {
    v.length = 144000 * v.kbps / v.hz + padding;
  } else {
    v.length = 72000 * v.kbps / v.hz + padding;  // MPEG-2 Layer III: half the samples
  }
  return v;
}

KERFWELL_MODEL bool IsCandidate(const std::uint8_t* b) { return b[0] == 0xFF && b[1] >= 0xE0; }

void CheckDecoded(const std::uint8_t* b, std::int64_t position, std::int64_t fileSize) {
  FrameHeader h;
  DecodeFrameHeader(b[0], b[1], b[2], b[3], position, fileSize, h);
  const Verdict v = Judge(b);
  FUZZ_CHECK(h.Invalid == !v.valid, "%02X %02X %02X %02X", b[0], b[1], b[2], b[3]);
  FUZZ_CHECK(h.Byte0 == b[0] && h.Byte1 == b[1] && h.Byte2 == b[2] && h.Byte3 == b[3], "bytes");
  FUZZ_CHECK(h.Position == position && h.FileSize == fileSize, "position and size");
  FUZZ_CHECK(h.VersionId == ((b[1] >> 3) & 3) && h.Layer == ((b[1] >> 1) & 3) && h.Protection == (b[1] & 1),
             "byte 1 fields");
  FUZZ_CHECK(h.BitRateIndex == (b[2] >> 4) && h.SampleRateIndex == ((b[2] >> 2) & 3) &&
                 h.Padding == ((b[2] >> 1) & 1) && h.PrivateBit == (b[2] & 1),
             "byte 2 fields");
  FUZZ_CHECK(h.Mode == (b[3] >> 6) && h.Copyright == ((b[3] >> 3) & 1) && h.Original == ((b[3] >> 2) & 1),
             "byte 3 fields");
  const StreamInfoTexts texts = DescribeHeader(h);
  if (v.valid) {
    FUZZ_CHECK(h.FrameLength == v.length, "%02X %02X %02X %02X: length %d, expected %d", b[0], b[1], b[2],
               b[3], h.FrameLength, v.length);
    FUZZ_CHECK(h.FrameLength >= 24 && h.FrameLength <= 1729, "length %d", h.FrameLength);
    FUZZ_CHECK(h.FrameEstimate == fileSize / v.length, "estimate");
    FUZZ_CHECK(HeaderBitRate(h) == v.kbps && HeaderSampleRate(h) == v.hz, "table lookups");
    FUZZ_CHECK(texts.BitRate == std::to_string(v.kbps) + " kbps", "bit-rate text");
    FUZZ_CHECK(!texts.Version.empty() && !texts.Layer.empty() && !texts.Mode.empty(), "texts");
  } else {
    FUZZ_CHECK(texts.Version.empty() && texts.BitRate.empty() && texts.Mode.empty(),
               "texts of an invalid header");
  }
}

std::string Two(std::int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); }

void CheckDuration(std::int64_t fileSize, std::int32_t bitRate) {
  const std::string text = FormatDuration(fileSize, bitRate);
  if (fileSize < 0 || fileSize > (std::int64_t{1} << 56)) return;  // no promise made there
  if (bitRate <= 0) {
    FUZZ_CHECK(text == "00:00.00", "duration at %d kbps: %s", bitRate, text.c_str());
    return;
  }
  const std::int64_t t = fileSize * 8 / 1000 / bitRate;
  const std::string expected = Two(t / 3600) + ":" + Two(t / 60 % 60) + "." + Two(t % 60);
  FUZZ_CHECK(text == expected, "%lld bytes at %d kbps: %s, expected %s", static_cast<long long>(fileSize),
             bitRate, text.c_str(), expected.c_str());
}

// ---- The one-step model of probing and scanning --------------------------

// Where the ID3v2 tags in front of the stream end.
KERFWELL_MODEL std::int64_t TagsEnd(const std::vector<std::uint8_t>& file) {
  const std::int64_t size = static_cast<std::int64_t>(file.size());
  std::int64_t p = 0;
  for (;;) {
    if (p + 10 > size) return p;
    const std::uint8_t* t = file.data() + p;
    if (t[0] != 'I' || t[1] != 'D' || t[2] != '3' || t[3] == 0xFF || t[4] == 0xFF) return p;
    if ((t[6] | t[7] | t[8] | t[9]) & 0x80) return p;
    const std::int64_t length =
        10 + (std::int64_t{t[6]} << 21 | t[7] << 14 | t[8] << 7 | t[9]) + ((t[5] & 0x10) ? 10 : 0);
    if (p + length > size) return p;
    p += length;
  }
}

// A header that fails only for its zero fourth byte, judged as if it had one.
KERFWELL_MODEL Verdict JudgeZeroFourth(const std::uint8_t* b) {
  if (b[3] != 0) return {};
  const std::uint8_t flagged[4] = {b[0], b[1], b[2], 1};
  return Judge(flagged);
}

KERFWELL_MODEL bool SameStream(const std::uint8_t* a, const std::uint8_t* b) {
  return ((a[1] ^ b[1]) & 0x1E) == 0 && ((a[2] ^ b[2]) & 0x0C) == 0;
}

KERFWELL_MODEL bool Holds(const std::vector<std::uint8_t>& file, std::int64_t at, const char* text) {
  const std::int64_t n = static_cast<std::int64_t>(std::strlen(text));
  return at >= 0 && at + n <= static_cast<std::int64_t>(file.size()) &&
         std::memcmp(file.data() + at, text, n) == 0;
}

// Where the audio ends: before the tags appended after it (ID3v1 last, APE,
// Lyrics3v2, ID3v2 with a footer, in any order), none reaching below `floor`.
KERFWELL_MODEL std::int64_t AudioEnd(const std::vector<std::uint8_t>& file, std::int64_t floor) {
  const std::int64_t size = static_cast<std::int64_t>(file.size());
  const std::uint8_t* f = file.data();
  std::int64_t end = size;
  for (int n = 0; n < 16; ++n) {
    const std::int64_t room = end - floor;
    std::int64_t start = -1;
    if (end == size && room >= 128 && Holds(file, end - 128, "TAG")) {
      start = end - 128;
    } else if (room >= 32 && Holds(file, end - 32, "APETAGEX")) {
      const std::int64_t items = std::int64_t{f[end - 20]} | std::int64_t{f[end - 19]} << 8 |
                                 std::int64_t{f[end - 18]} << 16 | std::int64_t{f[end - 17]} << 24;
      const std::int64_t whole = items + ((f[end - 9] & 0x80) ? 32 : 0);
      if (items >= 32 && whole <= room && (!(f[end - 9] & 0x80) || Holds(file, end - whole, "APETAGEX")))
        start = end - whole;
    } else if (room >= 26 && Holds(file, end - 9, "LYRICS200")) {
      std::int64_t n6 = 0;
      bool digits = true;
      for (std::int64_t i = end - 15; i < end - 9; ++i) {
        digits = digits && f[i] >= '0' && f[i] <= '9';
        n6 = n6 * 10 + (f[i] - '0');
      }
      if (digits && n6 >= 11 && n6 + 15 <= room && Holds(file, end - 15 - n6, "LYRICSBEGIN"))
        start = end - 15 - n6;
    } else if (room >= 20 && Holds(file, end - 10, "3DI") && f[end - 7] != 0xFF && f[end - 6] != 0xFF &&
               (f[end - 5] & 0x10) && !((f[end - 4] | f[end - 3] | f[end - 2] | f[end - 1]) & 0x80)) {
      const std::int64_t body =
          std::int64_t{f[end - 4]} << 21 | f[end - 3] << 14 | f[end - 2] << 7 | f[end - 1];
      const std::int64_t tag = end - 20 - body;
      if (body + 20 <= room && Holds(file, tag, "ID3") && std::memcmp(f + tag + 3, f + end - 7, 7) == 0)
        start = tag;
    }
    if (start < 0) break;
    end = start;
  }
  return end;
}

// An encoder's tag frame: Layer III with "Xing"/"Info" after its side
// information, or "VBRI" 32 bytes after its header.
KERFWELL_MODEL bool IsTagFrame(const std::vector<std::uint8_t>& file, std::int64_t p, std::int32_t length) {
  const std::uint8_t* b = file.data() + p;
  if (((b[1] >> 1) & 3) != 1) return false;
  const bool mono = (b[3] >> 6) == 3;
  const std::int64_t side = ((b[1] >> 3) & 3) == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  if (side + 8 <= length && (Holds(file, p + 4 + side, "Xing") || Holds(file, p + 4 + side, "Info")))
    return true;
  return length >= 40 && Holds(file, p + 36, "VBRI");
}

// Where the walk stands: after a frame it took, or out of step.
struct Step {
  std::int64_t previousEnd = -1;
  const std::uint8_t* previous = nullptr;
};

// The header at `p` as the walk takes it, or an invalid verdict: in step as it
// is (a zero fourth byte only after a frame of its stream); out of step only
// with a header of its stream at its frame's end, or its frame ending where
// the audio ends.
KERFWELL_MODEL Verdict Taken(const std::vector<std::uint8_t>& file, std::int64_t p, const Step& step,
                             std::int64_t audioEnd) {
  const std::uint8_t* b = file.data() + p;
  Verdict v = Judge(b);
  const bool valid = v.valid;
  if (!valid) v = JudgeZeroFourth(b);
  if (!v.valid) return {};
  if (step.previousEnd == p && (valid || SameStream(step.previous, b))) return v;
  const std::int64_t next = p + v.length;
  if (next == audioEnd) return v;
  if (next + 4 > audioEnd) return {};
  const std::uint8_t* n = file.data() + next;
  if (IsCandidate(n) && SameStream(n, b) && (Judge(n).valid || JudgeZeroFourth(n).valid)) return v;
  return {};
}

struct ProbeModel {
  bool found = false;
  std::int64_t lastCandidate = -1;  // the header the reference ends up holding
  std::int64_t tagFrame = -1;       // frame 0 when it is a tag frame
};

KERFWELL_MODEL ProbeModel Probe(const std::vector<std::uint8_t>& file) {
  ProbeModel m;
  const std::int64_t from = TagsEnd(file);
  const std::int64_t audioEnd = AudioEnd(file, from);
  const std::int64_t window = from + kProbeWindowSize;
  const std::int64_t end = std::min(window, audioEnd - 3);
  for (std::int64_t p = from; p < end; ++p) {
    const std::uint8_t* b = file.data() + p;
    if (*b != 0xFF) {  // straight to the next 0xFF: a gap is long
      const void* next = std::memchr(b, 0xFF, static_cast<std::size_t>(end - p));
      if (next == nullptr) break;
      p = static_cast<const std::uint8_t*>(next) - file.data();
      b = file.data() + p;
    }
    if (!IsCandidate(b)) continue;
    m.lastCandidate = p;
    const Verdict v = Taken(file, p, Step{}, audioEnd);
    if (!v.valid) continue;
    m.found = true;
    if (p + v.length > audioEnd || !IsTagFrame(file, p, v.length)) break;
    // A tag frame: the reference is the audio frame taken after it.
    m.tagFrame = p;
    const Step step{p + v.length, b};
    for (std::int64_t q = p + v.length; (q < end || q == p + v.length) && q + 4 <= audioEnd; ++q) {
      if (IsCandidate(file.data() + q) && Taken(file, q, step, audioEnd).valid) {
        m.lastCandidate = q;
        break;
      }
    }
    break;
  }
  return m;
}

struct ScanModel {
  std::int32_t count = 0;
  std::int32_t written = 0;
  std::int32_t audioWritten = 0;
  std::int32_t leftOut = 0;
  std::int32_t copyable = 0;
  bool zeroFourthWritten = false;
  bool mixedStreams = false;  // written frames of more than one stream
  std::vector<std::uint8_t> output;
};

std::int32_t Clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

KERFWELL_MODEL ScanModel Scan(const std::vector<std::uint8_t>& file, std::int32_t start, std::int32_t stop,
                              const FrameHeader& reference, bool countOnly) {
  ScanModel m;
  // The padded and unpadded frames of the reference: one byte, one slot for Layer I.
  const std::int32_t tolerance = reference.Layer == 3 ? 4 : 1;
  std::int64_t index = 0;
  std::int64_t pos = TagsEnd(file);
  const std::int64_t audioEnd = AudioEnd(file, pos);
  Step step;
  while (pos + 4 <= audioEnd) {
    const std::uint8_t* b = file.data() + pos;
    if (!IsCandidate(b)) {
      ++pos;
      continue;
    }
    const Verdict v = Taken(file, pos, step, audioEnd);
    if (!v.valid) {
      ++pos;
      continue;
    }
    const std::int64_t frameIndex = index++;
    const bool whole = pos + v.length <= audioEnd;
    const bool tagFrame = frameIndex == 0 && whole && IsTagFrame(file, pos, v.length);
    const bool fits = tagFrame || std::abs(v.length - reference.FrameLength) <= tolerance;
    const bool inRange = !countOnly && frameIndex >= start && frameIndex <= stop;
    if (fits && whole) ++m.copyable;
    if (inRange && !fits) ++m.leftOut;
    if (!whole) break;  // cut short by the end: counted, never written
    if (inRange && fits) {
      m.output.insert(m.output.end(), b, b + v.length);
      ++m.written;
      if (!tagFrame) ++m.audioWritten;
      if (b[3] == 0) m.zeroFourthWritten = true;
      if (m.written > 1 && !SameStream(m.output.data(), b)) m.mixedStreams = true;
    }
    pos += v.length;
    step = Step{pos, b};
  }
  m.count = Clamp32(index);
  return m;
}

// ---- Files ---------------------------------------------------------------

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::vector<std::uint8_t> bytes;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  ::close(fd);
  return bytes;
}

void WriteFile(const fs::path& path, std::int64_t gap, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  FUZZ_CHECK(fd >= 0, "cannot create %s", path.c_str());
  // The gap stays a hole: it reads as zeros and costs nothing.
  FUZZ_CHECK(::ftruncate(fd, gap + static_cast<std::int64_t>(size)) == 0, "ftruncate");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, gap + static_cast<off_t>(done));
    FUZZ_CHECK(n > 0, "pwrite");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

struct Progress {
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;
  JobProgress Recorder() {
    return [this](std::int32_t done, std::int32_t total) { calls.emplace_back(done, total); };
  }
};

void CheckProgress(const Progress& p, std::int32_t written, std::int32_t start, std::int32_t stop) {
  FUZZ_CHECK(p.calls.size() == static_cast<std::size_t>(written), "%zu progress calls for %d frames",
             p.calls.size(), written);
  const std::int32_t total = Clamp32(static_cast<std::int64_t>(stop) - start);
  for (std::size_t i = 0; i < p.calls.size(); ++i) {
    FUZZ_CHECK(p.calls[i].first == static_cast<std::int32_t>(i) && p.calls[i].second == total,
               "progress call %zu was (%d, %d), expected (%zu, %d)", i, p.calls[i].first, p.calls[i].second,
               i, total);
  }
}

void CheckScan(const char* what, const ScanResult& r, const ScanModel& m) {
  FUZZ_CHECK(r.Ok(), "%s: status %d: %s", what, static_cast<int>(r.Status), r.Message.c_str());
  FUZZ_CHECK(r.Count == m.count, "%s: count %d, expected %d", what, r.Count, m.count);
  FUZZ_CHECK(r.Copyable == m.copyable, "%s: copyable %d, expected %d", what, r.Copyable, m.copyable);
  FUZZ_CHECK(r.LeftOut == m.leftOut, "%s: left out %d, expected %d", what, r.LeftOut, m.leftOut);
}

std::int32_t Le32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = MakeScratchDir("stream");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t c[kControl] = {};
  std::memcpy(c, data, std::min(size, kControl));
  const std::uint8_t* content = data + std::min(size, kControl);
  const std::size_t contentSize = size - std::min(size, kControl);

  const bool gapped = (c[0] & 0x11) == 0x11;  // a quarter of the inputs: they are slow
  const bool ownReference = c[0] & 2;
  const bool rawRange = c[0] & 4;
  const bool existingOutput = c[0] & 8;
  // Behind a gap the window grows in larger steps, so that a run of 2 MiB
  // costs a few window moves instead of a thousand.
  const std::size_t window = gapped ? 2048 * (1 + std::size_t{c[1]}) : 2048 + 16 * std::size_t{c[1]};
  const std::int64_t gap = gapped ? kProbeWindowSize - 1024 + 8 * std::int64_t{c[2]} : 0;
  const std::int32_t start = rawRange ? Le32(c + 8) : static_cast<std::int8_t>(c[8]);
  const std::int32_t stop = rawRange ? Le32(c + 12) : static_cast<std::int8_t>(c[12]);

  std::vector<std::uint8_t> file(static_cast<std::size_t>(gap), 0);
  file.insert(file.end(), content, content + contentSize);
  const std::int64_t fileSize = static_cast<std::int64_t>(file.size());

  // Decoding, on its own.
  CheckDecoded(c + 4, Le32(c + 8), fileSize);
  if (contentSize >= 4) CheckDecoded(content, 0, fileSize);
  CheckDuration(
      rawRange ? static_cast<std::int64_t>(static_cast<std::uint32_t>(Le32(c + 8))) << (c[2] & 15) : fileSize,
      rawRange ? Le32(c + 12) : Judge(c + 4).kbps);

  std::error_code ec;
  fs::remove_all(g_dir / "out", ec);
  const fs::path input = g_dir / "input.mp3";
  WriteFile(input, gap, content, contentSize);

  // Probing: the first valid header in the window, found byte by byte.
  const ProbeModel probeModel = Probe(file);
  FrameHeader sentinel;
  sentinel.FrameLength = -7;
  sentinel.Position = -7;
  for (const std::size_t w : {kDefaultReadBuffer, window}) {
    FrameHeader probed = sentinel;
    std::string error;
    const bool found = ProbeFileBuffered(input, probed, &error, w);
    FUZZ_CHECK(found == probeModel.found, "probe found %d, expected %d", found, probeModel.found);
    FUZZ_CHECK(error.empty(), "probe error: %s", error.c_str());
    if (probeModel.lastCandidate < 0) {
      FUZZ_CHECK(probed.Position == -7 && probed.FrameLength == -7, "reference changed without a candidate");
    } else {
      const std::uint8_t* b = file.data() + probeModel.lastCandidate;
      FUZZ_CHECK(probed.Position == probeModel.lastCandidate, "reference at %lld, expected %lld",
                 static_cast<long long>(probed.Position), static_cast<long long>(probeModel.lastCandidate));
      FUZZ_CHECK(probed.Byte0 == b[0] && probed.Byte1 == b[1] && probed.Byte2 == b[2] && probed.Byte3 == b[3],
                 "reference bytes");
      FUZZ_CHECK(probed.Invalid == !probeModel.found && probed.FileSize == fileSize, "reference verdict");
    }
  }
  FrameHeader reference;
  if (ownReference) {
    DecodeFrameHeader(c[4], c[5], c[6], c[7], 0, fileSize, reference);
  } else {
    ProbeFile(input.string(), reference);
  }

  // Counting: the same count whatever the window, and no progress.
  const ScanModel counted = Scan(file, start, stop, reference, true);
  const ScanModel model = Scan(file, start, stop, reference, false);
  for (const std::size_t w : {window, kDefaultReadBuffer}) {
    if (gapped && w == kDefaultReadBuffer) break;  // one pass over the gap is enough
    Progress p;
    const ScanResult r = ScanFramesBuffered(input, "", start, stop, true, reference, p.Recorder(), w);
    CheckScan("count", r, counted);
    FUZZ_CHECK(r.Written == 0 && p.calls.empty(), "counting wrote %d frames", r.Written);
  }

  // Cutting into a new output in directories that do not exist yet.
  const fs::path out = g_dir / "out" / "new" / "cut.mp3";
  {
    Progress p;
    const ScanResult r = ScanFramesBuffered(input, out, start, stop, false, reference, p.Recorder(), window);
    CheckScan("cut", r, model);
    FUZZ_CHECK(r.Written == model.written, "wrote %d frames, expected %d", r.Written, model.written);
    FUZZ_CHECK(r.AudioWritten == model.audioWritten, "wrote %d audio frames, expected %d", r.AudioWritten,
               model.audioWritten);
    CheckProgress(p, r.Written, start, stop);
    FUZZ_CHECK(fs::exists(out), "the output was not created");
    FUZZ_CHECK(ReadAll(out) == model.output, "output of %zu bytes differs from the %zu expected",
               static_cast<std::size_t>(fs::file_size(out)), model.output.size());
  }

  // Appending to an output that holds bytes already: they stay, the frames follow.
  if (existingOutput) {
    const fs::path old = g_dir / "out" / "old.mp3";
    const std::size_t keep = std::min<std::size_t>(contentSize, 37);
    WriteFile(old, 0, content, keep);
    Progress p;
    const ScanResult r = ScanFrames(input, old, start, stop, false, reference, p.Recorder());
    CheckScan("append", r, model);
    std::vector<std::uint8_t> expected(content, content + keep);
    expected.insert(expected.end(), model.output.begin(), model.output.end());
    FUZZ_CHECK(ReadAll(old) == expected, "appended output differs");
    CheckProgress(p, r.Written, start, stop);
  }

  // The cut output is whole frames of the reference: scanned again it counts
  // exactly the frames written, and cutting all of it gives it back unchanged.
  // (A flagless header is taken on its neighbours' word; cut out of its own
  // stream it may have none. The first frame is confirmed by the second only
  // when they are of one stream; and the last frame's bytes may pass for a
  // tag appended to the output.)
  const bool rescannable = model.written > 0 && !model.zeroFourthWritten && !model.mixedStreams &&
                           AudioEnd(model.output, 0) == static_cast<std::int64_t>(model.output.size());
  if (rescannable) {
    const ScanResult again = ScanFramesBuffered(out, "", 0, 0, true, reference, {}, window);
    FUZZ_CHECK(again.Ok() && again.Count == model.written, "rescan counts %d of %d frames", again.Count,
               model.written);
    const fs::path copy = g_dir / "out" / "copy.mp3";
    const ScanResult whole =
        ScanFrames(out, copy, 0, std::numeric_limits<std::int32_t>::max(), false, reference, {});
    FUZZ_CHECK(whole.Ok() && whole.Written == model.written, "recut wrote %d of %d", whole.Written,
               model.written);
    FUZZ_CHECK(ReadAll(copy) == model.output, "recut output differs");
  }
  return 0;
}
