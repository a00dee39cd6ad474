#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "stream/FrameWalk.h"
#include "stream/InputFile.h"
#include "stream/OutputFile.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace {

constexpr std::int32_t kShortestFrame = 24;  // MPEG-2 Layer III, 8 kbps, 24000 Hz

std::int32_t Clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

// Frames waiting in the window to be appended to the output, kept as
// runs of adjacent frames, each written with one call before the buffer moves
// on; each frame's progress call follows once its bytes are in the file, so
// the calls and the output are those of writing frame by frame.
class PendingFrames {
 public:
  PendingFrames(std::size_t capacity, FrameSink& out, std::int32_t total, const JobProgress& progress)
      : capacity_(capacity), out_(out), total_(total), progress_(progress) {
    runs_.reserve(std::min<std::size_t>(capacity, 64));
  }

  bool Full() const { return runs_.size() + 1 >= capacity_; }
  void Add(std::int64_t pos, std::int32_t length, std::int32_t index) {
    if (open_.Frames == 0 || pos != open_.Pos + open_.Bytes) {
      if (open_.Frames > 0) runs_.push_back(open_);
      open_ = Run{pos, 0, index, 0};
    }
    open_.Bytes += length;
    ++open_.Frames;
  }
  std::int64_t Written() const { return written_; }
  std::int64_t Bytes() const { return bytes_; }

  // Writes every waiting frame. On failure the output is cut back to its last
  // whole frame where that is safe, and `message` says why and what is left.
  bool Flush(const InputFile& in, std::string& message) {
    if (open_.Frames > 0) runs_.push_back(open_);
    open_ = Run{};
    for (Run run : runs_) {
      // A file that lost bytes since the walk passed them: what it still
      // holds goes out, frame by frame as its headers tell, and no more.
      const bool lost = !in.StillWhole(run.Pos, run.Pos + run.Bytes);
      if (lost) {
        shrank_ = true;
        const std::int64_t readable = in.ReadableEnd();
        std::int64_t frames = 0;
        std::int64_t whole = 0;
        while (frames < run.Frames && run.Pos + whole + 4 <= readable) {
          const std::int64_t length = framewalk::Classify(in.At(run.Pos + whole)).Length;
          if (length <= 0 || run.Pos + whole + length > readable) break;
          whole += length;
          ++frames;
        }
        run.Frames = frames;
        run.Bytes = whole;
      }
      std::size_t wrote = 0;
      const bool ok =
          out_.Write(in.At(run.Pos), static_cast<std::size_t>(run.Bytes), run.FirstIndex, wrote, message);
      // The frames that reached the output whole: all of them, or those that
      // their headers, still in the buffer, say fit in what was written.
      std::int64_t frames = run.Frames;
      std::int64_t whole = run.Bytes;
      if (!ok) {
        frames = 0;
        whole = 0;
        for (std::int32_t length;
             frames < run.Frames && whole + (length = framewalk::Classify(in.At(run.Pos + whole)).Length) <=
                                        static_cast<std::int64_t>(wrote);
             ++frames)
          whole += length;
      }
      bytes_ += whole;
      if (progress_) {
        for (std::int64_t k = 0; k < frames; ++k) progress_(Clamp32(written_++), total_);
      } else {
        written_ += frames;
      }
      if (!ok) {
        out_.CutBack(wrote - static_cast<std::size_t>(whole), message);
        runs_.clear();
        // Bytes the file lost under the write cannot be written (EFAULT).
        if (in.ReadableEnd() < in.Limit()) shrank_ = true;
        return false;
      }
      if (lost) {
        runs_.clear();
        return false;
      }
    }
    runs_.clear();
    return true;
  }
  // The last Flush stopped because the input lost bytes.
  bool Shrank() const { return shrank_; }

 private:
  struct Run {
    std::int64_t Pos = 0;
    std::int64_t Bytes = 0;
    std::int32_t FirstIndex = 0;
    std::int64_t Frames = 0;
  };
  std::size_t capacity_;
  Run open_;  // the run that frames are added to
  std::vector<Run> runs_;
  FrameSink& out_;
  std::int32_t total_;
  const JobProgress& progress_;
  std::int64_t written_ = 0;
  std::int64_t bytes_ = 0;
  bool shrank_ = false;
};

std::string ShrankMessage(const std::string& path) {
  return "cannot read " + path + ": the file shrank while it was read";
}

}  // namespace

ScanResult ScanFramesBuffered(const std::string& inputPath, const std::string& outputPath,
                              std::int32_t startFrame, std::int32_t stopFrame, bool countOnly,
                              const FrameHeader& reference, const JobProgress& progress,
                              std::size_t bufferSize, const ScanOptions& options) {
  SourceFile input(inputPath);
  return ScanFramesBuffered(input, outputPath, startFrame, stopFrame, countOnly, reference, progress,
                            bufferSize, options);
}

