#include "gapless/GaplessStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>

#include "gapless/SideInfo.h"
#include "stream/ReadAt.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"
#include "stream/XingFrame.h"

namespace {

// Reads the frames the walk meets, front to back, through one block.
class FrameReader {
 public:
  FrameReader() : block_(1 << 16) {}
  ~FrameReader() = default;
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // Reads through the source's descriptor, which stays the source's.
  bool Open(const SourceFile& source, std::string& error) {
    if (!source.IsOpen()) {
      error = source.OpenError();
      return false;
    }
    fd_ = source.Descriptor();
    path_ = source.Path();
    return true;
  }
  // The `length` bytes at `position`, or nullptr when the file does not hold
  // them (error set when reading failed).
  const std::uint8_t* Bytes(std::int64_t position, std::size_t length, std::string& error) {
    if (position < start_ || position + static_cast<std::int64_t>(length) > start_ + filled_) {
      const ssize_t got = ReadAt(fd_, block_.data(), block_.size(), position);
      if (got < 0) {
        error = "cannot read " + path_ + ": " + std::strerror(errno);
        return nullptr;
      }
      start_ = position;
      filled_ = got;
      if (static_cast<std::size_t>(got) < length) return nullptr;
    }
    return block_.data() + (position - start_);
  }

 private:
  std::vector<std::uint8_t> block_;
  std::string path_;
  int fd_ = -1;
  std::int64_t start_ = 0;
  std::int64_t filled_ = 0;
};

// Calls `each(audioIndex, frame bytes, visit)` for every whole frame of the
// reference's stream from frame `firstAudio` on, in order. The bytes are the
// whole frame's when `whole(audioIndex)` says so, else its four header bytes
// only: the frames far from what is measured cost no read of their own.
// `counted` (when given) gets every frame the walk counted. A set `cancel`
// stops the walk: false, with `error` kWalkInterrupted. The audio frames
// before `passBefore` are only counted, neither read nor handed to `each`;
// `audioCount` (when given) gets how many audio frames the walk met.
using AudioVisit = std::function<bool(std::int64_t, const std::uint8_t*, const FrameVisit&)>;
bool WalkAudio(SourceFile& source, const FrameHeader& reference, std::int32_t firstAudio,
               const std::function<bool(std::int64_t)>& whole, const AudioVisit& each, std::string& error,
               const std::atomic<bool>* cancel, std::int64_t* counted = nullptr, std::int64_t passBefore = 0,
               std::int64_t* audioCount = nullptr) {
  FrameReader reader;
  if (!reader.Open(source, error)) return false;
  ScanOptions options;
  options.AnyBitRate = true;
  options.Cancel = cancel;
  std::string readError;
  std::int64_t audio = 0;
  const bool walked = WalkFrames(
      source, reference, options,
      [&](const FrameVisit& f) {
        if (counted != nullptr) *counted = std::int64_t{f.Index} + 1;
        if (!f.Whole || !f.Fits || f.Index < firstAudio) return true;
        if (audio < passBefore) {
          ++audio;
          return true;
        }
        if (!whole(audio)) return each(audio++, f.Header, f);
        const std::uint8_t* b = reader.Bytes(f.Position, static_cast<std::size_t>(f.Length), readError);
        if (b == nullptr) return readError.empty();
        return each(audio++, b, f);
      },
      error);
  if (audioCount != nullptr) *audioCount = audio;
  if (!readError.empty()) error = readError;
  // The walk ends quietly where the flag stopped it, as it would at the end.
  if (walked && readError.empty() && cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
    error = kWalkInterrupted;
    return false;
  }
  return walked && readError.empty();
}

}  // namespace

std::int64_t GaplessStream::Samples() const {
  const std::int64_t decoded = AudioFrames * SamplesPerFrame;
  const std::int64_t end = std::min(decoded, decoded - EndPadding + kDecoderDelay);
  return std::max<std::int64_t>(0, end - DecoderOffset());
}

bool DecodersHonourEncoder(const std::string& encoder) {
  const std::string head = encoder.substr(0, 4);
  return head == "LAME" || head == "Lavf" || head == "Lavc";
}

bool ReadGaplessStream(const std::string& path, const FrameHeader& reference, GaplessStream& stream,
                       std::string& error, bool countFrames, const std::atomic<bool>* cancel) {
  SourceFile source(path);
  return ReadGaplessStream(source, reference, stream, error, countFrames, cancel);
}

