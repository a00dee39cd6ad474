#include "cli/CutRun.h"

#include <sys/resource.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/PathIdentity.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"
#include "cli/StreamClock.h"
#include "cli/TagCopy.h"
#include "gapless/JoinReach.h"
#include "stream/SameStream.h"
#include "stream/Scanner.h"

namespace {

bool OutputFailure(ScanStatus s) {
  return s == ScanStatus::OutputCreateFailed || s == ScanStatus::OutputOpenFailed ||
         s == ScanStatus::WriteFailed;
}

bool NeedsClock(const JobArgument& job) {
  return (job.HasStart && job.Start.IsTime) || (job.HasStop && job.Stop.IsTime);
}

// The first and the last job that put frames into the output: whether the
// output is its source from the first frame to the last decides whether the
// Xing frame may keep the source's end padding.
struct WritingJob {
  PathIdentity File;
  std::int32_t Start = 0;
  bool ReachedEnd = false;
};

}  // namespace

int CutJobsInto(OutputTarget& target, const std::vector<PlannedJob>& jobs, const CutSettings& settings) {
  OutputWriter& out = target.Writer;
  ProgressBar bar(settings.Quiet);
  std::vector<std::string> passedOver;
  bool failed = false;
  bool outputFailed = false;
  bool tagsPending = settings.Tags && target.New;
  std::shared_ptr<SourceFile> tagSource;
  int writers = 0;
  bool allCopied = true;
  WritingJob first, last;
  std::string interruption;
  // A change of level, made once the first job's stream is known.
  std::unique_ptr<GainSink> gain;

  for (const PlannedJob& planned : jobs) {
    const std::string named = planned.Label + ": " + planned.Arg;
    if (outputFailed || !interruption.empty()) {
      passedOver.push_back(named);
      continue;
    }
    if (!planned.ParseError.empty()) {
      Complain(planned.Arg + ": " + planned.ParseError);
      passedOver.push_back(named);
      continue;
    }
    const JobArgument& job = planned.Job;
    const std::shared_ptr<SourceFile> source =
        planned.Source ? planned.Source : std::make_shared<SourceFile>(job.Path);
    FrameHeader reference;
    if (!ProbeInput(*source, reference)) {
      passedOver.push_back(named);
      continue;
    }
    std::string error;
    if (const std::string differs = out.JoinRefusal(HeaderBytesOf(reference).data()); !differs.empty()) {
      Complain(planned.Arg + ": its " + differs + " differs from that of the frames in " + target.Shown +
               ": they cannot be one stream");
      passedOver.push_back(named);
      continue;
    }
    FrameClock clock;
    std::int32_t start = 0, stop = 0;
    if (NeedsClock(job) && !ReadFrameClock(*source, reference, clock, error)) {
      Complain(error);
      passedOver.push_back(named);
      continue;
    }
    if (!ResolveRange(job, clock, start, stop, error)) {
      Complain(planned.Arg + ": " + error);
      passedOver.push_back(named);
      continue;
    }
    // Joined at frame edges, a frame belongs to the range that holds its
    // first sample: a stop before an instant and a start there share none.
    // The first range of an output keeps the frame playing at its start.
    if (settings.Join && out.AudioFrames() > 0 && job.HasStart && job.Start.IsTime && job.Start.Nanoseconds > 0) {
      start = static_cast<std::int32_t>(std::min<std::int64_t>(LastFrameBefore(clock, job.Start.Nanoseconds) + 1,
                                                               std::numeric_limits<std::int32_t>::max()));
      if (start > stop) {
        Complain(planned.Arg + ": the range holds no frame that starts in it");
        passedOver.push_back(named);
        continue;
      }
    }
    if (planned.KnownCount >= 0 && start >= planned.KnownCount) {
      Complain(planned.Arg + ": starts at frame " + std::to_string(start) + ", after the file's last frame " +
               std::to_string(planned.KnownCount - 1));
      passedOver.push_back(named);
      continue;
    }
    if (settings.Level.Changes()) {
      if (reference.Layer != 1) {
        Complain(planned.Arg + ": --gain, --fade-in and --fade-out change Layer III streams only (this one is Layer " +
                 (reference.Layer == 2 ? "II" : "I") + ", whose level lies in scale factors of 2 dB)");
        passedOver.push_back(named);
        continue;
      }
      if (!gain) gain = std::make_unique<GainSink>(out, PlanLevel(settings.Level, reference));
    }
    if (tagsPending) {
      tagsPending = false;
      tagSource = source;
      if (!CopyLeadingTags(*source, out, error)) {
        Complain(error);
        failed = true;
      }
    }

    // The bar follows the estimate from the file size for an open end.
    const std::int64_t lastFrame =
        stop == std::numeric_limits<std::int32_t>::max() ? reference.FrameEstimate : stop;
    const std::int64_t barTotal = std::max<std::int64_t>(lastFrame - start, 0);
    ScanOptions options;
    options.AnyBitRate = settings.AnyBitRate;
    // The count past the range goes unused: a start beyond the last frame
    // walks to the end anyway, and the frame after the stop frame tells
    // whether the range reached the end.
    options.EndAfterRange = true;
    options.Cancel = CancelFlag();
    options.Sink = gain ? static_cast<FrameSink*>(gain.get()) : &out;
    if (planned.Resume.Position >= 0 && planned.Resume.Index <= start) options.Resume = planned.Resume;
    bar.Start(planned.Label + " " + job.Path);
    out.BeginJob();
    if (settings.Join && out.AudioFrames() > 0) {
      // The bytes before the start that its frames take come along.
      CopyStart copyStart;
      if (!MeasureCopyStart(*source, reference, start, copyStart, error)) {
        bar.Clear();
        Complain(error);
        passedOver.push_back(named);
        continue;
      }
      if (options.Resume.Position < 0) options.Resume = copyStart.Resume;
      out.JoinJob(std::move(copyStart.Reservoir));
    }
    std::int64_t leadFrames = 0;
    if (!planned.LeadFrame.empty()) {
      std::size_t put = 0;
      // It stands in for the frames before the first one copied.
      if (!out.Write(planned.LeadFrame.data(), planned.LeadFrame.size(), start - 1, put, error)) {
        bar.Clear();
        Complain(error);
        passedOver.push_back(named);
        outputFailed = true;
        continue;
      }
      leadFrames = out.EndJob().AudioFrames();
    }
    const ScanResult r = ScanFrames(
        *source, "", start, stop, false, reference,
        bar.Enabled()
            ? JobProgress([&bar, barTotal](std::int32_t done, std::int32_t) { bar.Show(done + 1, barTotal); })
            : JobProgress(),
        options);
    bar.Clear();
    // The output ends with the last job: a fade-out held back its frames.
    if (gain && &planned == &jobs.back() && r.Ok() && !gain->EndFade(error)) {
      Complain(error);
      outputFailed = failed = true;
    }
    const OutputJob wrote = out.EndJob();
    if (planned.SettleEnd && r.Ok() && !r.FramesAfterRange)
      out.SetLameEndPadding(static_cast<std::uint16_t>(SettledEndPadding(planned.Exact, r.Count)));

    const std::int32_t count = planned.KnownCount >= 0 ? planned.KnownCount : r.Count;
    // A job that put no audio frame of its input into the output is taken
    // back whole: its Xing/Info frame, or the carrier frame (with the tag
    // frame reserved in front of it) of a sample-exact cut whose frames were
    // all left out, would make an output of no sound.
    const std::int64_t sourceAudio = wrote.AudioFrames() - leadFrames;
    const bool onlyTagFrames = wrote.Frames > leadFrames && sourceAudio == 0;
    const bool noSourceAudio = wrote.Frames > 0 && sourceAudio == 0;
    if (noSourceAudio && out.DropJob(error)) {
      // Only a frame of the input is worth a word: the lead frame is the
      // cut's own, and the frames left out have been said.
      if (onlyTagFrames) {
        Complain(planned.Arg + ": no audio frame of the range reached " + target.Shown +
                 ", only the Xing/Info frame, which was taken out again");
      }
    } else if (noSourceAudio) {
      Complain(error);
    }
    if (sourceAudio > 0) {
      WritingJob w{IdentifySource(*source), start, r.Ok() && !r.FramesAfterRange};
      if (writers == 0) first = w;
      last = w;
      ++writers;
    }
    // Reported whatever became of the job, counted as far as the scan got.
    if (wrote.MutedFrames > 0) {
      Complain(planned.Arg + ": " + std::to_string(wrote.MutedFrames) +
               " frames at its start decode as silence: the bit-reservoir bytes they take found no room "
               "in the frames before" + (settings.AnyBitRate ? "" : " (--any-bitrate gives them room)"));
    }
    if (r.LeftOut > 0) {
      const std::int64_t counted = std::min<std::int64_t>(stop, r.Count - 1) - start + 1;
      Complain(job.Path + ": " + std::to_string(r.LeftOut) + " of " + std::to_string(counted) +
               " frames of the range were not copied: their " + LeftOutReason(HeaderBytesOf(reference).data(), r.LeftOutHeader) +
               " differs from the first frame's");
      failed = true;
      allCopied = false;
    }
    if (r.Status == ScanStatus::Interrupted) {
      interruption = "interrupted by " + CancelSignalName() + " after " + std::to_string(r.Written) +
                     " frames of " + named;
      continue;
    }
    if (!r.Ok()) {
      Complain(r.Message);
      if (r.Written > 0) {
        Complain(named + ": stopped after " + std::to_string(r.Written) + " of its frames reached " +
                 target.Shown);
        failed = true;
      } else {
        passedOver.push_back(named);
      }
      outputFailed = OutputFailure(r.Status);  // later jobs would leave a gap in the output
      continue;
    }
    if (start >= count) {
      Complain(planned.Arg + ": starts at frame " + std::to_string(start) + ", after the file's last frame " +
               std::to_string(count - 1));
      passedOver.push_back(named);
      continue;
    }
    if (onlyTagFrames) passedOver.push_back(named);
  }

  const bool keepEndPadding =
      target.New && first.Start == 0 && SamePlace(first.File, last.File) && last.ReachedEnd;
  // One whole input copied into a new output is that input byte for byte: its
  // own Xing/Info frame needs no update when it already counts what it leads
  // (it does not in files joined with cat).
  FinishSettings finish;
  finish.KeepEndPadding = keepEndPadding;
  finish.LeaveTagThatCounts = keepEndPadding && writers == 1 && allCopied && interruption.empty();

  if (!out.LeftOutFront().empty()) {
    Complain(target.Shown + ": its first frame, " + out.LeftOutFront() +
             " that would not describe it, was left out");
  }
  if (gain && gain->Clamped() > 0) {
    Complain(target.Shown + ": " + std::to_string(gain->Clamped()) +
             " granules could not take the whole change of level: their global_gain reached 0 or 255");
  }
  int status = passedOver.empty() && !failed ? kExitOk : kExitFailed;
  std::string error;
  // What the path holds when the run ends without its output: said once.
  std::string left;
  if (out.AddedAudioFrames() == 0) {
    left = DropOutput(target);
    Complain("no audio frame reached " + target.Shown + "; " + left);
    status = kExitFailed;
  } else if (status == kExitOk && interruption.empty()) {
    if (tagSource && !CopyTrailingTag(*tagSource, out, error)) {
      Complain(error);
      status = kExitFailed;
    } else if (!out.Finish(finish, error)) {
      Complain(error + " (the Xing frame of " + target.Shown + " could not be brought up to date)");
      status = kExitFailed;
    } else {
      switch (TagAndCommit(target, settings.Edits)) {
        case Committed::Yes:
          break;
        case Committed::Failed:
          status = kExitFailed;
          break;
        case Committed::Interrupted:
          interruption = "interrupted by " + CancelSignalName() + " before " + target.Shown + " was complete";
          break;
      }
    }
    if (status != kExitOk || !interruption.empty()) left = DropOutput(target);
    if (status != kExitOk) Complain(left);
  } else {
    // Only a run that did all it was asked puts its output in place.
    left = DropOutput(target);
  }
  for (const std::string& p : passedOver) Complain("passed over " + p);
  if (interruption.empty() && Cancelled()) {
    interruption =
        "interrupted by " + CancelSignalName() + " after the last frame: " + target.Shown + " is complete";
  } else if (!interruption.empty()) {
    interruption += ": " + left;
  } else if (status != kExitOk && out.AddedAudioFrames() > 0 && (failed || !passedOver.empty())) {
    Complain("the run did not do all it was asked: " + left);
  }
  if (!interruption.empty()) {
    Complain(interruption);
    return CancelExitStatus();
  }
  return status;
}

