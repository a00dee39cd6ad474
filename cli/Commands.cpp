#include "cli/Commands.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "cli/BitRateMix.h"
#include "cli/CutRun.h"
#include "cli/ExactCut.h"
#include "cli/ExactJobs.h"
#include "cli/FileKind.h"
#include "cli/FromEnd.h"
#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/OutputTarget.h"
#include "cli/PathIdentity.h"
#include "cli/Signals.h"
#include "cli/TagOptions.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

bool ProbeInput(const std::string& path, StreamProbe& probe) {
  SourceFile source(path);
  return ProbeInput(source, probe);
}

bool ProbeInput(SourceFile& source, StreamProbe& probe) {
  const std::string& path = source.Path();
  std::string error;
  if (ProbeStream(source, probe, error)) return true;
  if (!error.empty()) {
    Complain(error);
  } else {
    // What the file is when it is another format, before what the probe
    // made of its bytes (a WAV file's data can pass for a free format frame).
    const std::string kind = KnownOtherFormat(source);
    const std::string detail = !kind.empty()                           ? "it is " + kind + ", not MPEG audio"
                               : probe.Refusal != ProbeRefusal::NoFrame ? ProbeRefusalDetail(probe.Refusal)
                                                                        : "no MPEG audio frame was found";
    Complain(path + ": Is Something Strange With This File ! (" + detail + ")");
  }
  return false;
}

bool ProbeInput(SourceFile& source, FrameHeader& reference) {
  StreamProbe probe;
  if (!ProbeInput(source, probe)) return false;
  reference = probe.Reference;
  return true;
}

bool ProbeInput(const std::string& path, FrameHeader& reference) {
  SourceFile source(path);
  return ProbeInput(source, reference);
}

bool CountFrames(const std::string& path, const FrameHeader& reference, bool anyBitRate, std::int32_t& count,
                 std::int32_t& copyable) {
  SourceFile source(path);
  return CountFrames(source, reference, anyBitRate, count, copyable);
}

bool CountFrames(SourceFile& source, const FrameHeader& reference, bool anyBitRate, std::int32_t& count,
                 std::int32_t& copyable) {
  ScanOptions options;
  options.AnyBitRate = anyBitRate;
  // Set only where the handlers are installed: a signal ends a long count too.
  options.Cancel = CancelFlag();
  // The count a newly added job gets: frames 0 to 100 of a counting pass.
  const ScanResult r = ScanFrames(source, "", 0, 100, true, reference, {}, options);
  if (!r.Ok()) {
    if (r.Status != ScanStatus::Interrupted) Complain(r.Message);  // the caller names the signal
    return false;
  }
  count = r.Count;
  copyable = r.Copyable;
  return true;
}

int RunCount(const std::string& path, bool anyBitRate) {
  SourceFile source(path);
  FrameHeader reference;
  if (!ProbeInput(source, reference)) return kExitFailed;
  std::int32_t frames = 0, copyable = 0;
  if (!CountFrames(source, reference, anyBitRate, frames, copyable)) return kExitFailed;
  std::printf("%d\n", frames);
  return kExitOk;
}

namespace {

// Whether the jobs' inputs start with frames of different bit rates, or one
// of them holds several (when every bit rate is copied), so that their
// frames joined need a Xing frame in front.
bool BitRatesDiffer(std::vector<PlannedJob>& jobs, bool anyBitRate) {
  int seen = -1;
  for (PlannedJob& job : jobs) {
    FrameHeader h;
    if (!job.ParseError.empty() || !ProbeFile(JobSource(job), h)) continue;
    if (anyBitRate && MixesBitRates(JobSource(job))) return true;
    if (seen >= 0 && h.BitRateIndex != seen) return true;
    seen = h.BitRateIndex;
  }
  return false;
}

}  // namespace

