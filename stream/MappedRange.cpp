#include "stream/MappedRange.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace mappedrange {
namespace {

// One slot per input read at once: a job reads one input, the window's
// player another; a run of many jobs reads them in turn.
constexpr int kSlots = 64;

struct Slot {
  std::atomic<bool> Taken{false};
  std::atomic<std::uintptr_t> Begin{0};
  std::atomic<std::uintptr_t> End{0};
  std::atomic<bool> Shrank{false};
};

Slot slots[kSlots];
struct sigaction previous {};
std::atomic<bool> installed{false};
std::once_flag installOnce;

// Hands a fault that none of our ranges explains to whoever had SIGBUS
// before; with no handler of its own, the default action ends the process as
// it would have without us.
void Chain(int signal, siginfo_t* info, void* context) {
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, context);
    return;
  }
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
    return;
  }
  // Returning re-runs the faulting access, which now meets the default action.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(SIGBUS, &fallback, nullptr);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Slot& slot : slots) {
    if (!slot.Taken.load(std::memory_order_acquire)) continue;
    if (at < slot.Begin.load(std::memory_order_acquire) || at >= slot.End.load(std::memory_order_acquire))
      continue;
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    void* const start = reinterpret_cast<void*>(at & ~(page - 1));
    // The access is retried on return and now reads zeros.
    if (::mmap(start, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
    slot.Shrank.store(true, std::memory_order_release);
    errno = savedErrno;
    return;
  }
  Chain(signal, info, context);
  errno = savedErrno;
}

void Install() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  if (::sigaction(SIGBUS, &action, &previous) == 0) installed.store(true);
}

}  // namespace

int Guard(const void* begin, std::size_t length) {
  std::call_once(installOnce, Install);
  if (!installed.load()) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!slots[i].Taken.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) continue;
    const auto from = reinterpret_cast<std::uintptr_t>(begin);
    slots[i].Shrank.store(false, std::memory_order_relaxed);
    slots[i].Begin.store(from, std::memory_order_release);
    slots[i].End.store(from + length, std::memory_order_release);
    return i;
  }
  return -1;
}

void Release(int handle) {
  if (handle < 0 || handle >= kSlots) return;
  slots[handle].End.store(0, std::memory_order_release);
  slots[handle].Begin.store(0, std::memory_order_release);
  slots[handle].Taken.store(false, std::memory_order_release);
}

bool Shrank(int handle) {
  return handle >= 0 && handle < kSlots && slots[handle].Shrank.load(std::memory_order_acquire);
}

}  // namespace mappedrange
