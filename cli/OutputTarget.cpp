#include "cli/OutputTarget.h"

#include <unistd.h>

#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/Signals.h"

int OpenOutputTarget(const OutputChoice& choice, OutputTarget& target) {
  OutputSettings settings;
  settings.Existing = choice.Existing;
  settings.NoWait = choice.NoWait;
  settings.ReserveTagFrame = choice.ReserveTagFrame;
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
