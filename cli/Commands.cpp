#include "cli/Commands.h"

#include <cstdint>
#include <cstdio>

#include "cli/CutRun.h"
#include "cli/FromEnd.h"
#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/OutputTarget.h"
#include "cli/PathIdentity.h"
#include "cli/TagOptions.h"
#include "stream/Scanner.h"

bool ProbeInput(const std::string& path, FrameHeader& reference) {
  std::string error;
  if (ProbeFile(path, reference, error)) return true;
  if (!error.empty()) {
    Complain(error);
  } else {
    Complain(path + ": Is Something Strange With This File !");
  }
  return false;
}

bool CountFrames(const std::string& path, const FrameHeader& reference, bool anyBitRate, std::int32_t& count,
                 std::int32_t& copyable) {
  ScanOptions options;
  options.AnyBitRate = anyBitRate;
  // The count a newly added job gets: frames 0 to 100 of a counting pass.
  const ScanResult r = ScanFrames(path, "", 0, 100, true, reference, {}, options);
  if (!r.Ok()) {
    Complain(r.Message);
    return false;
  }
  count = r.Count;
  copyable = r.Copyable;
  return true;
}

int RunInfo(const std::string& path, bool anyBitRate) {
  FrameHeader reference;
  if (!ProbeInput(path, reference)) return kExitFailed;
  std::int32_t frames = 0, copyable = 0;
  if (!CountFrames(path, reference, anyBitRate, frames, copyable)) return kExitFailed;
  const StreamInfoTexts t = DescribeHeader(reference);
  std::printf(
      "Version: %s\nLayer: %s\nBitRate: %s\nSampleRate: %s\nMode: %s\nCopyrighted: %s\nOriginal: %s\n",
      t.Version.c_str(), t.Layer.c_str(), t.BitRate.c_str(), t.SampleRate.c_str(), t.Mode.c_str(),
      t.Copyright.c_str(), t.Original.c_str());
  std::printf("Frames: %d\nDuration: %s\nFirstFrame: %lld\nCopyable: %d\n", frames,
              FormatDuration(reference.FileSize, HeaderBitRate(reference)).c_str(),
              static_cast<long long>(reference.Position), copyable);
  return kExitOk;
}

int RunCount(const std::string& path, bool anyBitRate) {
  FrameHeader reference;
  if (!ProbeInput(path, reference)) return kExitFailed;
  std::int32_t frames = 0, copyable = 0;
  if (!CountFrames(path, reference, anyBitRate, frames, copyable)) return kExitFailed;
  std::printf("%d\n", frames);
  return kExitOk;
}

int RunCut(const Options& options) {
  if (options.Each) return RunEachCut(options);
  const std::vector<std::string>& args = options.Operands;
  std::vector<PlannedJob> jobs(args.size());
  for (std::size_t n = 0; n < args.size(); ++n) {
    jobs[n].Label = "job " + std::to_string(n + 1) + " of " + std::to_string(args.size());
    jobs[n].Arg = args[n];
    if (!ParseJob(args[n], jobs[n].Job, jobs[n].ParseError) && jobs[n].Job.MalformedTime)
      return UsageError(args[n] + ": " + jobs[n].ParseError);
  }
  std::vector<TagEdit> edits;
  std::string error;
  if (!ParseTagOptions(options.TagEdits, edits, error)) return UsageError(error);

  // An output that is one of the inputs would be read while it grows; one
  // named by a job that has not run yet would be cut into itself.
  if (options.Output != "-") {
    const PathIdentity out = IdentifyPath(options.Output);
    for (const PlannedJob& job : jobs) {
      const std::string& path = job.ParseError.empty() ? job.Job.Path : job.Arg;
      if (SamePlace(out, IdentifyPath(path))) {
        Complain(options.Output + ": the output is also an input (" + job.Arg + "); nothing written");
        return kExitFailed;
      }
    }
  }

  ResolveStopsFromEnd(jobs, options.AnyBitRate);
  OutputTarget target;
  if (!PrepareOutput(options.Output, options.Overwrite, target, error)) {
    Complain(error);
    return kExitFailed;
  }
  CutSettings settings;
  settings.AnyBitRate = options.AnyBitRate;
  settings.Tags = options.Tags;
  settings.Quiet = options.Quiet;
  int status = CutJobsInto(target, jobs, settings);
  if (status == kExitOk && !WriteTags(target.Path, edits, error)) {
    Complain(error);
    status = kExitFailed;
  }
  if (!DeliverOutput(target, error)) {
    Complain(error);
    if (status == kExitOk) status = kExitFailed;
  }
  DiscardOutput(target);
  return status;
}
