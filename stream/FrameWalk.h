#pragma once

// The one walk through a file that counting, cutting and visiting share, so
// that a frame gets the same index whichever of them meets it.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "stream/Id3Tag.h"
#include "stream/InputFile.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"
#include "stream/TrailingTags.h"
#include "stream/XingFrame.h"

namespace framewalk {

// How far ahead of the header in hand the walk asks for the cache line of a
// header to come: some frames of a common stream.
constexpr std::int64_t kPrefetchAhead = 16384;

// What the walk needs of a header. A stream's version, layer and sampling
// frequency make its key: frames of one stream share it.
struct Verdict {
  bool Valid = false;       // passes the validity rule
  bool ZeroFourth = false;  // fails it only because its fourth byte is zero
  std::int32_t Length = 0;
  std::uint32_t Key = 0;
};

inline std::uint32_t StreamKey(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[1] & 0x1E) << 8 | (b[2] & 0x0C);
}

inline Verdict Classify(const std::uint8_t* b) {
  FrameHeader h;
  // The frame length does not depend on the fourth byte, so a zero one is
  // decoded as if it held a flag and judged apart.
  DecodeFrameHeader(b[0], b[1], b[2], b[3] != 0 ? b[3] : 0x01, 0, 0, h);
  Verdict v;
  if (h.Invalid) return v;
  v.Valid = b[3] != 0;
  v.ZeroFourth = b[3] == 0;
  v.Length = h.FrameLength;
  v.Key = StreamKey(b);
  return v;
}

// A sync candidate of stream `key` that passes the validity rule, but for a
// zero fourth byte perhaps: what confirms a zero-fourth-byte header.
inline bool ConfirmsStream(const std::uint8_t* b, std::uint32_t key) {
  if (!IsSyncCandidate(b) || StreamKey(b) != key) return false;
  const Verdict v = Classify(b);
  return v.Valid || v.ZeroFourth;
}

// A stream repeats two headers (padded and not), so the last two verdicts are
// kept and reused for the same four bytes.
class RecentHeaders {
 public:
  const Verdict& Decode(const std::uint8_t* b) {
    std::uint32_t key;
    std::memcpy(&key, b, 4);
    if (filled_[0] && keys_[0] == key) return verdicts_[0];
    if (filled_[1] && keys_[1] == key) return verdicts_[1];
    const int slot = next_;
    next_ ^= 1;
    keys_[slot] = key;
    verdicts_[slot] = Classify(b);
    filled_[slot] = true;
    return verdicts_[slot];
  }

 private:
  std::uint32_t keys_[2] = {0, 0};
  Verdict verdicts_[2] = {};
  bool filled_[2] = {false, false};
  int next_ = 0;
};

// Position just after the ID3v2 tags at the start of the file, read through
// `in`. False when reading failed.
inline bool SkipLeadingTags(InputFile& in, std::int64_t& pos, std::string& error) {
  pos = 0;
  for (;;) {
    if (pos + 10 > in.WindowEnd() && in.WindowEnd() < in.Limit()) {
      if (!in.Advance(pos, error)) return false;
    }
    if (pos >= in.WindowEnd()) return true;
    const std::size_t available = static_cast<std::size_t>(in.WindowEnd() - pos);
    const std::int64_t tag = Id3v2TagLength(in.At(pos), available, in.Size() - pos);
    if (tag == 0) return true;
    pos += tag;
  }
}

// Where the audio of `in` ends: before the tags appended to it, none of which
// reaches below `start` (the end of the leading tags). Reads near the end of
// the file, leaving the window as it is.
inline std::int64_t AudioEnd(InputFile& in, std::int64_t start, std::string& error) {
  bool failed = false;
  const TrailingTags tags =
      FindTrailingTags(in.Size(), start, [&](std::int64_t at, std::uint8_t* into, std::size_t n) {
        std::string why;
        if (in.ReadAt(at, into, n, why)) return true;
        if (!why.empty()) {
          failed = true;
          error = why;
        }
        return false;
      });
  return failed ? -1 : tags.AudioEnd;
}

