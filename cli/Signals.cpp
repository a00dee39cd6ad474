#include "cli/Signals.h"

#include <signal.h>

namespace {

std::atomic<bool> cancel{false};
volatile sig_atomic_t caught = 0;

void OnSignal(int signal) {
  if (caught == 0) caught = signal;
  cancel.store(true);
}

}  // namespace

void InstallSignalHandlers() {
  static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
  ::signal(SIGXFSZ, SIG_IGN);
}

const std::atomic<bool>* CancelFlag() { return &cancel; }
bool Cancelled() { return cancel.load(); }
int CancelSignal() { return caught; }
std::string CancelSignalName() {
  switch (caught) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}
int CancelExitStatus() { return 128 + caught; }
