#include "cli/FromEnd.h"

#include "cli/StreamClock.h"
#include "stream/Scanner.h"

void ResolveStopsFromEnd(std::vector<PlannedJob>& jobs, bool anyBitRate) {
  for (PlannedJob& planned : jobs) {
    JobArgument& job = planned.Job;
    if (!planned.ParseError.empty() || !job.HasStop || !job.Stop.FromEnd) continue;
    FrameHeader reference;
    std::string error;
    FrameClock clock;
    if (!ProbeFile(job.Path, reference, error) || !ReadFrameClock(job.Path, reference, clock, error)) continue;
    ScanOptions options;
    options.AnyBitRate = anyBitRate;
    const ScanResult r = ScanFrames(job.Path, "", 0, 100, true, reference, {}, options);
    if (!r.Ok()) continue;
    ResolveFromEnd(job, clock, r.Count);
    planned.KnownCount = r.Count;
  }
}