// Where the walk stands: just after a frame it took (in step) or not.
struct Step {
  std::int64_t PreviousEnd = -1;
  std::uint32_t PreviousKey = 0;
  std::int64_t Index = 0;  // frames counted before: the index of the next frame taken
};

// Whether the sync candidate at `pos`, whose verdict is `v`, is taken as a
// frame. In step (right where the frame before it ended) a valid header is
// taken as it is. Out of step (at the start of the audio, or after bytes that
// were no frame) a header must be confirmed: a header of the same stream at
// its frame's end, or its frame ending exactly where the audio ends. A header
// that fails the validity rule only for its zero fourth byte needs the same
// confirmation, unless the frame before it, of its stream, ended where it
// starts. `bring` may move the window.
template <class Bring>
bool Takes(InputFile& in, std::int64_t pos, const Verdict& v, const Step& step, std::int64_t audioEnd,
           Bring&& bring) {
  if (!v.Valid && !v.ZeroFourth) return false;
  if (pos == step.PreviousEnd && (v.Valid || v.Key == step.PreviousKey)) return true;
  if (pos + v.Length == audioEnd) return true;
  if (pos + v.Length + 4 > audioEnd || !bring(pos, v.Length + 4)) return false;
  return ConfirmsStream(in.At(pos + v.Length), v.Key);
}

// Whether the whole frame at `pos` is an encoder's tag frame. `bring` may move
// the window.
template <class Bring>
bool IsTagFrameAt(InputFile& in, std::int64_t pos, std::int32_t length, std::int64_t audioEnd,
                  Bring&& bring) {
  if (pos + length > audioEnd || !bring(pos, length)) return false;
  return TagFrameKindOf(in.At(pos), static_cast<std::size_t>(length)) != TagFrameKind::None;
}

