#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/JobArgument.h"
#include "cli/TimePoint.h"
#include "gapless/GaplessPlan.h"
#include "output/ReservedTagFrame.h"
#include "stream/FrameHeader.h"
#include "stream/Scanner.h"

class SourceFile;

// Sample-exact cuts of Layer III streams for kerfwell-cut: a range of the
// player's samples becomes frames to copy (the pre-roll that decoding needs
// included) and the LAME-style tag frame, reserved in front of them, whose
// delay and padding trim the output to the range.
struct ExactCut {
  GaplessPlan Plan;
  LameFields Tag;
  // Where the copy of the plan's first frame may begin (see ResumePoint).
  ResumePoint Resume;
  // Planned before the stream's end was met, with a stop that may lie at
  // or after it: when the copy meets the end, SettledEndPadding says what
  // the tag's padding must be.
  bool LengthUnmet = false;
  // The range runs to the end of a stream whose end the walk did not meet:
  // the plan's last frame is no frame of it, the copy goes to the end.
  bool ToUnmetEnd = false;
  GaplessStream Stream;  // without its tag frame's bytes
};

// The end padding of a cut whose copy met the end of the stream, which holds
// `frames` frames: the stream's own when the stop lay at or after the end of
// its samples, else the plan's.
std::int32_t SettledEndPadding(const ExactCut& cut, std::int32_t frames);

// The tag fields of a plan: the source's encoder string when it declared
// one, else one that ffmpeg and mpg123 both honour.
LameFields TagFieldsOf(const GaplessStream& stream, const GaplessPlan& plan);

// The player's sample that a point names: a time's first sample, or the
// first sample of a frame's output.
std::int64_t SampleOfPoint(const GaplessStream& stream, const StreamPoint& point);

enum class ExactChoice {
  FrameCopy,  // not a case for it: the job is copied frame by frame
  Exact,      // `cut` holds the plan
  Refused,    // `error` says why (the file could not be read, the range holds no sample)
};

// A job of `cut` whose start or stop is a time, in a Layer III stream:
// planned sample-exact. A frame-number end stands for the edge of that
// frame's output (a stop frame is included). A range that holds no sample of
// the stream is left to the frame copy, which refuses it. The walk that plans
// it ends a few frames after the start (or at the stream's end).
ExactChoice PlanExactJob(const JobArgument& job, const FrameHeader& reference, ExactCut& cut, std::string& error);
// The same on the job's input already open.
ExactChoice PlanExactJob(const JobArgument& job, SourceFile& source, const FrameHeader& reference, ExactCut& cut,
                         std::string& error);

// The pieces of a split of a Layer III stream at sample boundaries (each
// strictly after the one before, inside the stream): one plan per piece, in
// one walk through the file. False, with `error` set, when a boundary is out
// of place or the file cannot be read.
bool PlanExactPieces(const std::string& path, const FrameHeader& reference, const GaplessStream& stream,
                     const std::vector<std::int64_t>& boundaries, std::vector<ExactCut>& pieces,
                     std::string& error);
bool PlanExactPieces(SourceFile& source, const FrameHeader& reference, const GaplessStream& stream,
                     const std::vector<std::int64_t>& boundaries, std::vector<ExactCut>& pieces,
                     std::string& error);
// The same once the reservoir was measured: reach[i] at the ReachFrame of
// piece i's first sample (0, then the boundaries in turn).
bool PlanMeasuredPieces(const GaplessStream& stream, const std::vector<std::int64_t>& boundaries,
                        const std::vector<ReservoirReach>& reach, std::vector<ExactCut>& pieces, std::string& error);

// Where the pieces of a split meet, on the player's clock: at each point, or
// with `every` (a time or a number of frames) every that much. False, with
// `error` set, for a length below one frame (see CheckEveryLength).
bool SplitBoundaries(const GaplessStream& stream, const std::vector<StreamPoint>& points, const StreamPoint* every,
                     std::vector<std::int64_t>& boundaries, std::string& error);

// For a frame copy starting at `startFrame` of a Layer III stream: the frames
// at its front that decode damaged because their main data begins in frames
// not copied; 0 when none does, or for other layers. The walk that finds out
// ends a few frames after the start and leaves in `resume` where the start
// frame lies (Position -1 when it did not walk). False when the file cannot
// be read.
bool DamagedFramesOfCopy(const std::string& path, const FrameHeader& reference, std::int64_t startFrame,
                         std::int32_t& damaged, ResumePoint& resume, std::string& error);
bool DamagedFramesOfCopy(SourceFile& source, const FrameHeader& reference, std::int64_t startFrame,
                         std::int32_t& damaged, ResumePoint& resume, std::string& error);

// What a plan whose pre-roll the delay field limited does to the start, for
// the user; empty when the pre-roll is whole.
std::string PreRollWarning(const GaplessPlan& plan);

// "h:mm:ss.ffffff": a sample count as time, to the microsecond.
std::string FormatSamples(std::int64_t samples, std::int32_t sampleRate);
