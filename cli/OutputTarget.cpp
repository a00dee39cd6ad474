#include "cli/OutputTarget.h"

#include <unistd.h>

#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/Signals.h"

std::string DropOutput(OutputTarget& target) {
  const bool asItWas = target.Writer.Discard();
  if (target.ToStdout) return "nothing was written to standard output";
  if (!asItWas) return target.Shown + " keeps the whole frames appended to it: they could not be taken back";
  return target.Existed ? target.Shown + " was left as it was" : "no output was made";
}

int OpenOutputTarget(const OutputChoice& choice, OutputTarget& target) {
  OutputSettings settings;
  settings.Existing = choice.Existing;
  settings.NoWait = choice.NoWait;
  settings.ReserveTagFrame = choice.ReserveTagFrame;
  settings.WidenAtJunctions = choice.WidenAtJunctions;
  settings.Lame = choice.Lame;
  settings.LameValues = choice.LameValues;
  settings.Cancel = CancelFlag();
  settings.OnWait = [](const std::string& path) {
    Complain("waiting for another run to finish writing " + path + " (--no-wait refuses instead)");
  };
  std::string message;
  if (choice.Output == "-") {
    if (::isatty(STDOUT_FILENO) == 1) {
      Complain("standard output is a terminal; redirect it or name an output file");
      return kExitFailed;
    }
    target.Shown = "standard output";
    target.ToStdout = true;
    target.New = true;
    if (target.Writer.OpenForStdout(settings, message) != OutputStatus::Ok) {
      Complain(message);
      return kExitFailed;
    }
    return -1;
  }
  target.Shown = choice.Output;
  OutputOpened opened;
  const OutputStatus status = target.Writer.Open(choice.Output, settings, opened, message);
  switch (status) {
    case OutputStatus::Ok:
      if (opened.CutBackFrom >= 0) Complain(message);
      target.New = opened.New;
      target.Replacing = opened.Existed && opened.New;
      target.Existed = opened.Existed;
      return -1;
    case OutputStatus::NotEmpty:
      Complain(message + "; nothing written (--append adds to it, --overwrite replaces it)");
      return kExitFailed;
    case OutputStatus::Interrupted:
      Complain(message);
      return CancelExitStatus();
    default:
      Complain(message);
      return kExitFailed;
  }
}

Committed TagAndCommit(OutputTarget& target, const std::vector<TagEdit>& edits) {
  OutputWriter& out = target.Writer;
  std::string error;
  if (!edits.empty()) {
    const std::string pending = out.BeginRewrite(error);
    if (pending.empty() || !WriteTags(pending, target.Shown, edits, error) || !out.EndRewrite(error)) {
      Complain(error);
      out.Discard();
      return Committed::Failed;
    }
  }
  // A signal during the tag write still ends the run without a commit.
  if (Cancelled()) {
    out.Discard();
    return Committed::Interrupted;
  }
  if (!out.Commit(error)) {
    Complain(error);
    return Committed::Failed;
  }
  return Committed::Yes;
}
