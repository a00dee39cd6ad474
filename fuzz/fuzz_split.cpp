// The command line's time grammar and split planning on arbitrary text: points
// and job ranges as the user writes them, turned into frames of streams of
// every frame duration, and the pieces a split plans from them.
//
// Invariants:
//  - a point that parses is a frame index of 32 bits or a time of at most ten
//    thousand hours, and reads back the same from its own spelling;
//  - frames follow time: later instants never map to earlier frames, a start
//    and a stop at one instant are one frame apart at most;
//  - a job range that resolves holds at least one frame;
//  - a plan starts at frame 0, climbs strictly, stays inside the file and
//    never has more pieces than the file has frames; --every takes exactly
//    the lengths of one frame or more, so each of its steps moves on by a
//    frame and the plan ends within `count` steps (libFuzzer's timeout
//    catches a plan that spins);
//  - named pieces cover the file's frames once, in order, under distinct names;
//  - sample-exact split boundaries climb strictly inside the stream's samples,
//    at most one a frame, and --every takes the same lengths there.
//
// Input: 8 control bytes, then text: lines of a JOB argument, an --every
// LENGTH and split POINTs.
//   c[0] % 3  samples per frame: 1152, 576, 384
//   c[1] % 9  sampling frequency
//   c[2]      1: a Xing/Info frame 0; 2: an encoder delay of c[3] | c[7] % 16 << 8
//             samples (and the decoder's 529) before the player's first sample;
//             c[7] >> 4 the end padding, in 256s
//   c[4..6]   the file's frame count (17 bits: plans of one-frame pieces
//             stay quick enough to try many)
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cli/ExactCut.h"
#include "cli/JobArgument.h"
#include "cli/Split.h"
#include "cli/TimePoint.h"
#include "fuzz/FuzzCheck.h"

namespace {

constexpr std::size_t kControl = 8;
constexpr std::size_t kMostPoints = 64;
constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kLongestTime = 36'000'000 * kSecond;
constexpr std::int32_t kRates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
constexpr std::int32_t kSamplesPerFrame[3] = {1152, 576, 384};

std::vector<std::string> Lines(const std::uint8_t* text, std::size_t n) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < n && lines.size() <= kMostPoints + 2; ++i) {
    if (text[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(static_cast<char>(text[i]));
    }
  }
  return lines;
}

void CheckPoint(const std::string& text, const StreamPoint& p, const FrameClock& clock) {
  std::string error;
  StreamPoint again;
  if (!p.IsTime) {
    FUZZ_CHECK(p.Frame >= 0 && p.Frame <= INT32_MAX, "\"%s\" is frame %lld", text.c_str(),
               static_cast<long long>(p.Frame));
    FUZZ_CHECK(ParsePoint(std::to_string(p.Frame) + "f", again, error) && !again.IsTime && again.Frame == p.Frame,
               "frame %lld does not read back", static_cast<long long>(p.Frame));
    return;
  }
  FUZZ_CHECK(p.Nanoseconds >= 0 && p.Nanoseconds <= kLongestTime, "\"%s\" is %lld ns", text.c_str(),
             static_cast<long long>(p.Nanoseconds));
  // As messages show it, to the millisecond.
  const std::string shown = FormatTime(p.Nanoseconds);
  FUZZ_CHECK(ParsePoint(shown, again, error) && again.IsTime &&
                 again.Nanoseconds == p.Nanoseconds / 1'000'000 * 1'000'000,
             "\"%s\" shown as \"%s\" reads back as %lld ns", text.c_str(), shown.c_str(),
             static_cast<long long>(again.Nanoseconds));
  const std::int64_t start = StartFrameOf(clock, p);
  const std::int64_t stop = StopFrameOf(clock, p);
  FUZZ_CHECK(start >= clock.FirstAudioFrame && (stop == start || stop == start - 1),
             "\"%s\": start frame %lld, stop frame %lld", text.c_str(), static_cast<long long>(start),
             static_cast<long long>(stop));
  FUZZ_CHECK(FrameStart(clock, start) <= p.Nanoseconds, "frame %lld starts after \"%s\"",
             static_cast<long long>(start), text.c_str());
}

void CheckPlan(const std::vector<std::int32_t>& starts, std::int32_t count, const char* what) {
  FUZZ_CHECK(!starts.empty() && starts[0] == 0, "%s: the plan does not start at frame 0", what);
  FUZZ_CHECK(starts.size() <= static_cast<std::size_t>(std::max(count, 1)), "%s: %zu pieces of %d frames", what,
             starts.size(), count);
  for (std::size_t i = 1; i < starts.size(); ++i)
    FUZZ_CHECK(starts[i - 1] < starts[i] && starts[i] < count, "%s: piece %zu starts at %d after %d (of %d)", what,
               i, starts[i], starts[i - 1], count);
  if (count <= 0 || starts.size() > 4096) return;  // names for the plans a run would make
  const std::vector<SplitPiece> pieces = NamePieces("in/take.mp3", "", starts, count);
  FUZZ_CHECK(pieces.size() == starts.size(), "%s: %zu names for %zu pieces", what, pieces.size(), starts.size());
  std::set<std::string> names;
  std::int32_t next = 0;
  for (const SplitPiece& p : pieces) {
    FUZZ_CHECK(p.Start == next && p.Stop >= p.Start, "%s: piece %s holds %d-%d, expected from %d", what,
               p.Path.c_str(), p.Start, p.Stop, next);
    next = p.Stop + 1;
    names.insert(p.Path);
  }
  FUZZ_CHECK(next == count && names.size() == pieces.size(), "%s: pieces end at %d of %d, %zu names", what, next,
             count, names.size());
}

