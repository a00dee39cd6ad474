#include "cli/FromEnd.h"

#include <algorithm>

#include "cli/StreamClock.h"
#include "gapless/GaplessStream.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

void ResolveStopsFromEnd(std::vector<PlannedJob>& jobs, bool /*anyBitRate*/) {
  for (PlannedJob& planned : jobs) {
    JobArgument& job = planned.Job;
    if (!planned.ParseError.empty() || !job.HasStop || !job.Stop.FromEnd) continue;
    FrameHeader reference;
    std::string error;
    FrameClock clock;
    SourceFile& source = JobSource(planned);
    if (!ProbeFile(source, reference, error) || !ReadFrameClock(source, reference, clock, error)) continue;
    // Every frame of the stream, whatever its bit rate: the count does not
    // depend on it, and the copyable frames are then the stream's audio
    // frames (and its tag frame), so that one pass gives both.
    ScanOptions options;
    options.AnyBitRate = true;
    const ScanResult r = ScanFrames(source, "", 0, 100, true, reference, {}, options);
    if (!r.Ok()) continue;
    // Layer III ends where a gapless player stops, before the encoder's
    // padding; other layers at the end of their last frame.
    std::int64_t end = FrameStart(clock, r.Count);
    GaplessStream stream;
    if (reference.Layer == 1 && ReadGaplessStream(source, reference, stream, error, false)) {
      stream.AudioFrames = std::max<std::int64_t>(0, r.Copyable - stream.FirstAudioFrame);
      end = SamplesTime(stream.SampleRate, stream.Samples());
    }
    ResolveFromEnd(job, end);
    planned.KnownCount = r.Count;
  }
}

bool CheckRangesHoldSomething(std::vector<PlannedJob>& jobs, std::string& usageError) {
  for (PlannedJob& planned : jobs) {
    const JobArgument& job = planned.Job;
    if (!planned.ParseError.empty() || job.WholeFile || (job.HasStop && job.Stop.FromEnd)) continue;
    std::string error;
    if (HoldsNothing(job, error)) {
      usageError = planned.Arg + ": " + error;
      return false;
    }
    if (!job.HasStart || !job.HasStop || job.Start.IsTime == job.Stop.IsTime) continue;
    FrameHeader reference;
    FrameClock clock;
    SourceFile& source = JobSource(planned);
    if (!ProbeFile(source, reference, error) || !ReadFrameClock(source, reference, clock, error)) continue;
    std::int32_t start = 0, stop = 0;
    if (!ResolveRange(job, clock, start, stop, error)) {
      usageError = planned.Arg + ": " + error;
      return false;
    }
  }
  return true;
}