ScanResult ScanFramesBuffered(SourceFile& input, const std::string& outputPath, std::int32_t startFrame,
                              std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                              const JobProgress& progress, std::size_t bufferSize,
                              const ScanOptions& options) {
  ScanResult result;
  const std::string& inputPath = input.Path();
  // Nothing at the input path: no output is made either.
  if (!input.IsOpen() && input.Missing()) {
    result.Message = input.Error();
    result.Status = ScanStatus::InputMissing;
    return result;
  }

  OutputFile file;
  FrameSink& out = options.Sink != nullptr ? *options.Sink : file;
  if (!countOnly && options.Sink == nullptr) {
    result.Status = file.Open(outputPath, result.Message);
    if (!result.Ok()) return result;
  }

  const std::size_t buffer = std::max(bufferSize, kSmallestReadBuffer);
  InputFile in(buffer);
  std::int64_t pos = 0;
  if (!input.IsOpen()) result.Message = input.OpenError();
  if (!input.IsOpen() || !input.LeadingTagsEnd(pos, result.Message)) {
    result.Status = ScanStatus::InputUnreadable;
    return result;
  }
  in.Open(input);
  TrailingTags trailing;
  if (!input.Trailing(trailing, result.Message)) {
    result.Status = ScanStatus::ReadFailed;
    return result;
  }
  const std::int64_t audioEnd = trailing.AudioEnd;
  in.SetLimit(audioEnd);  // the tags behind the audio are never read

  const std::int32_t total = Clamp32(static_cast<std::int64_t>(stopFrame) - startFrame);
  PendingFrames pending(buffer / kShortestFrame + 1, out, total, progress);
  bool failed = false;

  // Writes what waits in the buffer before it moves on.
  auto flush = [&] {
    if (countOnly || pending.Flush(in, result.Message)) return true;
    result.Status = pending.Shrank() ? ScanStatus::ReadFailed : ScanStatus::WriteFailed;
    if (pending.Shrank()) result.Message = ShrankMessage(inputPath);
    failed = true;
    return false;
  };

  // Brings [p, p + n) into the buffer, writing what waits in it first. False
  // when the file holds fewer bytes there, or on failure.
  auto bring = [&](std::int64_t p, std::int64_t n) {
    if (failed) return false;
    if (p + n <= in.WindowEnd()) return true;
    if (p + n > in.Limit()) return false;  // the file holds fewer bytes
    if (!flush()) return false;
    // At every window too, so that a long stretch without frames (junk, a
    // hole) still sees a signal; what was written ends on a whole frame.
    if (options.Cancel != nullptr && options.Cancel->load(std::memory_order_relaxed)) {
      result.Status = ScanStatus::Interrupted;
      result.Message = "interrupted";
      failed = true;
      return false;
    }
    if (!in.Advance(p, result.Message)) {
      result.Status = ScanStatus::ReadFailed;
      failed = true;
      return false;
    }
    return p + n <= in.WindowEnd();
  };

  // A frame an earlier walk found: the walk goes on from it, in step, as it
  // went then; a file whose bytes there changed is walked from the start.
  framewalk::Step step;
  const ResumePoint& resume = options.Resume;
  std::uint8_t there[4];
  std::string unread;
  if (resume.Position > pos && in.ReadAt(resume.Position, there, 4, unread) &&
      std::memcmp(there, resume.Header, 4) == 0) {
    pos = resume.Position;
    step.PreviousEnd = pos;
    step.PreviousKey = framewalk::StreamKey(resume.Header);
    step.Index = resume.Index;
  }

  std::int64_t copyable = 0;
  std::int64_t leftOut = 0;
  bool tagFrameWritten = false;
  const std::atomic<bool>* const cancel = options.Cancel;
  auto cancelled = [&] {
    if (cancel == nullptr || !cancel->load(std::memory_order_relaxed)) return false;
    result.Status = ScanStatus::Interrupted;
    result.Message = "interrupted";
    return true;
  };
  // Counting keeps nothing of a frame but whether a whole cut would copy it:
  // a walk of its own, so that nothing of cutting is looked at per frame.
  const std::int64_t count = countOnly
                                 ? framewalk::Walk(
                                       in, pos, audioEnd, reference, options.AnyBitRate, bring,
                                       [&](const FrameVisit& f) {
                                         copyable += f.Fits && f.Whole;
                                         return !cancelled();
                                       },
                                       step)
                                 // Inlined into both places where the walk takes a frame: called out
                                 // of line, every variable it shares with this function is a load.
                                 : framewalk::Walk(
                                       in, pos, audioEnd, reference, options.AnyBitRate, bring,
                                       [&](const FrameVisit& f) __attribute__((always_inline)) {
                                         if (options.EndAfterRange && f.Index > stopFrame) {
                                           result.FramesAfterRange = true;
                                           return false;
                                         }
                                         if (f.Fits && f.Whole) ++copyable;
                                         const bool inRange = f.Index >= startFrame && f.Index <= stopFrame;
                                         if (inRange && !f.Fits && leftOut++ == 0)
                                           std::memcpy(result.LeftOutHeader, f.Header, 4);
                                         // A frame that the end of the file cuts short is counted, never
                                         // written.
                                         if (inRange && f.Fits && f.Whole) {
                                           if (!bring(f.Position, f.Length)) return false;
                                           if (pending.Full() && !flush()) return false;
                                           pending.Add(f.Position, f.Length, f.Index);
                                           tagFrameWritten = tagFrameWritten || f.TagFrame;
                                         }
                                         return !cancelled();
                                       },
                                       step);

  if (!failed && flush() && in.EndedEarly()) {
    result.Status = ScanStatus::ReadFailed;
    result.Message = ShrankMessage(inputPath);
  }
  result.Count = Clamp32(result.FramesAfterRange ? count - 1 : count);
  result.Copyable = Clamp32(copyable);
  result.LeftOut = Clamp32(leftOut);
  result.Written = Clamp32(pending.Written());
  // The tag frame is frame 0: when it was asked for it was the first to go,
  // and a failed write of it leaves nothing written.
  result.AudioWritten = Clamp32(pending.Written() - (tagFrameWritten && pending.Written() > 0 ? 1 : 0));
  result.BytesWritten = pending.Bytes();
  return result;
}