void CheckBoundaries(const GaplessStream& stream, const std::vector<std::int64_t>& boundaries, const char* what) {
  FUZZ_CHECK(static_cast<std::int64_t>(boundaries.size()) <= std::max<std::int64_t>(stream.AudioFrames, 0),
             "%s: %zu boundaries in %lld frames", what, boundaries.size(), static_cast<long long>(stream.AudioFrames));
  for (std::size_t i = 0; i < boundaries.size(); ++i) {
    FUZZ_CHECK(boundaries[i] > (i == 0 ? 0 : boundaries[i - 1]) && boundaries[i] < stream.Samples(),
               "%s: boundary %zu at sample %lld of %lld", what, i, static_cast<long long>(boundaries[i]),
               static_cast<long long>(stream.Samples()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t c[kControl] = {};
  std::memcpy(c, data, std::min(size, kControl));
  FrameClock clock;
  clock.SamplesPerFrame = kSamplesPerFrame[c[0] % 3];
  clock.SampleRate = kRates[c[1] % 9];
  clock.FirstAudioFrame = c[2] & 1;
  const std::int32_t delay = (c[2] & 2) ? c[3] | (c[7] & 0x0F) << 8 : 0;
  clock.DecoderOffset = (c[2] & 2) ? delay + 529 : 0;
  const std::int32_t count = c[4] | c[5] << 8 | (c[6] & 1) << 16;
  // The same stream as a gapless player sees it.
  GaplessStream stream;
  stream.SamplesPerFrame = clock.SamplesPerFrame;
  stream.SampleRate = clock.SampleRate;
  stream.Granules = clock.SamplesPerFrame == 1152 ? 2 : 1;
  stream.FirstAudioFrame = clock.FirstAudioFrame;
  stream.AudioFrames = std::max(0, count - clock.FirstAudioFrame);
  stream.Declared = (c[2] & 2) != 0;
  stream.EncoderDelay = delay;
  stream.EndPadding = stream.Declared ? (c[7] >> 4) * 256 : 0;
  if (!stream.Declared) clock.DecoderOffset = stream.DecoderOffset();
  const std::vector<std::string> lines = Lines(data + std::min(size, kControl), size - std::min(size, kControl));

  // Every line as a point, and times against each other.
  std::vector<StreamPoint> points;
  std::vector<std::string> texts;
  for (const std::string& text : lines) {
    StreamPoint p;
    std::string error;
    if (!ParsePoint(text, p, error)) {
      FUZZ_CHECK(!error.empty(), "\"%s\" refused without a reason", text.c_str());
      continue;
    }
    CheckPoint(text, p, clock);
    points.push_back(p);
    texts.push_back(text);
  }
  for (std::size_t i = 1; i < points.size(); ++i) {
    const StreamPoint& a = points[i - 1];
    const StreamPoint& b = points[i];
    if (!a.IsTime || !b.IsTime) continue;
    const bool ordered = a.Nanoseconds <= b.Nanoseconds;
    const StreamPoint& early = ordered ? a : b;
    const StreamPoint& late = ordered ? b : a;
    FUZZ_CHECK(StartFrameOf(clock, early) <= StartFrameOf(clock, late) &&
                   StopFrameOf(clock, early) <= StopFrameOf(clock, late),
               "\"%s\" and \"%s\" map to frames out of order", texts[i - 1].c_str(), texts[i].c_str());
  }

  // The first line as a job.
  {
    JobArgument job;
    std::string error;
    if (ParseJob(lines[0], job, error)) {
      if (job.HasStop && job.Stop.FromEnd) {
        // "end-TIME": from the end of this stream's audio.
        const std::int64_t end = FrameStart(clock, count);
        const std::int64_t back = job.Stop.Nanoseconds;
        ResolveFromEnd(job, end);
        FUZZ_CHECK(!job.Stop.FromEnd && job.Stop.IsTime && job.Stop.Nanoseconds == std::max<std::int64_t>(end - back, 0),
                   "\"%s\": end-%lld ns of %lld ns resolves to %lld ns", lines[0].c_str(), static_cast<long long>(back),
                   static_cast<long long>(end), static_cast<long long>(job.Stop.Nanoseconds));
      }
      std::int32_t start = -1, stop = -1;
      if (ResolveRange(job, clock, start, stop, error)) {
        FUZZ_CHECK(0 <= start && start <= stop, "\"%s\" resolves to %d-%d", lines[0].c_str(), start, stop);
      } else {
        FUZZ_CHECK(!error.empty(), "\"%s\" holds no frame, and no reason given", lines[0].c_str());
      }
    } else {
      FUZZ_CHECK(!error.empty(), "job \"%s\" refused without a reason", lines[0].c_str());
    }
  }

  // The second line as --every: refused exactly when shorter than a frame.
  if (lines.size() > 1) {
    StreamPoint length;
    std::string error;
    if (ParsePoint(lines[1], length, error)) {
      std::vector<std::int32_t> starts;
      const bool planned = EveryStarts(length, clock, count, starts, error);
      const __int128 scaled = static_cast<__int128>(length.Nanoseconds) * clock.SampleRate;
      const bool shortest =
          length.IsTime ? scaled >= static_cast<__int128>(clock.SamplesPerFrame) * kSecond : length.Frame >= 1;
      FUZZ_CHECK(planned == shortest, "--every \"%s\" %s at %d samples, %d Hz", lines[1].c_str(),
                 planned ? "taken" : "refused", clock.SamplesPerFrame, clock.SampleRate);
      if (planned) {
        CheckPlan(starts, count, "--every");
      } else {
        // Named as it can be typed back: seconds to the nanosecond, rounded up.
        const std::int64_t ns = (std::int64_t{clock.SamplesPerFrame} * kSecond + clock.SampleRate - 1) /
                                clock.SampleRate;
        std::string fraction = std::to_string(ns % kSecond);
        fraction.insert(0, 9 - fraction.size(), '0');
        fraction.erase(fraction.find_last_not_of('0') + 1);
        const std::string named = std::to_string(ns / kSecond) + "." + fraction + "s";
        FUZZ_CHECK(ShortestEveryTime(clock) == ns && error.find(named) != std::string::npos,
                   "the refusal does not name %s: %s", named.c_str(), error.c_str());
        StreamPoint typed;
        FUZZ_CHECK(ParsePoint(named, typed, error) && EveryStarts(typed, clock, count, starts, error),
                   "the shortest length named, %s, is refused", named.c_str());
      }
    }
  }

  // --every on the player's clock: the same lengths taken, boundaries inside.
  if (lines.size() > 1) {
    StreamPoint length;
    std::string error;
    if (ParsePoint(lines[1], length, error)) {
      std::vector<std::int64_t> boundaries;
      const bool planned = SplitBoundaries(stream, {}, &length, boundaries, error);
      std::vector<std::int32_t> starts;
      std::string frameError;
      FUZZ_CHECK(planned == CheckEveryLength(length, clock, frameError), "--every \"%s\" %s at the sample level",
                 lines[1].c_str(), planned ? "taken" : "refused");
      if (planned) CheckBoundaries(stream, boundaries, "--every");
    }
  }

  // The lines after it as split points.
  std::vector<StreamPoint> splitPoints;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    StreamPoint p;
    std::string error;
    if (ParsePoint(lines[i], p, error)) splitPoints.push_back(p);
  }
  if (!splitPoints.empty()) {
    std::vector<std::int64_t> boundaries;
    std::string error;
    FUZZ_CHECK(SplitBoundaries(stream, splitPoints, nullptr, boundaries, error) &&
                   boundaries.size() == splitPoints.size(),
               "%zu boundaries for %zu points", boundaries.size(), splitPoints.size());
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
      // A time may lie past the end (the plan refuses it later); a frame's
      // first sample is inside the stream.
      FUZZ_CHECK(boundaries[i] >= 0 &&
                     (splitPoints[i].IsTime || boundaries[i] <= std::max<std::int64_t>(0, stream.Samples())) &&
                     boundaries[i] == SampleOfPoint(stream, splitPoints[i]),
                 "point %zu at sample %lld of %lld", i, static_cast<long long>(boundaries[i]),
                 static_cast<long long>(stream.Samples()));
      for (std::size_t j = 0; j < i; ++j) {
        const StreamPoint& a = splitPoints[j];
        const StreamPoint& b = splitPoints[i];
        if (a.IsTime == b.IsTime && (a.IsTime ? a.Nanoseconds <= b.Nanoseconds : a.Frame <= b.Frame))
          FUZZ_CHECK(boundaries[j] <= boundaries[i], "later points at earlier samples");
      }
    }
    std::vector<std::int32_t> starts;
    error.clear();
    if (SplitStarts(splitPoints, clock, count, starts, error)) {
      FUZZ_CHECK(starts.size() == splitPoints.size() + 1, "%zu starts for %zu points", starts.size(),
                 splitPoints.size());
      CheckPlan(starts, count, "points");
    } else {
      FUZZ_CHECK(!error.empty(), "points refused without a reason");
    }
  }
  return 0;
}
