#pragma once

#include <string>
#include <vector>

// The command line of kerfwell-cut. Options may stand anywhere before "--";
// after it every argument is an operand, so names may begin with a dash.
struct Options {
  std::string Command;                // info, count, cut, split; empty with --help or --version
  std::vector<std::string> Operands;  // after the command
  bool Help = false;
  bool Version = false;
  std::string Output;  // -o; "-" is standard output
  bool HaveOutput = false;
  std::string Directory;  // split -d
  bool HaveDirectory = false;
  std::string Every;  // split --every
  bool HaveEvery = false;
  std::string Cue;  // split --cue SHEET
  bool HaveCue = false;
  bool Silence = false;  // split --silence, with the three settings below
  std::string Threshold;
  bool HaveThreshold = false;
  std::string MinSilence;
  bool HaveMinSilence = false;
  std::string MinLength;
  bool HaveMinLength = false;
  bool DryRun = false;   // split: print the points, write nothing
  std::string Name;      // split --name PATTERN
  bool HaveName = false;
  std::vector<std::string> TagEdits;  // --tag KEY=VALUE, in order
  bool Each = false;                  // cut --each -d DIR: one output per job
  bool Overwrite = false;
  bool Append = false;
  bool NoWait = false;
  bool AnyBitRate = false;
  bool Frames = false;  // frame copies instead of sample-exact cuts and pieces
  bool Tags = false;
  bool Quiet = false;
};

// False for a usage error, with `error` saying what is wrong. Checks that the
// command exists and takes the options and operands given.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);