bool ReadGaplessStream(SourceFile& source, const FrameHeader& reference, GaplessStream& stream,
                       std::string& error, bool countFrames, const std::atomic<bool>* cancel) {
  const std::string& path = source.Path();
  stream = GaplessStream{};
  if (reference.Invalid || reference.Layer != 1) {
    error = path + ": not a Layer III stream";
    return false;
  }
  stream.SamplesPerFrame = SamplesPerFrame(reference);
  stream.SampleRate = HeaderSampleRate(reference);
  stream.Granules = reference.VersionId == 3 ? 2 : 1;
  std::uint16_t bitRates = 0;
  bool first = true;
  bool walked = WalkAudio(
      source, reference, 0,
      [](std::int64_t index) { return index < 2; },  // a tag frame and the first audio frame
      [&](std::int64_t index, const std::uint8_t* b, const FrameVisit& f) {
        const std::int32_t length = f.Length;
        XingTag tag;
        if (index == 0 && ParseXingTag(b, static_cast<std::size_t>(length), tag)) {
          stream.FirstAudioFrame = 1;
          if (tag.HasLame && DecodersHonourEncoder(tag.Encoder)) {
            stream.Declared = true;
            stream.EncoderDelay = tag.EncoderDelay;
            stream.EndPadding = tag.EndPadding;
            stream.Encoder = tag.Encoder;
            stream.TagFrame.assign(b, b + length);
          }
          return true;
        }
        if (first) {
          // Stereo frames without flags have a zero fourth byte: a frame
          // all the same.
          DecodeFrameHeader(b[0], b[1], b[2], b[3] == 0 ? 0x04 : b[3], 0, 0, stream.FirstAudio);
          stream.FirstAudio.Byte3 = b[3];
          stream.FirstAudio.Original = b[3] >> 2 & 1;
          first = false;
        }
        bitRates |= static_cast<std::uint16_t>(1u << (b[2] >> 4));
        ++stream.AudioFrames;
        return countFrames;
      },
      error, cancel);
  if (!walked) return false;
  stream.SeveralBitRates = (bitRates & (bitRates - 1)) != 0;
  if (stream.AudioFrames == 0) {
    error = path + ": no Layer III audio frame";
    return false;
  }
  return true;
}

bool MeasureReservoir(const std::string& path, const FrameHeader& reference, const GaplessStream& stream,
                      const std::vector<std::int64_t>& frames, std::vector<ReservoirReach>& reach,
                      std::string& error, WalkAround* around, const std::atomic<bool>* cancel) {
  SourceFile source(path);
  return MeasureReservoir(source, reference, stream, frames, reach, error, around, cancel);
}

