// cut --each -d DIR: every job into its own output, DIR/<input name>, as
// the same trim over a folder of files. A job that fails is reported and the
// others go on.

#include <map>

#include "cli/BitRateMix.h"
#include "cli/Commands.h"
#include "cli/CutRun.h"
#include "cli/ExactCut.h"
#include "cli/ExactJobs.h"
#include "cli/FromEnd.h"
#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/OutputTarget.h"
#include "cli/PathIdentity.h"
#include "cli/Signals.h"
#include "cli/TagOptions.h"

namespace {

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int RunEachCut(const Options& options) {
  std::vector<PlannedJob> jobs;
  std::vector<TagEdit> edits;
  std::string error;
  LevelChange level;
  if (!PlanCutJobs(options.Operands, jobs, error, options.Range) || !ParseTagOptions(options.TagEdits, edits, error) ||
      !ParseLevelChange(options, level, error))
    return UsageError(error);

  // Every output is planned before anything is written: none may be an
  // input, and no two jobs may share one (the second would be added to the
  // first).
  const std::string dir = options.Directory + (options.Directory.back() == '/' ? "" : "/");
  std::vector<std::string> outputs(jobs.size());
  // Opened once for the whole run: the files checked are the files read.
  OpenJobSources(jobs);
  std::map<std::string, std::size_t> taken;
  for (std::size_t n = 0; n < jobs.size(); ++n) {
    const std::string& path = jobs[n].ParseError.empty() ? jobs[n].Job.Path : jobs[n].Arg;
    const std::string name = BaseName(path);
    if (name.empty() || name == "." || name == "..") {
      Complain(jobs[n].Arg + ": names no file; nothing written");
      return kExitFailed;
    }
    outputs[n] = dir + name;
    const PathIdentity out = IdentifyPath(outputs[n]);
    for (const PlannedJob& other : jobs) {
      if (SamePlace(out, InputIdentity(other))) {
        Complain(outputs[n] + ": the output of " + jobs[n].Arg + " would be an input; nothing written");
        return kExitFailed;
      }
    }
    const auto [at, added] = taken.emplace(out.Normalised, n);
    if (!added) {
      Complain(outputs[n] + ": the output of both " + jobs[at->second].Arg + " and " + jobs[n].Arg +
               "; nothing written");
      return kExitFailed;
    }
  }

  ResolveStopsFromEnd(jobs, options.AnyBitRate);
  if (!CheckRangesHoldSomething(jobs, error)) return UsageError(error);
  CutSettings settings;
  settings.AnyBitRate = options.AnyBitRate;
  settings.Tags = options.Tags;
  settings.Quiet = options.Quiet;
  settings.Level = level;
  int failures = 0;
  for (std::size_t n = 0; n < jobs.size() && !Cancelled(); ++n) {
    // Each job is a cut of its own: a time cut of a Layer III file is
    // sample-exact, and an existing output is refused unless --overwrite.
    std::vector<PlannedJob> one{jobs[n]};
    LameFields tag;
    ExactChoice exact = options.Frames ? ExactChoice::FrameCopy : MakeCutExact(one[0], tag);
    if (exact == ExactChoice::Refused) {
      ++failures;
      continue;
    }
    if (exact == ExactChoice::FrameCopy) WarnDamagedStarts(one, options.Frames, false, false);
    OutputChoice choice;
    choice.Output = outputs[n];
    choice.Existing = options.Overwrite ? ExistingOutput::Overwrite : ExistingOutput::Refuse;
    choice.NoWait = options.NoWait;
    choice.ReserveTagFrame =
        (options.AnyBitRate && one[0].ParseError.empty() && MixesBitRates(JobSource(one[0]))) ||
        exact == ExactChoice::Exact;
    choice.Lame = exact == ExactChoice::Exact;
    choice.LameValues = tag;
    OutputTarget target;
    settings.Edits = NumberedEdits(edits, static_cast<int>(n + 1));
    int s = OpenOutputTarget(choice, target);
    if (s < 0) s = CutJobsInto(target, one, settings);
    if (s > kExitUsage) return s;  // interrupted: already reported
    if (s != kExitOk) ++failures;
  }
  if (Cancelled()) return CancelExitStatus();
  // Only what happened: "the others" when there are any.
  if (failures > 0) {
    Complain(std::to_string(failures) + " of " + std::to_string(jobs.size()) + (jobs.size() == 1 ? " job" : " jobs") +
             " failed" + (failures < static_cast<int>(jobs.size()) ? "; the others were cut" : ""));
  }
  return failures > 0 ? kExitFailed : kExitOk;
}
