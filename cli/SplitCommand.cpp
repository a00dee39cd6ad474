#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <set>

#include "album/TagWriter.h"
#include "cli/BitRateMix.h"
#include "cli/Commands.h"
#include "cli/ExactCut.h"
#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/OutputTarget.h"
#include "cli/PathIdentity.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"
#include "cli/Split.h"
#include "cli/SplitExactPlan.h"
#include "cli/SplitSources.h"
#include "cli/StreamClock.h"
#include "cli/TagCopy.h"
#include "cli/TagOptions.h"
#include "output/InfoCounter.h"
#include "output/PieceRouter.h"
#include "stream/Id3Tag.h"
#include "stream/SameStream.h"
#include "stream/ScanBuffer.h"
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

// What is known of the number of frames before the pieces are written: the
// plan counts only as far as it must.
struct FrameTally {
  std::int64_t Counted = 0;  // frames met so far
  std::int64_t Most = 0;     // the most the stream can hold
  bool All = false;          // Counted is the stream's count
  // Where the walk stopped: after a frame of this header, ending here.
  std::int64_t Next = -1;
  std::uint8_t Header[4] = {};
};

// Every whole frame the walk counts is one of the reference's stream (its
// version, layer and sampling frequency), so it takes at least the bytes of
// that stream's lowest bit rate, unpadded; a frame cut short by the end may
// follow them. A bound this close often settles the width of the pieces'
// numbers with no count at all.
std::int64_t ShortestFrame(const FrameHeader& reference) {
  const std::uint8_t lowest[4] = {
      static_cast<std::uint8_t>(reference.Byte0), static_cast<std::uint8_t>(reference.Byte1),
      static_cast<std::uint8_t>((1 << 4) | (reference.Byte2 & 0x0D)), static_cast<std::uint8_t>(reference.Byte3)};
  const std::int32_t length = HeaderFrameLength(lowest);
  return length > 0 ? length : 24;  // MPEG-2 Layer III, 8 kbps, 24000 Hz: the shortest of all
}

FrameTally FirstTally(std::int64_t fileSize, std::int64_t shortest) {
  FrameTally t;
  t.Most = fileSize / shortest + 1;
  return t;
}

// Counts on from where `tally` stopped until `enough` holds or the stream
// ends. False, reported, when the file could not be read or a signal came
// (the caller names it).
bool CountOn(SourceFile& input, const FrameHeader& reference, std::int64_t fileSize, FrameTally& tally,
             const std::function<bool(const FrameTally&)>& enough) {
  if (tally.All || enough(tally)) return true;
  ScanOptions options;
  options.Cancel = CancelFlag();
  bool stopped = false;
  const std::int64_t before = tally.Counted;
  const std::int64_t shortest = ShortestFrame(reference);
  auto visit = [&](const FrameVisit& f) {
    // A walk that goes on after a frame numbers its frames from 0 again.
    tally.Counted = before + f.Index + 1;
    if (!f.Whole) return true;  // the last: the walk ends with it
    tally.Next = f.Position + f.Length;
    std::memcpy(tally.Header, f.Header, 4);
    tally.Most = tally.Counted + std::max<std::int64_t>(0, fileSize - tally.Next) / shortest + 1;
    stopped = enough(tally);
    return !stopped;
  };
  std::string error;
  const bool resumed = tally.Next >= 0;
  const bool walked = resumed
                          ? WalkFramesAfter(input, tally.Next, tally.Header, reference, options, visit, error)
                          : WalkFrames(input, reference, options, visit, error);
  if (Cancelled()) return false;
  if (!walked) {
    Complain(error);
    return false;
  }
  if (!stopped) {
    tally.All = true;
    tally.Most = tally.Counted;
  }
  return true;
}

// What becomes of a piece besides its frames: whether it carries the input's
// tags, and what follows once it is committed (false: a failure, reported).
struct PieceEnds {
  bool KeepTags = false;
  // The tags written into piece k of `pieces` before it is committed.
  std::function<std::vector<TagEdit>(std::size_t k, std::size_t pieces)> TagsOf;
  // Told of piece k once it is committed.
  std::function<void(std::size_t, const SplitPiece&)> Finished;
};

