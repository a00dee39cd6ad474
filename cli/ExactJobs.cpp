#include "cli/ExactJobs.h"

#include "cli/Messages.h"
#include "stream/Scanner.h"

ExactChoice MakeCutExact(PlannedJob& job, LameFields& tag) {
  if (!job.ParseError.empty()) return ExactChoice::FrameCopy;
  // Frame numbers at both ends: a frame copy, without a look at the file.
  const JobArgument& a = job.Job;
  if (!(a.HasStart && a.Start.IsTime) && !(a.HasStop && a.Stop.IsTime)) return ExactChoice::FrameCopy;
  FrameHeader reference;
  std::string error;
  // A file that cannot be probed is reported when the run reaches it.
  SourceFile& source = JobSource(job);
  if (!ProbeFile(source, reference, error)) return ExactChoice::FrameCopy;
  ExactCut cut;
  const ExactChoice choice = PlanExactJob(job.Job, source, reference, cut, error);
  if (choice == ExactChoice::Refused) {
    Complain(job.Arg + ": " + error);
    return choice;
  }
  if (choice != ExactChoice::Exact) return choice;
  if (cut.Plan.PreRollLimited()) Complain(job.Arg + ": " + PreRollWarning(cut.Plan));
  job.Job.WholeFile = false;
  job.Job.HasStart = true;
  // An end not met yet is the file's end: the progress bar then follows the
  // estimate from the file's size.
  job.Job.HasStop = !cut.ToUnmetEnd;
  job.Job.Start = StreamPoint{false, cut.Plan.FirstFrame, 0};
  job.Job.Stop = StreamPoint{false, cut.Plan.LastFrame, 0};
  job.LeadFrame = cut.Plan.Carrier;
  job.Resume = cut.Resume;
  job.SettleEnd = cut.LengthUnmet;
  job.Exact = cut;
  tag = cut.Tag;
  return choice;
}

void WarnDamagedStarts(std::vector<PlannedJob>& jobs, bool framesOption, bool joined, bool append) {
  for (PlannedJob& job : jobs) {
    if (joined && (append || &job != &jobs.front())) continue;
    // Frame-number starts only: a time start with --frames asked for frames.
    if (!job.ParseError.empty() || !job.Job.HasStart || job.Job.Start.IsTime) continue;
    FrameHeader reference;
    std::string error;
    const std::shared_ptr<SourceFile> source =
        job.Source ? job.Source : std::make_shared<SourceFile>(job.Job.Path);
    if (!ProbeFile(*source, reference, error) || reference.Layer != 1) continue;
    const std::int64_t start = job.Job.Start.Frame;
    std::int32_t damaged = 0;
    if (!DamagedFramesOfCopy(*source, reference, start, damaged, job.Resume, error) || damaged == 0) continue;
    Complain(job.Label + ": " + job.Arg + ": the first " + std::to_string(damaged) +
             " frames will decode damaged: frame " + std::to_string(start) +
             " takes bit-reservoir bytes from frames before it, which are not copied (a time range" +
             (framesOption ? " without --frames" : "") + " gives an exact start)");
  }
}