// Walks the frames of `in` from `pos` (after its tags) to `audioEnd` (before
// the tags appended to it), calling onFrame(visit) for every counted frame in
// order; onFrame returns false to end the walk. `bring(pos, n)` must make
// [pos, pos + n) readable (moving the window on as needed) and return false
// when the file holds fewer bytes there or reading failed. Frame 0, when it
// is an encoder's tag frame, fits whatever its length: it goes with the
// audio it describes. A walk that starts in `step` (right after a frame met
// before) begins in step, and its first frame is no frame 0; it counts on
// from step.Index. Returns the index after the last frame counted.
template <class Bring, class OnFrame>
std::int64_t Walk(InputFile& in, std::int64_t pos, std::int64_t audioEnd, const FrameHeader& reference,
                  bool anyBitRate, Bring&& bring, OnFrame&& onFrame, Step step = {}) {
  const bool fromFrameZero = step.PreviousEnd < 0;
  // The padded and unpadded frames of the reference: one byte apart, or one
  // four-byte slot for Layer I.
  const std::int32_t tolerance = reference.Layer == 3 ? 4 : 1;
  std::uint8_t refBytes[4] = {
      static_cast<std::uint8_t>(reference.Byte0), static_cast<std::uint8_t>(reference.Byte1),
      static_cast<std::uint8_t>(reference.Byte2), static_cast<std::uint8_t>(reference.Byte3)};
  const std::uint32_t referenceKey = StreamKey(refBytes);
  RecentHeaders verdicts;
  std::int64_t index = step.Index;
  FrameVisit visit;
  // The last two valid headers of frames taken (tag frames aside), as four
  // bytes, with what a frame of theirs gets: a stream repeats its padded and
  // unpadded header, so in step the next frame is nearly always one of them,
  // and it is taken at once.
  std::uint32_t knownWord[2] = {0, 0};
  std::int32_t knownLength[2] = {0, 0};
  std::uint32_t knownKey[2] = {0, 0};
  bool knownFits[2] = {false, false};
  int knownNext = 0;

  while (pos + 4 <= audioEnd) {
    // In step, inside the window, at one of the known headers: valid, so
    // taken without more ado, and no tag frame (a frame was taken before it,
    // or the walk began after one).
    if (pos == step.PreviousEnd && pos + 4 <= in.WindowEnd()) {
      std::uint32_t word;
      std::memcpy(&word, in.At(pos), 4);
      const int slot = word == knownWord[0] ? 0 : word == knownWord[1] ? 1 : -1;
      // A walk that begins in step (after a tag frame, or resumed) has taken
      // no header yet: its empty slots match four zero bytes, and must not.
      if (slot >= 0 && knownLength[slot] > 0) {
        const std::int32_t length = knownLength[slot];
        // Each header's place follows from the one before, so the misses of
        // a mapped window that no read has brought into the cache would come
        // one after another; asking for the lines a few frames ahead lets
        // them overlap.
        if (pos + kPrefetchAhead < in.WindowEnd()) __builtin_prefetch(in.At(pos + kPrefetchAhead));
        visit.Position = pos;
        visit.Length = length;
        visit.Index = static_cast<std::int32_t>(std::min<std::int64_t>(index, INT32_MAX));
        std::memcpy(visit.Header, &word, 4);
        visit.Fits = knownFits[slot];
        visit.TagFrame = false;
        visit.Whole = pos + length <= audioEnd;
        ++index;
        if (!onFrame(visit)) break;
        if (!visit.Whole) break;
        pos += length;
        step.PreviousEnd = pos;
        step.PreviousKey = knownKey[slot];
        continue;
      }
    }
    if (!bring(pos, 4)) break;
    // Out of step: one byte at a time, but only a 0xFF can start a header.
    const std::int64_t end = std::min(in.WindowEnd(), audioEnd) - 3;
    if (!IsSyncCandidate(in.At(pos))) {
      const std::int64_t from = pos + 1;
      if (from >= end) {
        pos = from;
        continue;
      }
      const void* hit = std::memchr(in.At(from), 0xFF, static_cast<std::size_t>(end - from));
      pos = hit ? from + (static_cast<const std::uint8_t*>(hit) - in.At(from)) : end;
      continue;
    }
    const Verdict v = verdicts.Decode(in.At(pos));
    if (!Takes(in, pos, v, step, audioEnd, bring)) {
      ++pos;
      continue;
    }
    const bool whole = pos + v.Length <= audioEnd;
    visit.TagFrame = fromFrameZero && index == 0 && whole && IsTagFrameAt(in, pos, v.Length, audioEnd, bring);
    if (!bring(pos, 4)) break;
    visit.Position = pos;
    visit.Length = v.Length;
    visit.Index = static_cast<std::int32_t>(std::min<std::int64_t>(index, INT32_MAX));
    std::memcpy(visit.Header, in.At(pos), 4);
    visit.Fits = visit.TagFrame || (anyBitRate ? v.Key == referenceKey
                                               : std::abs(v.Length - reference.FrameLength) <= tolerance);
    visit.Whole = whole;
    ++index;  // every valid header counts
    if (v.Valid && !visit.TagFrame) {
      std::uint32_t word;
      std::memcpy(&word, visit.Header, 4);
      if (word != knownWord[0] && word != knownWord[1]) {
        // The first header goes into both slots: an empty one would match
        // four zero bytes.
        const bool first = knownLength[0] == 0;
        for (int slot = 0; slot < 2; ++slot) {
          if (!first && slot != knownNext) continue;
          knownWord[slot] = word;
          knownLength[slot] = v.Length;
          knownKey[slot] = v.Key;
          knownFits[slot] = visit.Fits;
        }
        knownNext ^= 1;
      }
    }
    if (!onFrame(visit)) break;
    if (!visit.Whole) break;  // a frame cut short by the end of the audio ends the walk
    pos += v.Length;
    step.PreviousEnd = pos;
    step.PreviousKey = v.Key;
  }
  return index;
}

}  // namespace framewalk
