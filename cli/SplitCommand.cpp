#include <sys/stat.h>

#include "cli/Commands.h"
#include "cli/CutRun.h"
#include "cli/ExactCut.h"
#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/OutputTarget.h"
#include "cli/PathIdentity.h"
#include "cli/Signals.h"
#include "cli/Split.h"
#include "cli/StreamClock.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

int RunSplit(const Options& options) {
  const std::string& input = options.Operands[0];
  // The points first: a malformed one is a usage error, whatever the file.
  std::vector<StreamPoint> points;
  StreamPoint every;
  std::string error;
  for (std::size_t i = 1; i < options.Operands.size(); ++i) {
    points.emplace_back();
    if (!ParsePoint(options.Operands[i], points.back(), error)) return UsageError(error);
  }
  if (options.HaveEvery && !ParsePoint(options.Every, every, error)) return UsageError("--every: " + error);

  FrameHeader reference;
  if (!ProbeInput(input, reference)) return kExitFailed;
  std::int32_t count = 0, copyable = 0;
  FrameClock clock;
  if (!CountFrames(input, reference, options.AnyBitRate, count, copyable)) return kExitFailed;
  if (!ReadFrameClock(input, reference, clock, error)) {
    Complain(error);
    return kExitFailed;
  }
  // Pieces of a Layer III stream are made to be played: each decodes to
  // exactly its samples, and back to back they are the whole.
  std::vector<ExactCut> exact;
  std::vector<std::int32_t> starts;
  bool planned = false;
  if (!options.Frames && reference.Layer == 1) {
    GaplessStream stream;
    std::vector<std::int64_t> boundaries;
    planned = ReadGaplessStream(input, reference, stream, error) &&
              SplitBoundaries(stream, points, options.HaveEvery ? &every : nullptr, boundaries, error) &&
              PlanExactPieces(input, reference, stream, boundaries, exact, error);
    starts.assign(exact.size(), 0);
  } else {
    planned = options.HaveEvery ? EveryStarts(every, clock, count, starts, error)
                                : SplitStarts(points, clock, count, starts, error);
  }
  if (!planned) {
    Complain(input + ": " + error);
    return kExitFailed;
  }
  std::vector<SplitPiece> pieces = NamePieces(input, options.Directory, starts, count);
  for (std::size_t i = 0; i < exact.size(); ++i) {
    pieces[i].Start = static_cast<std::int32_t>(exact[i].Plan.FirstFrame);
    pieces[i].Stop = static_cast<std::int32_t>(exact[i].Plan.LastFrame);
    if (exact[i].Plan.PreRollLimited()) Complain(pieces[i].Path + ": " + PreRollWarning(exact[i].Plan));
  }

  // Nothing is written unless every piece may be.
  const PathIdentity source = IdentifyPath(input);
  for (const SplitPiece& p : pieces) {
    if (SamePlace(source, IdentifyPath(p.Path))) {
      Complain(p.Path + ": the piece would be the input; nothing written");
      return kExitFailed;
    }
    if (!options.Overwrite && Exists(p.Path)) {
      Complain(p.Path + ": exists; nothing written (--overwrite replaces the pieces)");
      return kExitFailed;
    }
  }

  CutSettings settings;
  settings.AnyBitRate = options.AnyBitRate;
  settings.Tags = options.Tags;
  settings.Quiet = options.Quiet;
  int status = kExitOk;
  for (std::size_t i = 0; i < pieces.size() && !Cancelled(); ++i) {
    const SplitPiece& p = pieces[i];
    PlannedJob job;
    job.Label = "piece " + std::to_string(i + 1) + " of " + std::to_string(pieces.size());
    job.Arg = p.Path;
    job.Job.Path = input;
    job.Job.WholeFile = false;
    job.Job.HasStart = job.Job.HasStop = true;
    job.Job.Start.Frame = p.Start;
    job.Job.Stop.Frame = p.Stop;
    job.KnownCount = count;
    if (!exact.empty()) job.LeadFrame = exact[i].Plan.Carrier;
    OutputChoice choice;
    choice.Output = p.Path;
    choice.Existing = options.Overwrite ? ExistingOutput::Overwrite : ExistingOutput::Refuse;
    choice.NoWait = options.NoWait;
    choice.ReserveTagFrame = options.AnyBitRate || !exact.empty();
    choice.Lame = !exact.empty();
    if (choice.Lame) choice.LameValues = exact[i].Tag;
    OutputTarget target;
    int s = OpenOutputTarget(choice, target);
    if (s < 0) s = CutJobsInto(target, {job}, settings);
    if (s != kExitOk && status == kExitOk) status = s;
    if (s > kExitUsage) status = s;  // interrupted
  }
  if (Cancelled() && status <= kExitUsage) {
    Complain("interrupted by " + CancelSignalName() + " before all pieces were made");
    status = CancelExitStatus();
  }
  return status;
}
