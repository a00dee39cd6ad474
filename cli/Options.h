#pragma once

#include <string>
#include <vector>

// The command line of kerfwell-cut. Options may stand anywhere before "--";
// after it every argument is an operand, so names may begin with a dash.
struct Options {
  std::string Command;                // info, count, cut, split, help; empty with --version
  std::vector<std::string> Operands;  // after the command
  bool Help = false;  // COMMAND --help: that command's help; --help alone: the general one
  bool Version = false;
  std::string Output;  // -o, --output; "-" is standard output
  bool HaveOutput = false;
  std::string Directory;  // -d, --dir: split's pieces, cut --each's outputs
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
  std::string Range;                  // cut --range START-STOP: every JOB is a PATH cut to it
  bool HaveRange = false;
  bool Overwrite = false;
  bool Append = false;
  bool NoWait = false;
  // Every frame of the stream is copied, whatever its bit rate, unless
  // --one-bitrate asks for the window's rule: frames of another length than
  // the first are left out and reported. (--any-bitrate, the default, is
  // still accepted.)
  bool OneBitRate = false;
  bool AnyBitRate = true;  // !OneBitRate
  bool Frames = false;  // frame copies instead of sample-exact cuts and pieces
  // The first input's tags go into the outputs unless --no-tags (--tags, the
  // default, is still accepted).
  bool NoTags = false;
  bool Tags = true;  // !NoTags
  bool TagsGiven = false;  // --tags, which only a writing command takes
  std::string Gain;  // --gain DB: a lossless change of level, in 1.5 dB steps
  bool HaveGain = false;
  std::string FadeIn;  // --fade-in DURATION
  bool HaveFadeIn = false;
  std::string FadeOut;  // --fade-out DURATION
  bool HaveFadeOut = false;
  bool Quiet = false;
  bool Json = false;  // info --json: every field, for scripts
};

// False for a usage error, with `error` saying what is wrong. Checks that the
// command exists and takes the options and operands given. An option that
// takes a value is given it as the next argument (which may begin with a
// dash: --threshold -35) or after '=' (--threshold=-35).
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);
