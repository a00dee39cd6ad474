#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "cli/Commands.h"
#include "cli/ExactCut.h"
#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/OutputTarget.h"
#include "cli/PathIdentity.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"
#include "cli/Split.h"
#include "cli/SplitSources.h"
#include "cli/StreamClock.h"
#include "cli/TagCopy.h"
#include "cli/TagOptions.h"
#include "output/PieceRouter.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A signal before the first piece was started: nothing was written.
int InterruptedBeforePieces() {
  Complain("interrupted by " + CancelSignalName() + " while planning the pieces; nothing written");
  return CancelExitStatus();
}

// What becomes of a piece besides its frames: whether it carries the input's
// tags, and what follows once it is committed (false: a failure, reported).
struct PieceEnds {
  bool KeepTags = false;
  std::function<bool(std::size_t)> Finished;
};

// Writes every piece in one walk over the input, each output opened when its
// first frame comes and finished when its last has gone.
int WritePieces(const Options& options, SourceFile& source, const FrameHeader& reference,
                const std::vector<SplitPiece>& pieces, std::int32_t count, const std::vector<ExactCut>& exact,
                const PieceEnds& ends) {
  const std::string& input = source.Path();
  std::vector<PieceRange> ranges;
  for (const SplitPiece& p : pieces) ranges.push_back({p.Start, p.Stop});
  int status = kExitOk;
  std::unique_ptr<OutputTarget> target;  // the piece being written
  std::size_t made = 0;
  std::vector<bool> reached(pieces.size(), false);
  const std::string of = " of " + std::to_string(pieces.size());

  auto open = [&](std::size_t k) -> FrameSink* {
    reached[k] = true;
    target = std::make_unique<OutputTarget>();
    OutputChoice choice;
    choice.Output = pieces[k].Path;
    choice.Existing = options.Overwrite ? ExistingOutput::Overwrite : ExistingOutput::Refuse;
    choice.NoWait = options.NoWait;
    // A sample-exact piece carries the delay and padding that trim it.
    choice.ReserveTagFrame = options.AnyBitRate || !exact.empty();
    choice.Lame = !exact.empty();
    if (choice.Lame) choice.LameValues = exact[k].Tag;
    const int refused = OpenOutputTarget(choice, *target);
    if (refused >= 0) {
      if (status == kExitOk || refused > kExitUsage) status = refused;
      target.reset();
      return nullptr;
    }
    std::string error;
    if (ends.KeepTags && !CopyLeadingTags(source, target->Writer, error)) {
      Complain(error);
      status = kExitFailed;
    }
    target->Writer.BeginJob();
    // The carrier of a sample-exact piece: the bit-reservoir bytes its first
    // frames take, in a silent frame before them.
    if (!exact.empty() && !exact[k].Plan.Carrier.empty()) {
      const std::vector<std::uint8_t>& carrier = exact[k].Plan.Carrier;
      std::size_t put = 0;
      if (!target->Writer.Write(carrier.data(), carrier.size(), pieces[k].Start - 1, put, error)) {
        Complain(error);
        status = kExitFailed;
        target->Writer.Discard();
        target.reset();
        return nullptr;
      }
    }
    return &target->Writer;
  };
  auto close = [&](std::size_t k) {
    if (!target) return;
    OutputWriter& out = target->Writer;
    const std::string label = "piece " + std::to_string(k + 1) + of + ": " + pieces[k].Path;
    std::string error;
    if (out.AddedAudioFrames() == 0) {
      out.Discard();
      Complain(label + ": no audio frame of its range was copied; " +
               (target->Replacing ? pieces[k].Path + " was left as it was" : "no file was made"));
      status = kExitFailed;
    } else if (target->Replacing && Cancelled()) {
      out.Discard();  // the old piece stays as it was
    } else {
      if (ends.KeepTags && !CopyTrailingTag(source, out, error)) {
        Complain(error);
        status = kExitFailed;
      }
      // Only a piece that is the whole file keeps the encoder's end padding.
      FinishSettings finish;
      finish.KeepEndPadding = pieces.size() == 1 && pieces[k].Start == 0 && pieces[k].Stop >= count - 1;
      if (!out.Finish(finish, error)) {
        Complain(error + " (the Xing frame of " + pieces[k].Path + " was not brought up to date)");
        status = kExitFailed;
      }
      if (!out.Commit(error)) {
        Complain(error);
        status = kExitFailed;
      } else {
        ++made;
        if (ends.Finished && !ends.Finished(k)) status = kExitFailed;
      }
    }
    target.reset();
  };

  // A sample-exact piece begins with frames that the piece before it also
  // holds (what decoding its start needs): the router keeps that many as they
  // pass. Pieces so short that one begins before the one before it does get
  // a walk each.
  std::int64_t overlap = 0;
  for (std::size_t k = 1; k < ranges.size(); ++k)
    overlap = std::max<std::int64_t>(overlap, static_cast<std::int64_t>(ranges[k - 1].Stop) + 1 - ranges[k].Start);
  std::vector<std::vector<std::size_t>> walks(1);
  for (std::size_t k = 0; k < ranges.size(); ++k) walks[0].push_back(k);
  if (!PieceRouter::Fits(ranges, static_cast<std::size_t>(overlap))) {
    walks.assign(ranges.size(), {});
    for (std::size_t k = 0; k < ranges.size(); ++k) walks[k].push_back(k);
  }
  ProgressBar bar(options.Quiet);
  ScanResult r;
  std::int32_t leftOut = 0;
  for (const std::vector<std::size_t>& walk : walks) {
    std::vector<PieceRange> these;
    for (std::size_t k : walk) these.push_back(ranges[k]);
    PieceRouter router(
        these, static_cast<std::size_t>(overlap), [&](std::size_t j) { return open(walk[j]); },
        [&](std::size_t j) { close(walk[j]); });
    const std::int64_t total = static_cast<std::int64_t>(these.back().Stop) - these.front().Start + 1;
    ScanOptions scan;
    scan.AnyBitRate = options.AnyBitRate;
    scan.EndAfterRange = true;
    scan.Cancel = CancelFlag();
    scan.Sink = &router;
    bar.Start("split " + input);
    r = ScanFrames(source, "", these.front().Start, these.back().Stop, false, reference,
                   [&bar, total](std::int32_t done, std::int32_t) { bar.Show(done + 1, total); }, scan);
    bar.Clear();
    router.End();
    leftOut = std::max(leftOut, r.LeftOut);
    if (!r.Ok() || Cancelled()) break;
  }
  r.LeftOut = leftOut;
  if (r.LeftOut > 0) {
    Complain(input + ": " + std::to_string(r.LeftOut) + " of " + std::to_string(count) +
             " frames were not copied: their bit rate differs from the first frame's");
    status = kExitFailed;
  }
  if (r.Status == ScanStatus::Interrupted || Cancelled()) {
    Complain("interrupted by " + CancelSignalName() + " after " + std::to_string(made) + of +
             " pieces were made; the last of them ends on a whole frame");
    return CancelExitStatus();
  }
  if (!r.Ok()) {
    Complain(r.Message);
    if (status == kExitOk) status = kExitFailed;
  }
  for (std::size_t k = 0; k < pieces.size() && r.Ok(); ++k) {
    if (!reached[k])
      Complain("piece " + std::to_string(k + 1) + of + ": " + pieces[k].Path +
               ": no audio frame of its range was copied; no file was made");
  }
  if (made < pieces.size() && status == kExitOk) status = kExitFailed;
  return status;
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
  std::vector<TagEdit> edits;
  SilenceSettings silence;
  if (!ParseTagOptions(options.TagEdits, edits, error) ||
      (options.Silence && !ParseSilenceSettings(options, silence, error)) ||
      (options.HaveName && !CheckNamePattern(options.Name, error)))
    return UsageError(error);

  // Opened once for everything the split reads of it.
  SourceFile source(input);
  FrameHeader reference;
  if (!ProbeInput(source, reference)) return kExitFailed;
  // A sheet or the silences give the points; the pieces are then made as
  // from points typed by the user.
  SplitSource found;  // points from a sheet or from silences
  if ((options.HaveCue && !PointsFromCue(options.Cue, found, error)) ||
      (options.Silence && !PointsFromSilence(source, silence, options.Quiet, found, error))) {
    Complain(error);
    return Cancelled() ? CancelExitStatus() : kExitFailed;
  }
  if (options.HaveCue || options.Silence) points = found.Points;
  if (options.DryRun) {
    PrintPoints(found);
    return kExitOk;
  }
  // One piece would only be a copy of the input.
  if (options.Silence && found.Points.empty()) {
    Complain(input + ": " + NoSilenceFound(silence) + "; nothing written");
    return kExitFailed;
  }
  FrameClock clock;
  if (!ReadFrameClock(source, reference, clock, error)) {
    Complain(error);
    return kExitFailed;
  }
  // A length below one frame is refused before the file is counted: the
  // shortest allowed depends only on the first header.
  if (options.HaveEvery && !CheckEveryLength(every, clock, error))
    return UsageError("--every " + options.Every + ": " + error);
  std::int32_t count = 0, copyable = 0;
  if (!CountFrames(source, reference, options.AnyBitRate, count, copyable))
    return Cancelled() ? InterruptedBeforePieces() : kExitFailed;
  // Pieces of a Layer III stream are made to be played: each decodes to
  // exactly its samples, and back to back they are the whole.
  std::vector<ExactCut> exact;
  std::vector<std::int32_t> starts;
  bool planned = false;
  if (!options.Frames && reference.Layer == 1) {
    GaplessStream stream;
    std::vector<std::int64_t> boundaries;
    planned = ReadGaplessStream(source, reference, stream, error) &&
              SplitBoundaries(stream, points, options.HaveEvery ? &every : nullptr, boundaries, error) &&
              PlanExactPieces(source, reference, stream, boundaries, exact, error);
    starts.assign(exact.size(), 0);
  } else {
    planned = options.HaveEvery ? EveryStarts(every, clock, count, starts, error, CancelFlag())
                                : SplitStarts(points, clock, count, starts, error);
  }
  if (Cancelled()) return InterruptedBeforePieces();
  if (!planned) {
    Complain(input + ": " + error);
    return kExitFailed;
  }
  std::vector<SplitPiece> pieces = NamePieces(input, options.Directory, starts, count);
  if (options.HaveCue || options.HaveName)
    NamePiecesByPattern(options.HaveName ? options.Name : "{n:02} - {title}", input, options.Directory, found,
                        pieces);
  for (std::size_t i = 0; i < exact.size(); ++i) {
    pieces[i].Start = static_cast<std::int32_t>(exact[i].Plan.FirstFrame);
    pieces[i].Stop = static_cast<std::int32_t>(exact[i].Plan.LastFrame);
    if (exact[i].Plan.PreRollLimited()) Complain(pieces[i].Path + ": " + PreRollWarning(exact[i].Plan));
  }
  if (const std::string shared = SharedPiecePath(pieces); !shared.empty()) {
    Complain(shared + ": two pieces would have this name; nothing written (give --name a {n})");
    return kExitFailed;
  }

  // Nothing is written unless every piece may be.
  const PathIdentity opened = IdentifySource(source);
  for (const SplitPiece& p : pieces) {
    if (Cancelled()) return InterruptedBeforePieces();
    if (SamePlace(opened, IdentifyPath(p.Path))) {
      Complain(p.Path + ": the piece would be the input; nothing written");
      return kExitFailed;
    }
    if (!options.Overwrite && Exists(p.Path)) {
      Complain(p.Path + ": exists; nothing written (--overwrite replaces the pieces)");
      return kExitFailed;
    }
  }

  // Pieces of an album keep its other tags and its cover; each piece, once
  // written, says its length and gets its own tags.
  PieceEnds ends;
  ends.KeepTags = options.Tags || options.HaveCue;
  ends.Finished = [&](std::size_t k) {
    const std::int64_t samples = exact.empty() ? -1 : exact[k].Plan.Samples();
    return FinishPiece(options, found, pieces, k, clock, samples, edits);
  };
  return WritePieces(options, source, reference, pieces, count, exact, ends);
}
