#pragma once

#include <string>
#include <vector>

#include "album/CueSheet.h"
#include "album/Silence.h"
#include "album/TagWriter.h"
#include "cli/Split.h"
#include "cli/TimePoint.h"

struct Options;

// Where the pieces of split --cue and split --silence start, found before any
// frame is counted: they go into the same split machinery as POINTs typed by
// the user. A sheet also names and tags each piece.
struct SplitSource {
  std::vector<StreamPoint> Points;  // where pieces 2, 3, ... start
  // Where piece 1 starts: a sheet's first INDEX 01 (what comes before it is
  // a pregap, left out as those of the other tracks are), else 0.
  StreamPoint FirstStart;
  bool FromCue = false;
  CueSheet Sheet;  // with FromCue
};

// The sheet's tracks: a piece from each INDEX 01 to the next. False, with
// `error` naming the sheet and the reason.
bool PointsFromCue(const std::string& sheetPath, SplitSource& source, std::string& error);

// --threshold, --min-silence and --min-length, with the defaults for those not
// given. False for a value that is no level or length (a usage error).
bool ParseSilenceSettings(const Options& options, SilenceSettings& settings, std::string& error);
// Decodes the input with a progress bar (unless `quiet`) and splits in the
// middle of its silences. False, with `error` set, when the input cannot be
// decoded or the search was interrupted.
bool PointsFromSilence(const std::string& input, const SilenceSettings& settings, bool quiet, SplitSource& source,
                       std::string& error);
// The same on the input already open.
bool PointsFromSilence(class SourceFile& input, const SilenceSettings& settings, bool quiet, SplitSource& source,
                       std::string& error);

// "no silence of at least 1.5 s at or below -48 dBFS between sounds" (or
// none that leaves pieces of the shortest length).
std::string NoSilenceFound(const SilenceSettings& settings);

// One point a line as a time, "h:mm:ss.ffffff", which split takes back as
// POINTs that name the same samples.
void PrintPoints(const SplitSource& source);
// A sheet's tracks, one a line: number, title, start and length (the last
// one's to `endNs`, the stream's length on the player's clock), tab-separated.
void PrintTracks(const SplitSource& source, std::int64_t endNs);

// A text as one safe file name: no '/', no control characters and none of
// \ : * ? " < > | (which other systems refuse), no leading dot and no
// trailing space or dot; at most 200 bytes, cut on a character boundary.
std::string SafeFileName(const std::string& text);
// False, with `error` set, for a pattern with an unknown field or an
// unclosed brace, or whose own text has a '/' or '..': the pieces stay in
// their folder.
bool CheckNamePattern(const std::string& pattern, std::string& error);
// The name of piece `index` (from 0) by `pattern`: see NamePiecesByPattern. A
// name that comes out empty is "Track NN"; one that Windows keeps for a
// device (CON, PRN, AUX, NUL, COM1 to 9, LPT1 to 9) gets a '_' after it.
std::string PatternPieceName(const std::string& pattern, const PieceNameParts& parts, const SplitSource& source,
                             std::size_t index);
// Names the pieces by `pattern` ({n}, {n:02}, {title}, {performer}, {album},
// {path-stem}; each value made safe), in `directory` or beside the input,
// with the input's extension.
void NamePiecesByPattern(const std::string& pattern, const std::string& input, const std::string& directory,
                         const SplitSource& source, std::vector<SplitPiece>& pieces);
// The first path that two pieces share, or empty.
std::string SharedPiecePath(const std::vector<SplitPiece>& pieces);

// The tags of piece `index` (0-based) of `count`: from the sheet (title,
// artist, album, track n/N, date, genre), track n/N alone when `numberTracks`,
// then the user's --tag edits with {n} filled in.
std::vector<TagEdit> PieceTagEdits(const SplitSource& source, std::size_t index, std::size_t count,
                                   bool numberTracks, const std::vector<TagEdit>& userEdits);

// "PATH: frames A to B (N frames, h:mm:ss.fff)": what a written piece holds.
// A sample-exact piece (`exactSamples` of them, else -1) plays exactly those
// samples, whatever its frames: its time is theirs.
std::string PieceLength(const SplitPiece& piece, const FrameClock& clock, std::int64_t exactSamples = -1);

// Once `piece` is committed: prints its length (unless -q).
void ReportPiece(const Options& options, const SplitPiece& piece, const FrameClock& clock,
                 std::int64_t exactSamples);
