#pragma once

#include <string>

// Where a run's frames go. The engine appends to a path; for standard output
// the run goes into a temporary file in $TMPDIR that is copied out at the end
// (constant memory; the disk holds one output), so the Xing frame can still be
// rewritten once the run knows the output's frames.
struct OutputTarget {
  std::string Path;   // what the engine appends to
  std::string Shown;  // the output as messages name it
  bool ToStdout = false;
  bool WasEmpty = false;  // absent, empty, or started afresh: the run makes the whole file
  bool Existed = false;   // a file was there before the run
};

// "-" is standard output, refused when it is a terminal. With `overwrite` an
// existing regular file is emptied first; one that is not a regular file is
// left for the engine to refuse. False with `error` set on failure.
bool PrepareOutput(const std::string& output, bool overwrite, OutputTarget& target, std::string& error);

// For standard output: copies the temporary file out and removes it. Does
// nothing for a path.
bool DeliverOutput(const OutputTarget& target, std::string& error);
// Removes the temporary file of a run that will not be delivered.
void DiscardOutput(const OutputTarget& target);
// Removes an output file that the run created, for a run that cut no frame:
// it leaves nothing behind.
void RemoveIfCreated(const OutputTarget& target);
