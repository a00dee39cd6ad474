#include "stream/MappedFault.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>

namespace {

thread_local std::uintptr_t tlStart = 0;
thread_local std::uintptr_t tlEnd = 0;
thread_local volatile sig_atomic_t tlFaulted = 0;
struct sigaction previous {};

void OnBusError(int sig, siginfo_t* info, void* context) {
  const auto addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
  if (addr >= tlStart && addr < tlEnd) {
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    void* at = reinterpret_cast<void*>(addr & ~(page - 1));
    if (::mmap(at, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      tlFaulted = 1;
      return;
    }
  }
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(sig, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(sig);
  } else {
    ::sigaction(SIGBUS, &previous, nullptr);  // the fault repeats and takes its default course
  }
}

void Install() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &previous);
}

}  // namespace

void GuardMappedWindow(const void* start, std::size_t length) {
  static std::once_flag once;
  std::call_once(once, Install);
  tlStart = reinterpret_cast<std::uintptr_t>(start);
  tlEnd = tlStart + length;
}

void UnguardMappedWindow() { tlStart = tlEnd = 0; }

bool MappedWindowFaulted() { return tlFaulted != 0; }

void ClearMappedWindowFault() { tlFaulted = 0; }