ScanResult ScanFrames(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                      std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                      const JobProgress& progress, const ScanOptions& options) {
  return ScanFramesBuffered(inputPath, outputPath, startFrame, stopFrame, countOnly, reference, progress,
                            kDefaultReadBuffer, options);
}

ScanResult ScanFrames(SourceFile& input, const std::string& outputPath, std::int32_t startFrame,
                      std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                      const JobProgress& progress, const ScanOptions& options) {
  return ScanFramesBuffered(input, outputPath, startFrame, stopFrame, countOnly, reference, progress,
                            kDefaultReadBuffer, options);
}

ScanResult ScanFrames(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                      std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                      const JobProgress& progress) {
  return ScanFrames(inputPath, outputPath, startFrame, stopFrame, countOnly, reference, progress,
                    ScanOptions{});
}

ScanResult CutFrameRange(const std::string& inputPath, const std::string& outputPath, std::int32_t startFrame,
                         std::int32_t stopFrame, const FrameHeader& reference, const JobProgress& progress) {
  ScanOptions options;
  options.EndAfterRange = true;
  return ScanFrames(inputPath, outputPath, startFrame, stopFrame, false, reference, progress, options);
}

namespace {

bool WalkFile(SourceFile& source, std::int64_t from, const framewalk::Step& step,
              const FrameHeader& reference, const ScanOptions& options,
              const std::function<bool(const FrameVisit&)>& visit, std::string& error) {
  const std::string& path = source.Path();
  if (!source.IsOpen()) {
    error = source.OpenError();
    return false;
  }
  InputFile in(kDefaultReadBuffer);
  in.Open(source);
  std::int64_t pos = 0;
  TrailingTags trailing;
  if (!source.LeadingTagsEnd(pos, error) || !source.Trailing(trailing, error)) return false;
  const std::int64_t audioEnd = trailing.AudioEnd;
  in.SetLimit(audioEnd);
  bool failed = false;
  auto bring = [&](std::int64_t p, std::int64_t n) {
    if (failed) return false;
    if (p + n <= in.WindowEnd()) return true;
    if (p + n > in.Limit()) return false;
    if (options.Cancel != nullptr && options.Cancel->load(std::memory_order_relaxed)) return false;
    if (!in.Advance(p, error)) {
      failed = true;
      return false;
    }
    return p + n <= in.WindowEnd();
  };
  framewalk::Walk(
      in, std::max(pos, from), audioEnd, reference, options.AnyBitRate, bring,
      [&](const FrameVisit& f) {
        if (options.Cancel != nullptr && options.Cancel->load(std::memory_order_relaxed)) return false;
        return visit(f);
      },
      step);
  if (!failed && in.EndedEarly()) {
    error = ShrankMessage(path);
    return false;
  }
  return !failed;
}

}  // namespace

bool WalkFrames(SourceFile& source, const FrameHeader& reference, const ScanOptions& options,
                const std::function<bool(const FrameVisit&)>& visit, std::string& error) {
  return WalkFile(source, 0, framewalk::Step{}, reference, options, visit, error);
}

bool WalkFrames(const std::string& path, const FrameHeader& reference, const ScanOptions& options,
                const std::function<bool(const FrameVisit&)>& visit, std::string& error) {
  SourceFile source(path);
  return WalkFrames(source, reference, options, visit, error);
}

bool WalkFramesAfter(SourceFile& source, std::int64_t from, const std::uint8_t header[4],
                     const FrameHeader& reference, const ScanOptions& options,
                     const std::function<bool(const FrameVisit&)>& visit, std::string& error) {
  framewalk::Step step;
  step.PreviousEnd = from;
  step.PreviousKey = framewalk::StreamKey(header);
  return WalkFile(source, from, step, reference, options, visit, error);
}

bool WalkFramesAfter(const std::string& path, std::int64_t from, const std::uint8_t header[4],
                     const FrameHeader& reference, const ScanOptions& options,
                     const std::function<bool(const FrameVisit&)>& visit, std::string& error) {
  SourceFile source(path);
  return WalkFramesAfter(source, from, header, reference, options, visit, error);
}
