#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "stream/InputFile.h"
#include "stream/OutputFile.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"

namespace {

constexpr std::int32_t kShortestFrame = 24;  // MPEG-2 Layer III, 8 kbps, 24000 Hz

std::int32_t Clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

// Frames waiting in the read buffer to be appended to the output. They are
// written in runs of adjacent frames before the buffer moves on; each frame's
// progress call follows once its bytes are in the file, so the calls and the
// output are those of writing frame by frame.
class PendingFrames {
 public:
  PendingFrames(std::size_t capacity, OutputFile& out, std::int32_t total, const JobProgress& progress)
      : out_(out), total_(total), progress_(progress) {
    frames_.reserve(capacity);
  }

  bool Full() const { return frames_.size() == frames_.capacity(); }
  void Add(std::int64_t pos, std::int32_t length, std::int64_t index) {
    frames_.push_back({pos, length, index});
  }
  std::int64_t Written() const { return written_; }
  std::int64_t FailedIndex() const { return failedIndex_; }

  // Writes every waiting frame. On failure the output is cut back to its last
  // whole frame and `message` says why.
  bool Flush(const InputFile& in, std::string& message) {
    std::size_t i = 0;
    while (i < frames_.size()) {
      std::size_t j = i + 1;
      std::int64_t runEnd = frames_[i].pos + frames_[i].length;
      while (j < frames_.size() && frames_[j].pos == runEnd) runEnd += frames_[j++].length;
      const std::int64_t runStart = frames_[i].pos;
      std::size_t wrote = 0;
      const bool ok =
          out_.Write(in.At(runStart), static_cast<std::size_t>(runEnd - runStart), wrote, message);
      for (; i < j; ++i) {
        const Frame& f = frames_[i];
        if (f.pos + f.length - runStart > static_cast<std::int64_t>(wrote)) break;
        out_.Commit(f.length);
        if (progress_) progress_(Clamp32(written_), total_);
        ++written_;
      }
      if (!ok) {
        failedIndex_ = frames_[i].index;
        out_.CutBackToCommitted();
        frames_.clear();
        return false;
      }
    }
    frames_.clear();
    return true;
  }

 private:
  struct Frame {
    std::int64_t pos;
    std::int32_t length;
    std::int64_t index;
  };
  std::vector<Frame> frames_;
  OutputFile& out_;
  std::int32_t total_;
  const JobProgress& progress_;
  std::int64_t written_ = 0;
  std::int64_t failedIndex_ = -1;
};

// What the scan needs of a header: its verdict and its frame length. A CBR
// stream repeats two headers (padded and not), so the last two decodings are
// kept and reused for the same four bytes; decoding is a pure function of them.
struct HeaderVerdict {
  bool Invalid;
  std::int32_t FrameLength;
};

class RecentHeaders {
 public:
  HeaderVerdict Decode(const std::uint8_t* b, std::int64_t pos, std::int64_t size) {
    std::uint32_t key;
    std::memcpy(&key, b, 4);
    for (int i = 0; i < 2; ++i) {
      if (filled_[i] && keys_[i] == key) return verdicts_[i];
    }
    FrameHeader h;
    DecodeFrameHeader(b[0], b[1], b[2], b[3], pos, size, h);
    const int slot = next_;
    next_ ^= 1;
    keys_[slot] = key;
    verdicts_[slot] = {h.Invalid, h.FrameLength};
    filled_[slot] = true;
    return verdicts_[slot];
  }

 private:
  std::uint32_t keys_[2] = {0, 0};
  HeaderVerdict verdicts_[2] = {};
  bool filled_[2] = {false, false};
  int next_ = 0;
};

bool InputMissing(const std::string& path, std::string& message) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return false;
  if (errno != ENOENT && errno != ENOTDIR) return false;  // let opening it say what is wrong
  message = path + ": " + std::strerror(errno);
  return true;
}

}  // namespace

