// kerfwell-cut: counts, cuts and splits MPEG audio files at frame boundaries
// from the command line, with the same engine as the window.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/Signals.h"

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error))
    return UsageError(error);
  if (options.Version && !options.Help) {
    std::fputs(VersionText().c_str(), stdout);
    return kExitOk;
  }
  const std::string& c = options.Command;
  if (options.Help || c == "help") {
    std::fputs(HelpText(c == "help" && !options.Operands.empty() ? options.Operands[0] : c).c_str(), stdout);
    return kExitOk;
  }
  // Reading alone may simply end at a signal; writing stops on a whole frame.
  // Copyable counts what the window copies: the frames of one bit rate.
  if (c == "info") return RunInfo(options.Operands[0], false, options.Json);
  if (c == "count") return RunCount(options.Operands[0], options.AnyBitRate);
  InstallSignalHandlers();
  if (c == "cut") return RunCut(options);
  return RunSplit(options);
}
