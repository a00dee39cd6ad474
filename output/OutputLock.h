#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// An exclusive lock on an output path for the length of a run, so that two
// runs never write one output at once: flock() on the file the path names.
// The lock is taken on what the path names at that moment and checked again
// afterwards, so that a run that waited while the other replaced or removed
// the file locks the file that is there now.
struct LockSettings {
  bool NoWait = false;  // refuse at once instead of waiting for the other run
  bool Create = true;   // create the file (and its missing folders) when absent
  // Looked at while waiting: a set flag ends the wait.
  const std::atomic<bool>* Cancel = nullptr;
  // Told once, with the path, when the lock is held by another run.
  std::function<void(const std::string&)> OnWait;
};

enum class LockStatus {
  Locked,
  Busy,          // another run holds it, and NoWait was asked
  Interrupted,   // the cancel flag was set while waiting
  NotRegular,    // a folder, FIFO, device...
  CreateFailed,  // the file or a folder on its path could not be made
  OpenFailed,
};

struct LockedOutput {
  int Fd = -1;             // open for reading and writing, or only reading with ReadOnly
  bool Created = false;    // made by this run, so empty, and ours to remove
  std::string FilePath;    // the file itself: the path, or what a symlink names
  std::int64_t Size = 0;   // when the lock was taken
  unsigned Mode = 0;
  // The file is append-only (chattr +a): opened for appending, every write
  // lands at its end and nothing in it can be rewritten.
  bool AppendOnly = false;
};

// Opens `path` and locks it. With `readOnly` the file is opened for reading
// only (the old file of an overwrite, which is replaced, never written).
// `message` names the file and the reason on failure.
LockStatus LockOutput(const std::string& path, bool readOnly, const LockSettings& settings, LockedOutput& out,
                      std::string& message);
