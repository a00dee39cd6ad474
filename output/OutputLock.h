#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// An exclusive lock on an existing output for the length of a run, so that
// two runs never write one output at once: flock() on the file the path
// names. The lock is taken on what the path names at that moment and checked
// again afterwards, so that a run that waited while the other replaced the
// file locks the file that is there now.
//
// A new output has nothing to lock: it is written unnamed and linked under
// its name only when the run commits it (see OutputWriter).
struct LockSettings {
  bool NoWait = false;  // refuse at once instead of waiting for the other run
  // Looked at while waiting and before every retry: a set flag ends the wait.
  const std::atomic<bool>* Cancel = nullptr;
  // Told once, with the path, when the lock is held by another run.
  std::function<void(const std::string&)> OnWait;
};

enum class LockStatus {
  Locked,
  Missing,       // the path names no file (nor a link): the output is new
  Busy,          // another run holds it, and NoWait was asked
  Interrupted,   // the cancel flag was set while waiting
  NotRegular,    // a folder, FIFO, device...
  OpenFailed,    // with the system's reason: a link loop, a dangling link, no permission...
};

struct LockedOutput {
  int Fd = -1;             // open for reading and writing, or only reading with ReadOnly
  std::int64_t Size = 0;   // when the lock was taken
  unsigned Mode = 0;
  // The file is append-only (chattr +a): opened for appending, every write
  // lands at its end and nothing in it can be rewritten.
  bool AppendOnly = false;
};

// Opens the file `path` names and locks it. With `readOnly` the file is
// opened for reading only (the old file of an overwrite, which is replaced,
// never written). The kernel follows links; a link that leads nowhere is an
// error, not a new file. `message` names the file and the reason on failure.
LockStatus LockOutput(const std::string& path, bool readOnly, const LockSettings& settings, LockedOutput& out,
                      std::string& message);

// Takes the lock of a file already open (one this run made): waits, like
// LockOutput, for a run that holds it.
LockStatus LockDescriptor(int fd, const std::string& shown, const LockSettings& settings, std::string& message);
