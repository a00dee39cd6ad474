#include <algorithm>
#include <cstring>

#include "stream/FrameWalk.h"
#include "stream/InputFile.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace {

// Longest free-format frame: MPEG-1 Layer III at 640 kbps and 32 kHz.
constexpr std::int64_t kLongestFreeFrame = 2881;

// Headers of streams that are not cut, noted while a probe finds nothing, so
// that its refusal can say why.
class StrangeStreams {
 public:
  // The candidate at `p` (four bytes at `b`, more up to `available`).
  void Note(const std::uint8_t* b, std::int64_t p, std::size_t available) {
    const int version = (b[1] >> 3) & 3, layer = (b[1] >> 1) & 3;
    const int rateIndex = b[2] >> 4, hzIndex = (b[2] >> 2) & 3;
    if (layer == 0 || hzIndex == 3 || rateIndex == 15) return;
    if (version == 0 && rateIndex != 0) {
      // MPEG 2.5: the MPEG-2 tables at a quarter of MPEG-1's rates. Taken for
      // such a stream when a header like it lies at its frame's end.
      static const std::int32_t kHz[3] = {11025, 12000, 8000};
      FrameHeader h;
      DecodeFrameHeader(b[0], static_cast<std::uint8_t>(b[1] | 0x10), b[2], b[3] | 1, 0, 0, h);
      if (h.Invalid) return;
      const std::int32_t k = HeaderBitRate(h), r = kHz[hzIndex], pad = (b[2] >> 1) & 1;
      const std::int64_t length =
          layer == 3 ? (12000 * k / r + pad) * 4 : (layer == 2 ? 144000 : 72000) * k / r + pad;
      if (length + 4 <= static_cast<std::int64_t>(available)) {
        const std::uint8_t* n = b + length;
        mpeg25_ =
            mpeg25_ || (n[0] == 0xFF && (n[1] & 0xFE) == (b[1] & 0xFE) && (n[2] & 0x0C) == (b[2] & 0x0C));
      }
    } else if ((version == 3 || version == 2) && rateIndex == 0) {
      // Free format: the same header again within the longest such frame.
      const std::uint32_t key = static_cast<std::uint32_t>(b[1] & 0xFE) << 8 | (b[2] & 0xFC);
      freeFormat_ = freeFormat_ || (lastFree_ >= 0 && key == freeKey_ && p - lastFree_ <= kLongestFreeFrame);
      lastFree_ = p;
      freeKey_ = key;
    }
  }

  ProbeRefusal Refusal() const {
    return mpeg25_ ? ProbeRefusal::Mpeg25 : freeFormat_ ? ProbeRefusal::FreeFormat : ProbeRefusal::NoFrame;
  }

 private:
  bool mpeg25_ = false;
  bool freeFormat_ = false;
  std::int64_t lastFree_ = -1;
  std::uint32_t freeKey_ = 0;
};

// The header at `p` as the walk takes it: a zero fourth byte is decoded as if
// it held a flag, and kept as zero.
FrameHeader TakenHeader(const std::uint8_t* b, std::int64_t p, std::int64_t size) {
  FrameHeader header;
  DecodeFrameHeader(b[0], b[1], b[2], b[3] != 0 ? b[3] : 0x01, p, size, header);
  header.Byte3 = b[3];
  return header;
}

}  // namespace

std::string ProbeRefusalDetail(ProbeRefusal refusal) {
  switch (refusal) {
    case ProbeRefusal::Mpeg25:
      return "an MPEG 2.5 stream (8 to 12 kHz), which is not cut";
    case ProbeRefusal::FreeFormat:
      return "a free format stream (no bit rate in its headers), which is not cut";
    case ProbeRefusal::None:
    case ProbeRefusal::NoFrame:
      break;
  }
  return "";
}