ScanResult ScanFramesBuffered(const std::string& inputPath, const std::string& outputPath,
                              std::int32_t startFrame, std::int32_t stopFrame, bool countOnly,
                              const FrameHeader& reference, const JobProgress& progress,
                              std::size_t bufferSize, bool endAfterRange) {
  ScanResult result;
  if (InputMissing(inputPath, result.Message)) {
    result.Status = ScanStatus::InputMissing;
    return result;
  }

  OutputFile out;
  if (!countOnly) {
    result.Status = out.Open(outputPath, result.Message);
    if (!result.Ok()) return result;
  }

  InputFile in(std::max(bufferSize, kSmallestReadBuffer));
  if (!in.Open(inputPath, result.Message)) {
    result.Status = ScanStatus::InputUnreadable;
    return result;
  }

  const std::int64_t size = in.Size();
  // The padded and unpadded frames of the reference: one byte apart, or one
  // four-byte slot for Layer I.
  const std::int32_t tolerance = reference.Layer == 3 ? 4 : 1;
  const std::int32_t total = Clamp32(static_cast<std::int64_t>(stopFrame) - startFrame);
  PendingFrames pending(std::max(bufferSize, kSmallestReadBuffer) / kShortestFrame + 1, out, total, progress);

  std::int64_t index = 0;
  std::int64_t pos = 0;
  bool failed = false;
  RecentHeaders verdicts;

  // Brings [pos, pos + n) into the read buffer, writing what waits in it
  // first. False when the file holds fewer bytes there, or on failure.
  // Writes what waits in the window. A write from a mapping whose file shrank
  // fails too: that is the input's fault, not the output's.
  auto flush = [&] {
    if (countOnly) return true;
    if (!in.Intact(result.Message)) {
      result.Status = ScanStatus::ReadFailed;
    } else if (pending.Flush(in, result.Message)) {
      return true;
    } else {
      result.Status = in.Intact(result.Message) ? ScanStatus::WriteFailed : ScanStatus::ReadFailed;
    }
    failed = true;
    return false;
  };

  // Brings [pos, pos + n) into the window, writing what waits in it first.
  // False when the file holds fewer bytes there, or on failure.
  auto bring = [&](std::int64_t n) {
    if (pos + n <= in.WindowEnd()) return true;
    if (in.WindowEnd() >= in.Limit()) return false;  // nothing more to read
    if (!flush()) return false;
    if (!in.Advance(pos, result.Message)) {
      result.Status = ScanStatus::ReadFailed;
      failed = true;
      return false;
    }
    return pos + n <= in.WindowEnd();
  };

  while (bring(4)) {
    // Out of step with the frames: four-byte steps through the buffer.
    const std::int64_t end = in.WindowEnd() - 3;
    while (pos < end && !IsSyncCandidate(in.At(pos))) pos += 4;
    if (pos >= end) continue;

    const std::uint8_t* b = in.At(pos);
    // In step, the headers ahead lie a few frames on: ask for them early.
    if (pos + 4096 < end) __builtin_prefetch(b + 4096);
    const HeaderVerdict header = verdicts.Decode(b, pos, size);
    if (header.Invalid) {
      pos += 4;
      continue;
    }
    const std::int64_t frameIndex = index++;  // every valid header counts
    if (std::abs(header.FrameLength - reference.FrameLength) > tolerance) {
      pos += 4;
      continue;
    }
    // A frame that the end of the file cuts short is counted, never written.
    if (pos + header.FrameLength > size || !bring(header.FrameLength)) break;
    if (!countOnly && frameIndex >= startFrame && frameIndex <= stopFrame) {
      if (pending.Full() && !flush()) break;
      pending.Add(pos, header.FrameLength, frameIndex);
    }
    pos += header.FrameLength;
    if (endAfterRange && !countOnly && frameIndex >= stopFrame) break;
  }

  if (!failed && flush() && !in.Intact(result.Message)) result.Status = ScanStatus::ReadFailed;
  if (pending.FailedIndex() >= 0) index = pending.FailedIndex() + 1;
  result.Count = Clamp32(index);
  result.Written = Clamp32(pending.Written());
  return result;
}

ScanResult ScanFrames(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                      std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                      const JobProgress& progress) {
  return ScanFramesBuffered(inputPath, outputPath, startFrame, stopFrame, countOnly, reference, progress,
                            kDefaultReadBuffer);
}

ScanResult CutFrameRange(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                         std::int32_t stopFrame, const FrameHeader& reference, const JobProgress& progress) {
  return ScanFramesBuffered(inputPath, outputPath, startFrame, stopFrame, false, reference, progress,
                            kDefaultReadBuffer, true);
}