int RunCut(const Options& options) {
  if (options.Each) return RunEachCut(options);
  std::vector<PlannedJob> jobs;
  std::vector<TagEdit> edits;
  std::string error;
  LevelChange level;
  if (!PlanCutJobs(options.Operands, jobs, error, options.Range) || !ParseTagOptions(options.TagEdits, edits, error) ||
      !ParseLevelChange(options, level, error))
    return UsageError(error);

  // An output that is one of the inputs would be read while it grows; one
  // named by a job that has not run yet would be cut into itself. Standard
  // output redirected into an input is the same. The inputs are opened here,
  // once for the whole run: what is checked is the file that will be read.
  const bool toStdout = options.Output == "-";
  const PathIdentity out = toStdout ? IdentifyDescriptor(STDOUT_FILENO) : IdentifyPath(options.Output);
  OpenJobSources(jobs);
  for (const PlannedJob& job : jobs) {
    const PathIdentity in = InputIdentity(job);
    if (toStdout ? out.Exists && in.Exists && SamePlace(out, in) : SamePlace(out, in)) {
      Complain((toStdout ? std::string("standard output") : options.Output) + ": the output is also an input (" +
               job.Arg + "); nothing written");
      return kExitFailed;
    }
  }

  // A stop counted from the end becomes a time from the start first, so
  // that every way of cutting sees a plain range.
  ResolveStopsFromEnd(jobs, options.AnyBitRate);
  if (!CheckRangesHoldSomething(jobs, error)) return UsageError(error);
  // One time-cut job into a new output decodes to exactly its samples; the
  // other cuts copy frames.
  LameFields tag;
  ExactChoice exact = ExactChoice::FrameCopy;
  if (!options.Frames && !options.Append && jobs.size() == 1) exact = MakeCutExact(jobs[0], tag);
  if (exact == ExactChoice::Refused) return kExitFailed;
  // Jobs joined to frames before them get their reservoir carried.
  if (exact == ExactChoice::FrameCopy) WarnDamagedStarts(jobs, options.Frames, !options.Frames, options.Append);
  // Times that will not be met to the sample are said, not left to be heard.
  if (exact == ExactChoice::FrameCopy && !options.Frames && (jobs.size() > 1 || options.Append)) {
    for (const PlannedJob& job : jobs) {
      if (!job.ParseError.empty() || !((job.Job.HasStart && job.Job.Start.IsTime) ||
                                       (job.Job.HasStop && job.Job.Stop.IsTime)))
        continue;
      Complain(std::string("time ranges are cut at frame edges when ") +
               (options.Append ? "appending" : "several jobs are joined") +
               ": only one job cut by time into a new output decodes to exactly its samples");
      break;
    }
  }

  OutputChoice choice;
  choice.Output = options.Output;
  choice.Existing = options.Overwrite ? ExistingOutput::Overwrite
                    : options.Append  ? ExistingOutput::Append
                                      : ExistingOutput::Refuse;
  choice.NoWait = options.NoWait;
  // A join may widen the last frame before a junction to give the next part
  // its reservoir bytes: the output may then hold several bit rates, and a
  // tag frame, reserved in front, says so to players. Byte copies (--frames)
  // never widen.
  choice.ReserveTagFrame = BitRatesDiffer(jobs, options.AnyBitRate) || exact == ExactChoice::Exact ||
                           (options.AnyBitRate && !options.Frames && jobs.size() > 1);
  choice.WidenAtJunctions = options.AnyBitRate;
  choice.Lame = exact == ExactChoice::Exact;
  choice.LameValues = tag;
  OutputTarget target;
  const int refused = OpenOutputTarget(choice, target);
  if (refused >= 0) return refused;
  CutSettings settings;
  settings.AnyBitRate = options.AnyBitRate;
  settings.Join = !options.Frames;
  settings.Tags = options.Tags;
  settings.Quiet = options.Quiet;
  settings.Edits = edits;
  settings.Level = level;
  return CutJobsInto(target, jobs, settings);
}
