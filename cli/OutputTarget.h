#pragma once

#include <string>

#include <vector>

#include "album/TagWriter.h"
#include "output/OutputWriter.h"

// Where a run of kerfwell-cut writes: a path, or standard output ("-"),
// through the shared output writer.
struct OutputChoice {
  std::string Output;       // a path, or "-"
  ExistingOutput Existing = ExistingOutput::Refuse;
  bool NoWait = false;
  bool ReserveTagFrame = false;
  bool WidenAtJunctions = false;  // see OutputSettings
  bool Lame = false;  // the reserved tag frame carries LameValues
  LameFields LameValues;
};

struct OutputTarget {
  OutputWriter Writer;
  std::string Shown;        // the output as messages name it
  bool ToStdout = false;
  bool New = false;         // the run makes the whole file: tags and a fresh tag frame apply
  bool Replacing = false;   // an existing file is replaced only when the run succeeds
  bool Existed = false;     // the path named a file with content before the run
};

// Discards the output of a run that is not committed and says what its path
// holds: "OUT was left as it was", "no output was made", ...
std::string DropOutput(OutputTarget& target);

// Opens the output. "-" is standard output, refused when it is a terminal.
// Reports on standard error what it mended or why it refused; returns the
// exit status to end with, or -1 when the run goes on.
int OpenOutputTarget(const OutputChoice& choice, OutputTarget& target);

enum class Committed { Yes, Failed, Interrupted };

// Ends a run that succeeded: writes `edits` into the output while it is not
// yet committed, then commits it. A failure is reported; after a failure or a
// signal (reported by the caller) the output is discarded and its path is as
// it was before the run.
Committed TagAndCommit(OutputTarget& target, const std::vector<TagEdit>& edits);