bool MeasureReservoir(SourceFile& source, const FrameHeader& reference, const GaplessStream& stream,
                      const std::vector<std::int64_t>& frames, std::vector<ReservoirReach>& reach,
                      std::string& error, WalkAround* around, const std::atomic<bool>* cancel) {
  reach.assign(frames.size(), ReservoirReach{});
  for (std::size_t i = 0; i < frames.size(); ++i) reach[i].FirstNeeded = frames[i];
  // Targets in order of their frame; each stays open until the frames after
  // it hold more main data than any reservoir can reach back over.
  std::vector<std::size_t> order(frames.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return frames[a] < frames[b]; });
  // The targets, those asked for on the way appended: `frames` is the
  // caller's and stays as it is.
  std::vector<std::int64_t> targets = frames;
  bool asking = around != nullptr && static_cast<bool>(around->More);  // More may give another
  // Asks for the next target once the walk has reached every one before it.
  auto ask = [&](std::size_t reached) {
    if (!asking || reached < order.size()) return;
    std::int64_t frame = 0;
    asking = around->More(frame);
    if (!asking) return;
    order.push_back(targets.size());
    targets.push_back(frame);
    ReservoirReach r;
    r.FirstNeeded = frame;
    reach.push_back(std::move(r));
  };
  struct Open {
    std::size_t Target;
    std::int64_t Capacity = 0;         // main-data bytes of the frames from the target on
    std::vector<std::uint8_t> Before;  // the reservoir when the target began
    std::int64_t Carry = 0;            // bytes of it that frames from the target on take
  };
  std::vector<Open> open;
  std::size_t next = 0;
  ReservoirTracker tracker;
  // The last main-data bytes of the stream, oldest first once full.
  constexpr std::size_t kRing = 512;
  std::vector<std::uint8_t> ring(kRing);
  std::int64_t ringFilled = 0;
  // The frames whose side information and main data count: the tracker's
  // frames before each target and the frames of the open ones. Its kKept
  // frames before a target hold more than any reservoir (and the ring), so
  // what comes before them never changes a measure: their bytes are not read.
  constexpr std::int64_t kBefore = ReservoirTracker::kKept;
  auto near = [&](std::int64_t index) {
    ask(next);
    return !open.empty() || (next < order.size() && targets[order[next]] - index <= kBefore);
  };
  std::int64_t lastNear = -2;
  auto close = [&](Open& o) {
    ReservoirReach& r = reach[o.Target];
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::int64_t>(o.Carry, static_cast<std::int64_t>(o.Before.size())));
    r.Carried.assign(o.Before.end() - static_cast<std::ptrdiff_t>(n), o.Before.end());
  };
  bool stopped = false;
  std::int64_t met = 0;
  std::int64_t counted = 0;
  // Far before the first target a frame is only counted: nothing of it is
  // kept, no place is asked for there, and the walk cannot end there while
  // a target lies ahead. So those frames skip the measuring below (a long
  // walk to a start an hour in spends most of its time there).
  std::int64_t passBefore = 0;
  if (!order.empty()) {
    passBefore = targets[order[0]] - kBefore - 1;
    if (around != nullptr && around->PlacesFrom <= around->PlacesTo)
      passBefore = std::min(passBefore, around->PlacesFrom);
    passBefore = std::max<std::int64_t>(passBefore, 0);
  }
  std::int64_t audioMet = 0;
  const bool walked = WalkAudio(
      source, reference, stream.FirstAudioFrame, [&](std::int64_t index) { return near(index); },
      [&](std::int64_t index, const std::uint8_t* b, const FrameVisit& f) {
        met = index + 1;
        if (around != nullptr && index >= around->PlacesFrom && index <= around->PlacesTo) {
          FramePlace place;
          place.Audio = index;
          place.Index = f.Index;
          place.Position = f.Position;
          std::memcpy(place.Header, f.Header, 4);
          around->Places.push_back(place);
        }
        const auto more = [&] {
          ask(next);
          stopped = !(next < order.size() || !open.empty() || (around != nullptr && index < around->WalkTo));
          return !stopped;
        };
        if (!near(index)) return more();
        // The frames before were left aside: the tracker and the ring start
        // again, a window ahead of the target.
        if (lastNear != index - 1) {
          tracker.Reset();
          ringFilled = 0;
        }
        lastNear = index;
        Layer3SideInfo side;
        if (!ParseLayer3SideInfo(b, static_cast<std::size_t>(f.Length), side)) return more();
        const std::int32_t capacity = MainDataCapacity(f.Length, side);
        const int back = tracker.Add(capacity, side.MainDataBegin);
        while (next < order.size() && targets[order[next]] <= index) {
          if (targets[order[next]] == index) {
            Open o{order[next]};
            const std::int64_t have = std::min<std::int64_t>(ringFilled, kRing);
            for (std::int64_t k = ringFilled - have; k < ringFilled; ++k)
              o.Before.push_back(ring[static_cast<std::size_t>(k % kRing)]);
            std::memcpy(reach[o.Target].Header, b, 4);
            open.push_back(std::move(o));
          }
          ++next;
        }
        // A frame whose reservoir its own stream never held begins with
        // what the stream has.
        const std::int64_t firstHolding = back < 0 ? 0 : index - back;
        for (Open& o : open) {
          ReservoirReach& r = reach[o.Target];
          r.FirstNeeded = std::min(r.FirstNeeded, firstHolding);
          if (firstHolding < targets[o.Target]) r.LastLacking = index;
          o.Carry = std::max(o.Carry, side.MainDataBegin - o.Capacity);
          o.Capacity += capacity;
        }
        const std::uint8_t* data = b + side.HeaderBytes + side.SideInfoBytes;
        for (std::int32_t k = 0; k < capacity; ++k)
          ring[static_cast<std::size_t>((ringFilled + k) % kRing)] = data[k];
        ringFilled += capacity;
        // 511 bytes is the most main_data_begin can say.
        for (auto o = open.begin(); o != open.end();) {
          if (o->Capacity > 511) {
            close(*o);
            o = open.erase(o);
          } else {
            ++o;
          }
        }
        return more();
      },
      error, cancel, &counted, passBefore, &audioMet);
  // A stream that ends before the frames passed over does not reach `each`.
  met = std::max(met, audioMet);
  for (Open& o : open) close(o);
  if (around != nullptr) {
    around->AudioFrames = met;
    around->Counted = counted;
    around->ReachedEnd = walked && !stopped;
  }
  return walked;
}
