// kerfwell-cut: counts and cuts MPEG audio files at frame boundaries from the
// command line, with the same engine as the window.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

const char kHelp[] =
    "Usage: kerfwell-cut info PATH\n"
    "       kerfwell-cut count PATH\n"
    "       kerfwell-cut cut -o OUTPUT JOB...\n"
    "       kerfwell-cut --help\n"
    "\n"
    "Cuts MPEG audio files (MPEG-1 and MPEG-2, Layers I to III) at frame boundaries,\n"
    "copying whole frames without decoding them.\n"
    "\n"
    "  info PATH     print the stream of the file's first valid frame header:\n"
    "                Version, Layer, BitRate, SampleRate, Mode, Copyrighted, Original,\n"
    "                Frames (the count of valid frames), Duration (hh:mm.ss from the\n"
    "                file size and bit rate) and FirstFrame (byte offset of the header)\n"
    "  count PATH    print the number of valid frames alone on one line\n"
    "  cut -o OUTPUT JOB...\n"
    "                append every JOB, in order, to OUTPUT; OUTPUT is created with its\n"
    "                missing directories, never truncated, and must not be an input.\n"
    "                JOB is PATH (the whole file: frames 0 to its count) or\n"
    "                PATH@START-STOP (frame indexes, both included; the last '@'\n"
    "                splits). Only frames of the length of the file's first valid\n"
    "                frame are copied.\n"
    "\n"
    "A file without a valid frame header in its first 2 MiB is refused with\n"
    "\"Is Something Strange With This File !\". A missing or unreadable input, a bad\n"
    "JOB or an output error is reported on one line naming the path and the reason;\n"
    "the other jobs still run and `cut` lists the jobs it passed over. A failed\n"
    "write stops the run; the output keeps whole frames only.\n"
    "On a terminal, cutting shows a progress bar on standard error.\n"
    "\n"
    "Exit status: 0 when everything was done, 1 when an input was refused or an\n"
    "I/O operation failed, 2 for a usage error.\n";

int Usage(const std::string& message) {
  std::fprintf(stderr, "kerfwell-cut: %s\nTry 'kerfwell-cut --help'.\n", message.c_str());
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
  }
  if (args.empty()) return Usage("no command given");

  const std::string command = args[0];
  if (command == "info" || command == "count") {
    if (args.size() != 2) return Usage(command + " takes exactly one PATH");
    return command == "info" ? RunInfo(args[1]) : RunCount(args[1]);
  }
  if (command == "cut") {
    std::string output;
    bool haveOutput = false;
    std::vector<std::string> jobs;
    bool options = true;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (options && a == "--") {
        options = false;
      } else if (options && a == "-o") {
        if (i + 1 == args.size()) return Usage("-o needs an OUTPUT");
        if (haveOutput) return Usage("only one -o OUTPUT");
        output = args[++i];
        haveOutput = true;
      } else if (options && a.size() > 1 && a[0] == '-') {
        return Usage("unknown option " + a);
      } else {
        jobs.push_back(a);
      }
    }
    if (!haveOutput || output.empty()) return Usage("cut needs -o OUTPUT");
    if (jobs.empty()) return Usage("cut needs at least one JOB");
    return RunCut(output, jobs);
  }
  return Usage("unknown command " + command);
}
