#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/ExactCut.h"
#include "cli/JobArgument.h"
#include "cli/LevelChange.h"
#include "cli/OutputTarget.h"
#include "cli/PathIdentity.h"
#include "stream/SourceFile.h"
#include "stream/Scanner.h"

// One job of a run as the command line planned it.
struct PlannedJob {
  std::string Label;       // "job 2 of 3", "piece 2 of 5"
  std::string Arg;         // as the user wrote it, for messages
  JobArgument Job;         // when ParseError is empty
  std::string ParseError;  // why the argument was refused
  // The file's frame count when a counting pass already took it: the cut then
  // ends where its range ends.
  std::int32_t KnownCount = -1;
  // A frame written before the job's frames: the carrier of a sample-exact
  // cut, which holds the bit-reservoir bytes its first frames take.
  std::vector<std::uint8_t> LeadFrame;
  // Where the walk that planned the job met its first frame: the copy goes on
  // from there instead of walking from the file's start again.
  ResumePoint Resume;
  // A sample-exact cut whose tag's end padding waits for the copy to tell
  // whether the stop lay before the end of the stream (see ExactCut).
  bool SettleEnd = false;
  ExactCut Exact;
  // The input, opened once for all the job's work (jobs of one input may
  // share it); null until OpenJobSources, and for a job that did not parse.
  std::shared_ptr<SourceFile> Source;
};

// Opens the input of every job that parsed and has none yet. A failure is
// kept in the source and reported when the run reaches the job.
void OpenJobSources(std::vector<PlannedJob>& jobs);
// The job's input: its source (opened now when it has none yet).
SourceFile& JobSource(PlannedJob& job);
// What a job's input is: the file its source opened, else what its path
// (or, for a job that did not parse, its argument) names.
PathIdentity InputIdentity(const PlannedJob& job);

// Plans a job per argument, labelled "job N of M", each cut to `range` when
// one is given (--range: the arguments are paths). False, with `usageError`,
// for an argument that does not parse: a usage error of the whole run.
bool PlanCutJobs(const std::vector<std::string>& args, std::vector<PlannedJob>& jobs, std::string& usageError,
                 const std::string& range = "");

struct CutSettings {
  bool AnyBitRate = false;
  // Each job's frames join those before as one stream (see
  // OutputWriter::JoinJob); without it they are byte copies.
  bool Join = false;
  bool Tags = false;
  bool Quiet = false;
  std::vector<TagEdit> Edits;  // written into the output before it is committed
  LevelChange Level;           // --gain, --fade-in, --fade-out
};

// Writes every job, in order, to the opened target, then, with Tags, closes
// a new output with its first input's ID3v1 tag, fills in the output's tag
// frame, writes the tag edits and commits the output (a new file takes its
// name, an overwrite the old file's place, standard output gets the bytes).
// Only a run that did everything commits: after any failure or a signal the
// output is discarded and its path left as it was before the run. Each
// failure is reported on standard error as it happens; jobs that could not
// run are named at the end.
// Returns the exit status: 0, 1, or 128 + the signal that interrupted the
// run, also when it came after the last frame.
int CutJobsInto(OutputTarget& target, const std::vector<PlannedJob>& jobs, const CutSettings& settings);