namespace {

bool ProbeOpened(SourceFile& source, StreamProbe& probe, bool& candidateSeen, std::string* error,
                 std::size_t bufferSize) {
  probe = StreamProbe{};
  probe.Reference.Invalid = true;
  candidateSeen = false;
  std::string message;
  if (!source.IsOpen()) {
    if (error) *error = source.Error();
    return false;
  }
  const std::string& path = source.Path();
  InputFile in(std::max(bufferSize, kSmallestReadBuffer));
  in.Open(source);
  std::int64_t start = 0;
  TrailingTags trailing;
  if (!source.LeadingTagsEnd(start, message) || !source.Trailing(trailing, message)) {
    if (error) *error = message;
    return false;
  }
  const std::int64_t audioEnd = trailing.AudioEnd;
  if (error) error->clear();
  probe.AudioStart = start;
  probe.AudioEnd = audioEnd;

  // One-byte steps over the 2,097,152 positions after the tags; a position
  // with fewer than four bytes of audio left is not examined. What confirms a
  // frame, and the audio frame after a tag frame, may lie past the window.
  const std::int64_t size = in.Size();
  const std::int64_t last = std::min(start + kProbeWindow, audioEnd - 3);  // one past the last position
  in.SetLimit(std::min(audioEnd, last + 3 + 4 * static_cast<std::int64_t>(kSmallestReadBuffer)));
  auto bring = [&](std::int64_t p, std::int64_t n) {
    if (p + n <= in.WindowEnd()) return true;
    if (p + n > in.Limit() || !in.Advance(p, message)) return false;
    return p + n <= in.WindowEnd();
  };

  // The first frame the walk takes from `from` on, before `until`: its
  // position, or -1. Every candidate examined on the way goes through `seen`.
  StrangeStreams strange;
  auto firstTaken = [&](std::int64_t from, std::int64_t until, const framewalk::Step& step, auto&& seen) {
    for (std::int64_t p = from; p < until;) {
      if (!bring(p, 4)) break;
      const std::int64_t searchEnd = std::min(until, in.WindowEnd() - 3);
      const void* hit = std::memchr(in.At(p), 0xFF, static_cast<std::size_t>(searchEnd - p));
      if (hit == nullptr) {
        p = searchEnd;
        continue;
      }
      p += static_cast<const std::uint8_t*>(hit) - in.At(p);
      if (IsSyncCandidate(in.At(p))) {
        const framewalk::Verdict v = framewalk::Classify(in.At(p));
        if (framewalk::Takes(in, p, v, step, audioEnd, bring)) return p;
        seen(p);
      }
      ++p;
    }
    return std::int64_t{-1};
  };

  const std::int64_t first = firstTaken(start, last, framewalk::Step{}, [&](std::int64_t p) {
    candidateSeen = true;
    const std::uint8_t* b = in.At(p);
    DecodeFrameHeader(b[0], b[1], b[2], b[3], p, size, probe.Reference);
    probe.Reference.Invalid = true;  // not taken: no frame
    strange.Note(b, p, static_cast<std::size_t>(in.WindowEnd() - p));
  });
  if (first < 0) {
    probe.Refusal = strange.Refusal();
    if (in.EndedEarly() && error) *error = "cannot read " + path + ": the file shrank while it was read";
    if (!message.empty() && error) *error = message;
    return false;
  }
  candidateSeen = true;
  probe.Refusal = ProbeRefusal::None;
  probe.Reference = TakenHeader(in.At(first), first, size);
  const std::int32_t length = probe.Reference.FrameLength;
  if (!framewalk::IsTagFrameAt(in, first, length, audioEnd, bring)) return true;

  // Frame 0 is a tag frame: the yardstick is the audio frame the walk takes
  // next, in step right after it or found again one byte at a time.
  probe.TagFrame = true;
  probe.TagHeader = TakenHeader(in.At(first), first, size);
  framewalk::Step step;
  step.PreviousEnd = first + length;
  step.PreviousKey = framewalk::Classify(in.At(first)).Key;
  const std::int64_t audio =
      firstTaken(step.PreviousEnd, std::max(last, step.PreviousEnd + 1), step, [](std::int64_t) {});
  if (audio >= 0) probe.Reference = TakenHeader(in.At(audio), audio, size);
  return true;
}

// The probe of `source`, made on its first call and kept for the later ones.
const SourceFile::ProbeMemo& Probed(SourceFile& source) {
  std::optional<SourceFile::ProbeMemo>& memo = source.Probed();
  if (!memo) {
    SourceFile::ProbeMemo m;
    m.Found = ProbeOpened(source, m.Probe, m.CandidateSeen, &m.Error, kDefaultReadBuffer);
    memo = std::move(m);
  }
  return *memo;
}

}  // namespace

bool ProbeFileBuffered(const std::string& path, FrameHeader& reference, std::string* error,
                       std::size_t bufferSize) {
  SourceFile source(path);
  StreamProbe probe;
  bool candidateSeen = false;
  const bool found = ProbeOpened(source, probe, candidateSeen, error, bufferSize);
  if (candidateSeen) reference = probe.Reference;
  return found;
}

bool ProbeStream(SourceFile& source, StreamProbe& probe, std::string& error) {
  const SourceFile::ProbeMemo& memo = Probed(source);
  probe = memo.Probe;
  error = memo.Error;
  return memo.Found;
}

bool ProbeFile(SourceFile& source, FrameHeader& reference, std::string& error) {
  const SourceFile::ProbeMemo& memo = Probed(source);
  if (memo.CandidateSeen) reference = memo.Probe.Reference;
  error = memo.Error;
  return memo.Found;
}

bool ProbeFile(SourceFile& source, FrameHeader& reference) {
  std::string error;
  return ProbeFile(source, reference, error);
}

bool ProbeStream(const std::string& path, StreamProbe& probe, std::string& error) {
  SourceFile source(path);
  return ProbeStream(source, probe, error);
}

bool ProbeFile(const std::string& path, FrameHeader& reference) {
  return ProbeFileBuffered(path, reference, nullptr, kDefaultReadBuffer);
}

bool ProbeFile(const std::string& path, FrameHeader& reference, std::string& error) {
  return ProbeFileBuffered(path, reference, &error, kDefaultReadBuffer);
}