void OpenJobSources(std::vector<PlannedJob>& jobs) {
  // Every input stays open for the run: a long list of jobs may need more
  // descriptors than the soft limit allows, up to the hard one.
  struct rlimit files {};
  if (jobs.size() > 64 && ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  for (PlannedJob& job : jobs) {
    if (job.ParseError.empty() && !job.Source) job.Source = std::make_shared<SourceFile>(job.Job.Path);
  }
}

SourceFile& JobSource(PlannedJob& job) {
  if (!job.Source) job.Source = std::make_shared<SourceFile>(job.Job.Path);
  return *job.Source;
}

PathIdentity InputIdentity(const PlannedJob& job) {
  if (!job.ParseError.empty()) return IdentifyPath(job.Arg);
  if (job.Source && job.Source->IsOpen()) return IdentifySource(*job.Source);
  return IdentifyPath(job.Job.Path);
}

bool PlanCutJobs(const std::vector<std::string>& args, std::vector<PlannedJob>& jobs, std::string& usageError,
                 const std::string& range) {
  jobs.assign(args.size(), PlannedJob{});
  for (std::size_t n = 0; n < args.size(); ++n) {
    jobs[n].Label = "job " + std::to_string(n + 1) + " of " + std::to_string(args.size());
    jobs[n].Arg = args[n];
    // With --range every argument is a path, '@' and all.
    if (!ParseJob(range.empty() ? args[n] : args[n] + "@" + range, jobs[n].Job, jobs[n].ParseError)) {
      usageError = args[n] + ": " + jobs[n].ParseError;
      return false;
    }
  }
  return true;
}