// The pieces of a split, asked for in turn as the walk reaches them.
struct PieceSet {
  // Piece k's frames; false when there is no piece k. The last piece of a
  // frame copy runs to the end of the stream (Stop INT32_MAX).
  std::function<bool(std::size_t, PieceRange&)> RangeOf;
  std::function<std::string(std::size_t)> PathOf;
  // How many pieces there are, when that is known before the walk; else the
  // walk finds out where the stream ends.
  std::int64_t Known = -1;
  std::int64_t Count = -1;  // the stream's frames, when they were counted
  // Told what the walk that ran to the end of the stream found, before its
  // last piece is closed.
  std::function<void(const ScanResult&)> Settle;
};

// "3", "3 and 4", "2, 3 and 5": piece numbers (from 1) of pieces counted from 0.
std::string PieceNumbers(const std::vector<std::size_t>& pieces) {
  std::string text;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) text += i + 1 == pieces.size() ? " and " : ", ";
    text += std::to_string(pieces[i] + 1);
  }
  return text;
}

// " of N" after a piece's number, when N is known.
std::string OfPieces(std::int64_t pieces) { return pieces < 0 ? "" : " of " + std::to_string(pieces); }

// Writes every piece in one walk over the input, each output opened when its
// first frame comes and finished when its last has gone. Sample-exact pieces
// (`exact`, one per piece) are all known before.
int WritePieces(const Options& options, SourceFile& source, const FrameHeader& reference, const PieceSet& set,
                const std::vector<ExactCut>& exact, const PieceEnds& ends) {
  const std::string& input = source.Path();
  int status = kExitOk;
  std::unique_ptr<OutputTarget> target;  // the piece being written
  std::string targetPath;
  std::size_t made = 0;
  std::int64_t pieces = set.Known;
  // The scan's count once the walk is over: the last piece ends there.
  std::int64_t walked = -1;
  bool framesAfter = false;
  std::vector<std::size_t> unreached;  // pieces whose walk never reached them
  std::vector<std::size_t> notMade;    // pieces begun but not committed
  bool walkFailed = false;             // the walk ended early: the open piece is cut short
  const PieceRouter* router = nullptr;
  // Pieces of a VBR stream need a Xing frame for players to tell their length.
  const bool mixed = exact.empty() && options.AnyBitRate && MixesBitRates(source);

  auto open = [&](std::size_t k) -> FrameSink* {
    target = std::make_unique<OutputTarget>();
    targetPath = set.PathOf(k);
    OutputChoice choice;
    choice.Output = targetPath;
    choice.Existing = options.Overwrite ? ExistingOutput::Overwrite : ExistingOutput::Refuse;
    choice.NoWait = options.NoWait;
    // A sample-exact piece carries the delay and padding that trim it.
    choice.ReserveTagFrame = (options.AnyBitRate && mixed) || !exact.empty();
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
      if (!target->Writer.Write(carrier.data(), carrier.size(), router->Current().Start - 1, put, error)) {
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
    SplitPiece piece;
    piece.Start = router->Current().Start;
    piece.Stop = router->Current().Stop;
    piece.Path = targetPath;
    // A sample-exact piece ends where its plan does: the last one once the
    // walk settled it.
    PieceRange planned;
    if (!exact.empty() && set.RangeOf(k, planned)) piece.Stop = planned.Stop;
    // The last piece of a frame copy ends with the stream, and so does a
    // sample-exact one that a signal cut short before its end was met.
    if (walked >= 0 && (exact.empty() || piece.Stop == std::numeric_limits<std::int32_t>::max()))
      piece.Stop = static_cast<std::int32_t>(std::min<std::int64_t>(piece.Stop, walked - 1));
    const bool last = walked >= 0 && k + 1 == static_cast<std::size_t>(pieces);
    OutputWriter& out = target->Writer;
    const std::string label = "piece " + std::to_string(k + 1) + OfPieces(pieces) + ": " + piece.Path;
    std::string error;
    bool ok = false;
    if (out.AddedAudioFrames() == 0) {
      out.Discard();
      Complain(label + ": no audio frame of its range was copied; " +
               (target->Existed ? piece.Path + " was left as it was" : "no file was made"));
    } else if (walkFailed || Cancelled()) {
      // Cut short: it never takes its name.
      out.Discard();
    } else if (ends.KeepTags && !CopyTrailingTag(source, out, error)) {
      Complain(error);
    } else {
      // Only a piece that is the whole file keeps the encoder's end padding.
      FinishSettings finish;
      finish.KeepEndPadding = k == 0 && last && piece.Start == 0 && !framesAfter;
      const std::size_t count = static_cast<std::size_t>(std::max<std::int64_t>(pieces, 0));
      if (!out.Finish(finish, error)) {
        Complain(error + " (the Xing frame of " + piece.Path + " could not be brought up to date)");
      } else {
        ok = TagAndCommit(*target, ends.TagsOf ? ends.TagsOf(k, count) : std::vector<TagEdit>{}) ==
             Committed::Yes;
      }
    }
    if (ok) {
      ++made;
      if (ends.Finished) ends.Finished(k, piece);
    } else {
      out.Discard();
      if (!walkFailed && !Cancelled()) status = kExitFailed;
      notMade.push_back(k);
    }
    target.reset();
  };

  // A sample-exact piece begins with frames that the piece before it also
  // holds (what decoding its start needs): the router keeps that many as they
  // pass. Pieces so short that one begins before the one before it does get
  // a walk each.
  std::int64_t overlap = 0;
  bool walkEach = false;
  if (!exact.empty()) {
    std::vector<PieceRange> ranges(exact.size());
    for (std::size_t k = 0; k < ranges.size(); ++k) set.RangeOf(k, ranges[k]);
    for (std::size_t k = 1; k < ranges.size(); ++k)
      overlap = std::max<std::int64_t>(overlap,
                                       static_cast<std::int64_t>(ranges[k - 1].Stop) + 1 - ranges[k].Start);
    walkEach = !PieceRouter::Fits(ranges, static_cast<std::size_t>(overlap));
  }
  // Each walk: its first piece, and its last (or every one to the end).
  struct Walk {
    std::size_t First = 0;
    std::size_t Last = SIZE_MAX;
  };
  std::vector<Walk> walks(1);
  if (walkEach) {
    walks.clear();
    for (std::size_t k = 0; k < exact.size(); ++k) walks.push_back({k, k});
  }
  ProgressBar bar(options.Quiet);
  ScanResult r;
  std::int32_t leftOut = 0;
  for (const Walk& walk : walks) {
    PieceRange first, lastRange;
    if (!set.RangeOf(walk.First, first)) break;
    // A frame copy walks to the end of the stream, where its last piece ends.
    std::int32_t stop = std::numeric_limits<std::int32_t>::max();
    const std::size_t lastPiece = walk.Last != SIZE_MAX ? walk.Last : exact.size() - 1;
    if (!exact.empty() && set.RangeOf(lastPiece, lastRange)) stop = lastRange.Stop;
    PieceRouter here(
        [&](std::size_t j, PieceRange& range) {
          const std::size_t k = walk.First + j;
          return k <= walk.Last && set.RangeOf(k, range);
        },
        static_cast<std::size_t>(overlap), [&](std::size_t j) { return open(walk.First + j); },
        [&](std::size_t j) { close(walk.First + j); });
    router = &here;
    // The bar's total: the frames of the walk, as far as they are known.
    const std::int64_t end = stop != std::numeric_limits<std::int32_t>::max() ? stop + std::int64_t{1}
                             : set.Count >= 0                                 ? set.Count
                             : reference.FrameLength > 0 ? reference.FileSize / reference.FrameLength
                                                         : 0;
    const std::int64_t total = end - first.Start;
    ScanOptions scan;
    scan.AnyBitRate = options.AnyBitRate;
    scan.EndAfterRange = true;
    scan.Cancel = CancelFlag();
    scan.Sink = &here;
    bar.Start("split " + input);
    r = ScanFrames(
        source, "", first.Start, stop, false, reference,
        [&bar, total](std::int32_t done, std::int32_t) { bar.Show(done + 1, total); }, scan);
    bar.Clear();
    walkFailed = !r.Ok() || Cancelled();
    // The walk is over: the piece still open is the last one reached, and
    // where the stream ended tells how many pieces there are.
    walked = r.Count;
    if (set.Settle && stop == std::numeric_limits<std::int32_t>::max() && r.Ok() && !Cancelled()) set.Settle(r);
    framesAfter = r.FramesAfterRange;
    if (pieces < 0 && r.Ok() && !Cancelled()) {
      PieceRange range;
      std::size_t k = here.Begun();
      while (set.RangeOf(k, range) && range.Start < walked) ++k;
      pieces = static_cast<std::int64_t>(std::max<std::size_t>(k, 1));
    }
    here.End();
    router = nullptr;
    // The pieces of a walk are reached in order: those after the last one
    // reached never had a frame of theirs come by.
    if (r.Ok() && !Cancelled()) {
      const std::size_t after =
          walk.Last != SIZE_MAX ? walk.Last + 1 : static_cast<std::size_t>(std::max<std::int64_t>(pieces, 0));
      for (std::size_t k = walk.First + here.Begun(); k < after; ++k) unreached.push_back(k);
    }
    leftOut = std::max(leftOut, r.LeftOut);
    if (!r.Ok() || Cancelled()) break;
  }
  r.LeftOut = leftOut;
  if (r.LeftOut > 0) {
    // A frame copy walks to the end of the stream, and so counts it.
    const std::int64_t count = set.Count >= 0 ? set.Count : r.Count;
    Complain(input + ": " + std::to_string(r.LeftOut) + " of " + std::to_string(count) +
             " frames were not copied: their " + LeftOutReason(HeaderBytesOf(reference).data(), r.LeftOutHeader) +
             " differs from the first frame's");
    status = kExitFailed;
  }
  if (r.Status == ScanStatus::Interrupted || Cancelled()) {
    // Without a count the pieces still to come are not known.
    const std::string madeText = pieces >= 0 ? std::to_string(made) + OfPieces(pieces) + " pieces were made"
                                 : made == 1 ? "1 piece was made"
                                             : std::to_string(made) + " pieces were made";
    Complain("interrupted by " + CancelSignalName() + " after " + madeText +
             (notMade.empty() ? "" : "; the piece being written was not kept"));
    return CancelExitStatus();
  }
  if (!r.Ok()) {
    Complain(r.Message);
    if (status == kExitOk) status = kExitFailed;
  }
  // Pieces the walk never reached: their frames were all left out, or came
  // after the last whole frame.
  if (r.Ok()) {
    for (std::size_t k : unreached)
      Complain("piece " + std::to_string(k + 1) + OfPieces(pieces) + ": " + set.PathOf(k) +
               ": no audio frame of its range was copied; no file was made");
  }
  // What exists after a run that did not make every piece.
  const std::size_t known = static_cast<std::size_t>(std::max<std::int64_t>(pieces, 0));
  if (!r.Ok() || made < known || !notMade.empty()) {
    std::vector<std::size_t> missing = notMade;
    missing.insert(missing.end(), unreached.begin(), unreached.end());
    const std::size_t next = missing.empty() ? made : *std::max_element(missing.begin(), missing.end()) + 1;
    for (std::size_t k = next; k < known; ++k) missing.push_back(k);
    std::sort(missing.begin(), missing.end());
    if (pieces >= 0 && !missing.empty()) {
      Complain(std::to_string(made) + " of " + std::to_string(pieces) + (made == 1 ? " piece was" : " pieces were") +
               " made; " + PieceNumbers(missing) + (missing.size() == 1 ? " was not" : " were not"));
    } else if (!missing.empty()) {
      Complain(std::to_string(made) + (made == 1 ? " piece was" : " pieces were") + " made; " +
               PieceNumbers(missing) + " and any after it were not");
    }
    if (status == kExitOk) status = kExitFailed;
  }
  return status;
}

// Whether the pieces' names leave the way open.
enum class PieceNames { Free, InTheWay, Interrupted };

// Nothing is written unless every piece may be: none would be the input, and
// none exists unless --overwrite replaces it. Looks at the names of the first
// `pieces` pieces; `quiet` only asks whether one is in the way, else the
// first in the way is reported.
PieceNames CheckPieceNames(const Options& options, const PathIdentity& source,
                           const std::function<std::string(std::size_t)>& pathOf, std::int64_t pieces,
                           bool quiet) {
  for (std::int64_t k = 0; k < pieces; ++k) {
    if (Cancelled()) return PieceNames::Interrupted;
    const std::string path = pathOf(static_cast<std::size_t>(k));
    // A file name has at most 255 bytes (NAME_MAX on every common file
    // system): a longer one would fail only when its piece came.
    const std::size_t nameBytes =
        path.size() - (path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (nameBytes > 255) {
      if (!quiet)
        Complain(path + ": a file name of " + std::to_string(nameBytes) +
                 " bytes, longer than the 255 a name may have; nothing written");
      return PieceNames::InTheWay;
    }
    const PathIdentity piece = IdentifyPath(path);
    if (SamePlace(source, piece)) {
      if (!quiet) Complain(path + ": the piece would be the input; nothing written");
      return PieceNames::InTheWay;
    }
    // --overwrite replaces old pieces, never what the run reads.
    if (options.HaveCue && SamePlace(IdentifyPath(options.Cue), piece)) {
      if (!quiet) Complain(path + ": the piece would be the CUE sheet; nothing written");
      return PieceNames::InTheWay;
    }
    if (!options.Overwrite && Exists(path)) {
      if (!quiet) Complain(path + ": exists; nothing written (--overwrite replaces the pieces)");
      return PieceNames::InTheWay;
    }
  }
  return PieceNames::Free;
}

// The exit status of a run whose pieces' names are not free, or -1 when they
// are (a name in the way was reported by CheckPieceNames).
int NamesRefusal(PieceNames names) {
  switch (names) {
    case PieceNames::Interrupted:
      return InterruptedBeforePieces();
    case PieceNames::InTheWay:
      return kExitFailed;
    case PieceNames::Free:
      break;
  }
  return -1;
}

// The first name that two of the first `pieces` pieces share, or empty.
std::string SharedName(const std::function<std::string(std::size_t)>& pathOf, std::int64_t pieces) {
  std::set<std::string> seen;
  for (std::int64_t k = 0; k < pieces; ++k) {
    std::string path = pathOf(static_cast<std::size_t>(k));
    if (!seen.insert(path).second) return path;
  }
  return "";
}

// What every split shares: its input, the points or length, the sheet or
// silences, the clock and the tag edits.
struct SplitJob {
  const Options& Opts;
  const std::string& Input;
  const FrameHeader& Reference;
  const std::vector<StreamPoint>& Points;
  const StreamPoint& Every;
  const SplitSource& Found;
  const FrameClock& Clock;
  const std::vector<TagEdit>& Edits;
  // The input, opened once for all the split reads of it.
  SourceFile& Source;

  bool Patterned() const { return Opts.HaveCue || Opts.HaveName; }
  // A sheet's titles, --tags' numbers or --tag edits go into every piece.
  bool WritesTags() const { return Found.FromCue || Opts.Tags || !Edits.empty(); }
  std::string Pattern() const { return Opts.HaveName ? Opts.Name : "{n:02} - {title}"; }
  PieceEnds Ends(std::function<std::int64_t(std::size_t)> samples) const {
    // Pieces of an album keep its other tags and its cover; each piece, once
    // written, says its length and gets its own tags.
    PieceEnds ends;
    ends.KeepTags = Opts.Tags || Opts.HaveCue;
    ends.TagsOf = [this](std::size_t k, std::size_t pieces) {
      return PieceTagEdits(Found, k, pieces, Opts.Tags, Edits);
    };
    ends.Finished = [this, samples](std::size_t k, const SplitPiece& piece) {
      ReportPiece(Opts, piece, Clock, samples(k));
    };
    return ends;
  }
};

// Pieces whose tags cannot be written are not begun: the tag writer is
// loaded before the first piece, and one that cannot be is reported as the
// first piece's tags would report it. -1 when the run may go on.
int TagWriterRefusal(const SplitJob& job, const std::function<std::string(std::size_t)>& pathOf) {
  std::string error;
  if (!job.WritesTags() || TagWriterLoads(pathOf(0), error)) return -1;
  Complain(error);
  return kExitFailed;
}

// A sample-exact split: every piece is planned before the walk that writes
// them, by a walk that measures the reservoir before each start and counts
// the stream only as far as the plan needs (see PlanExactSplit).
int SplitExact(const SplitJob& job) {
  const Options& options = job.Opts;
  std::string error;
  ExactSplitPlan plan;
  switch (PlanExactSplit(job.Source, job.Reference, job.Points, options.HaveEvery ? &job.Every : nullptr,
                         &job.Found.FirstStart, CancelFlag(), plan, error)) {
    case ExactSplitStatus::Interrupted:
      return InterruptedBeforePieces();
    case ExactSplitStatus::Failed:
      if (Cancelled()) return InterruptedBeforePieces();
      Complain(job.Input + ": " + error);
      return kExitFailed;
    case ExactSplitStatus::Planned:
      break;
  }
  if (Cancelled()) return InterruptedBeforePieces();
  std::vector<ExactCut>& exact = plan.Pieces;
  const PieceNameParts parts = PieceNamePartsOf(job.Input, options.Directory);
  const std::int64_t pieces = static_cast<std::int64_t>(exact.size());
  const int digits = PieceNumberDigits(pieces);
  const std::string pattern = job.Pattern();
  const std::function<std::string(std::size_t)> pathOf = [&](std::size_t k) {
    return job.Patterned() ? PatternPieceName(pattern, parts, job.Found, k)
                           : NumberedPieceName(parts, k, digits);
  };
  for (std::size_t i = 0; i < exact.size(); ++i)
    if (exact[i].Plan.PreRollLimited()) Complain(pathOf(i) + ": " + PreRollWarning(exact[i].Plan));
  if (const std::string shared = SharedName(pathOf, pieces); !shared.empty()) {
    Complain(shared + ": two pieces would have this name; nothing written (give --name a {n})");
    return kExitFailed;
  }
  if (const int refused =
          NamesRefusal(CheckPieceNames(options, IdentifySource(job.Source), pathOf, pieces, false));
      refused >= 0)
    return refused;
  if (const int refused = TagWriterRefusal(job, pathOf); refused >= 0) return refused;
  PieceSet set;
  set.RangeOf = [&](std::size_t k, PieceRange& range) {
    if (k >= exact.size()) return false;
    range.Start = static_cast<std::int32_t>(exact[k].Plan.FirstFrame);
    // The last piece of a stream whose end the plan did not meet runs to
    // the end, which the walk that writes it meets.
    range.Stop = k + 1 == exact.size() && !plan.EndMet ? std::numeric_limits<std::int32_t>::max()
                                                        : static_cast<std::int32_t>(exact[k].Plan.LastFrame);
    return true;
  };
  set.PathOf = pathOf;
  set.Known = pieces;
  set.Count = plan.EndMet ? plan.Counted : -1;
  set.Settle = [&](const ScanResult& r) {
    // The stream's audio frames: every whole frame of it the walk met, but a
    // leading tag frame. Frames of another bit rate are counted among those
    // left out (and make the run fail).
    const std::int64_t frames =
        std::int64_t{r.Copyable} + (options.AnyBitRate ? 0 : r.LeftOut) - plan.Stream.FirstAudioFrame;
    SettleLastPiece(plan, std::max<std::int64_t>(0, frames));
  };
  return WritePieces(options, job.Source, job.Reference, set, exact, job.Ends([&](std::size_t k) {
    // A piece still to an end not met was cut short by a signal.
    return k + 1 == exact.size() && !plan.EndMet ? std::int64_t{-1} : exact[k].Plan.Samples();
  }));
}

// The first piece starts at frame `first` (a sheet's first track after a
// pregap): the frames before it are left out.
bool LeaveOutBefore(std::int64_t first, std::vector<std::int32_t>& starts, std::string& error) {
  if (first <= 0) return true;
  if (starts.size() > 1 && first >= starts[1]) {
    error = "the first track starts in the frame of the second (frame " + std::to_string(first) + ")";
    return false;
  }
  if (first >= std::numeric_limits<std::int32_t>::max()) {
    error = "the first track starts after the last frame";
    return false;
  }
  starts[0] = static_cast<std::int32_t>(first);
  return true;
}

// What split --dry-run prints: a sheet's tracks, to the stream's length on
// the player's clock, or the points.
int DryRun(SourceFile& source, const FrameHeader& reference, const SplitSource& found) {
  if (!found.FromCue) {
    PrintPoints(found);
    return kExitOk;
  }
  std::string error;
  std::int64_t samples = 0;
  const std::int32_t rate = HeaderSampleRate(reference);
  if (reference.Layer == 1) {
    GaplessStream stream;
    if (!ReadGaplessStream(source, reference, stream, error, true, CancelFlag())) {
      Complain(error);
      return Cancelled() ? CancelExitStatus() : kExitFailed;
    }
    samples = stream.Samples();
  } else {
    std::int32_t frames = 0, copyable = 0;
    if (!CountFrames(source, reference, true, frames, copyable))
      return Cancelled() ? CancelExitStatus() : kExitFailed;
    samples = std::int64_t{frames} * SamplesPerFrame(reference);
  }
  PrintTracks(found, SamplesTime(rate, samples));
  return kExitOk;
}

// A split into frame copies, planned without counting the stream's frames
// where the plan can do without: the walk that writes the pieces opens each
// as it reaches it, and the last ends where the stream ends. The count is
// taken only as far as the plan needs it:
//  - points must lie inside the stream: counted up to the last point;
//  - the numbers in the names have as many digits as the last needs: with
//    --every, counted until the stream is sure to hold at most 99 pieces,
//    else to its end (no frame count is known from a file's size alone);
//  - a --name without a number names two pieces alike: counted until a second
//    piece is sure or ruled out;
//  - --tags numbers the pieces n/N: counted to the end;
//  - names already in the way (or that might be, of a great many pieces):
//    counted to the end, so that exactly the pieces made are looked at.
int SplitFrames(const SplitJob& job) {
  const Options& options = job.Opts;
  const std::string& input = job.Input;
  std::string error;
  FrameTally tally = FirstTally(job.Reference.FileSize, ShortestFrame(job.Reference));
  auto countOn = [&](const std::function<bool(const FrameTally&)>& enough) {
    return CountOn(job.Source, job.Reference, job.Reference.FileSize, tally, enough);
  };
  const auto toEnd = [](const FrameTally&) { return false; };
  auto failedCount = [] { return Cancelled() ? InterruptedBeforePieces() : kExitFailed; };

  const PieceNameParts parts = PieceNamePartsOf(input, options.Directory);
  const std::string pattern = job.Pattern();
  std::vector<std::int32_t> starts;  // of listed points
  EveryStartSequence every(job.Every, job.Clock);
  std::int64_t pieces = -1;  // when known
  int digits = 2;
  if (!options.HaveEvery) {
    // A sheet's first track may start after a pregap, which is left out.
    const std::int64_t first = StartFrameOf(job.Clock, job.Found.FirstStart);
    std::int64_t last = first;
    for (const StreamPoint& p : job.Points) last = std::max(last, StartFrameOf(job.Clock, p));
    if (!countOn([last](const FrameTally& t) { return t.Counted > last; })) return failedCount();
    // Counted so far lies beyond every point: the test against the last
    // frame then passes as with the whole count.
    const std::int64_t count =
        std::min<std::int64_t>(tally.Counted, std::numeric_limits<std::int32_t>::max());
    if (!SplitStarts(job.Points, job.Clock, static_cast<std::int32_t>(count), starts, error) ||
        !LeaveOutBefore(first, starts, error)) {
      Complain(input + ": " + error);
      return kExitFailed;
    }
    pieces = static_cast<std::int64_t>(starts.size());
    digits = PieceNumberDigits(pieces);
  } else {
    const std::int64_t second = every.StartOf(1);
    if (options.Tags && !countOn(toEnd)) return failedCount();
    if (!job.Patterned()) {
      const std::int64_t hundredth = every.StartOf(99);
      if (hundredth >= 0 && !countOn([hundredth](const FrameTally& t) { return t.Most <= hundredth; }))
        return failedCount();
    } else if (second >= 0 && PatternPieceName(pattern, parts, job.Found, 0) ==
                                  PatternPieceName(pattern, parts, job.Found, 1)) {
      if (!countOn([second](const FrameTally& t) { return t.Counted > second || t.Most <= second; }))
        return failedCount();
      if (tally.Counted > second) {
        Complain(PatternPieceName(pattern, parts, job.Found, 1) +
                 ": two pieces would have this name; nothing written (give --name a {n})");
        return kExitFailed;
      }
    }
    if (tally.All) pieces = every.PiecesIn(tally.Counted, std::numeric_limits<std::int64_t>::max());
    if (pieces >= 0) digits = PieceNumberDigits(pieces);
  }
  const std::function<std::string(std::size_t)> pathOf = [&](std::size_t k) {
    return job.Patterned() ? PatternPieceName(pattern, parts, job.Found, k)
                           : NumberedPieceName(parts, k, digits);
  };
  // Numbered names differ, and so do the names --every gets from a pattern
  // once the first two differ (only the number changes in them): only a
  // sheet's or the points' pieces need their names compared.
  if (!options.HaveEvery && job.Patterned()) {
    if (const std::string shared = SharedName(pathOf, pieces); !shared.empty()) {
      Complain(shared + ": two pieces would have this name; nothing written (give --name a {n})");
      return kExitFailed;
    }
  }

  const PathIdentity source = IdentifySource(job.Source);
  if (pieces < 0) {
    // Every name the pieces might take, as long as they are few: when none
    // is in the way, neither is any of those made.
    constexpr std::int64_t kMostLooked = 1000;
    const std::int64_t most = every.PiecesIn(tally.Most, kMostLooked);
    const PieceNames look =
        most <= kMostLooked ? CheckPieceNames(options, source, pathOf, most, true) : PieceNames::InTheWay;
    if (look == PieceNames::Interrupted) return InterruptedBeforePieces();
    if (look == PieceNames::InTheWay) {
      if (!countOn(toEnd)) return failedCount();
      pieces = every.PiecesIn(tally.Counted, std::numeric_limits<std::int64_t>::max());
    }
  }
  if (pieces >= 0) {
    if (const int refused = NamesRefusal(CheckPieceNames(options, source, pathOf, pieces, false));
        refused >= 0)
      return refused;
  }
  if (const int refused = TagWriterRefusal(job, pathOf); refused >= 0) return refused;

  PieceSet set;
  constexpr std::int32_t kToTheEnd = std::numeric_limits<std::int32_t>::max();
  if (!options.HaveEvery) {
    set.RangeOf = [&](std::size_t k, PieceRange& range) {
      if (k >= starts.size()) return false;
      range.Start = starts[k];
      range.Stop = k + 1 < starts.size() ? starts[k + 1] - 1 : kToTheEnd;
      return true;
    };
  } else {
    set.RangeOf = [&](std::size_t k, PieceRange& range) {
      const std::int64_t start = every.StartOf(k);
      if (start < 0 || (pieces >= 0 && static_cast<std::int64_t>(k) >= pieces)) return false;
      const std::int64_t next = every.StartOf(k + 1);
      range.Start = static_cast<std::int32_t>(start);
      range.Stop = next < 0 ? kToTheEnd : static_cast<std::int32_t>(next - 1);
      return true;
    };
  }
  set.PathOf = pathOf;
  set.Known = pieces;
  set.Count = tally.All ? tally.Counted : -1;
  return WritePieces(options, job.Source, job.Reference, set, {}, job.Ends([](std::size_t) { return -1; }));
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

  FrameHeader reference;
  // Opened once for everything the split reads of it.
  SourceFile source(input);
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
  // One piece would only be a copy of the input: a dry run says so too.
  if (options.Silence && found.Points.empty()) {
    Complain(input + ": " + NoSilenceFound(silence) + "; nothing written");
    return kExitFailed;
  }
  if (options.DryRun) return DryRun(source, reference, found);
  FrameClock clock;
  if (!ReadFrameClock(source, reference, clock, error)) {
    Complain(error);
    return kExitFailed;
  }
  // A length below one frame is refused before the file is counted: the
  // shortest allowed depends only on the first header.
  if (options.HaveEvery && !CheckEveryLength(every, clock, error))
    return UsageError("--every " + options.Every + ": " + error);
  // Pieces of a Layer III stream are made to be played: each decodes to
  // exactly its samples, and back to back they are the whole.
  // Pieces keep the input's tags, numbered n/N; pieces of an untagged input
  // stay untagged, so that back to back they are the input.
  Options kept = options;
  std::int64_t leading = 0;
  kept.Tags = options.Tags && ((LeadingTagsLength(source, leading, error) && leading > 0) || HasId3v1Tag(source));
  const SplitJob job{kept, input, reference, points, every, found, clock, edits, source};
  if (!options.Frames && reference.Layer == 1) return SplitExact(job);
  return SplitFrames(job);
}
