#include "output/OutputLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "stream/InputFile.h"

namespace {

bool CancelSet(const LockSettings& settings) { return settings.Cancel != nullptr && settings.Cancel->load(); }

std::string InterruptedWaiting(const std::string& path) {
  return "interrupted while waiting for another run to finish writing " + path;
}

// Why a path that cannot be opened cannot: a link that leads nowhere says so
// beside the system's reason.
std::string OpenFailure(const std::string& path, int e) {
  struct stat st {};
  if (e == ENOENT && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
    return "cannot write " + path + ": it is a symbolic link to a missing file (" + std::strerror(EEXIST) + ")";
  return "cannot write " + path + ": " + std::strerror(e);
}

}  // namespace

LockStatus LockDescriptor(int fd, const std::string& shown, const LockSettings& settings, std::string& message) {
  bool told = false;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      message = "cannot lock " + shown + ": " + std::strerror(errno);
      return LockStatus::OpenFailed;
    }
    if (settings.NoWait) {
      message = shown + " is being written by another run; nothing written";
      return LockStatus::Busy;
    }
    if (!told && settings.OnWait) settings.OnWait(shown);
    told = true;
    if (CancelSet(settings)) {
      message = InterruptedWaiting(shown);
      return LockStatus::Interrupted;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return LockStatus::Locked;
}

LockStatus LockOutput(const std::string& path, bool readOnly, const LockSettings& settings, LockedOutput& out,
                      std::string& message) {
  out = LockedOutput{};
  const int access = readOnly ? O_RDONLY : O_RDWR;
  // Each pass ends with the path naming the file locked, or starts again
  // because another run replaced or removed it meanwhile: a few passes at
  // most, unless runs keep replacing it, which the cancel flag ends.
  for (int pass = 0;; ++pass) {
    if (pass > 0 && CancelSet(settings)) {
      message = InterruptedWaiting(path);
      return LockStatus::Interrupted;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      const int e = errno;
      struct stat link {};
      // Nothing there, or a file where a folder should be: a new output, which
      // says why it cannot be made.
      if ((e == ENOENT || e == ENOTDIR) && ::lstat(path.c_str(), &link) != 0 && errno == e)
        return LockStatus::Missing;
      // Made between the two looks: looked at again.
      if (e == ENOENT && ::lstat(path.c_str(), &link) == 0 && !S_ISLNK(link.st_mode) && pass < 100) continue;
      message = OpenFailure(path, e);
      return LockStatus::OpenFailed;
    }
    // Refused before opening: opening a FIFO could block.
    if (!S_ISREG(st.st_mode)) {
      message = "cannot write " + path + ": it is " + FileKindName(st.st_mode) + ", not a regular file";
      return LockStatus::NotRegular;
    }
    bool appendOnly = false;
    int fd = ::open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EPERM && !readOnly) {
      fd = ::open(path.c_str(), access | O_APPEND | O_NONBLOCK | O_CLOEXEC);
      appendOnly = fd >= 0;
    }
    if (fd < 0 && errno == ENOENT && pass < 100) continue;  // removed meanwhile
    if (fd < 0) {
      message = OpenFailure(path, errno);
      return LockStatus::OpenFailed;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      message = "cannot write " + path + ": it is " + FileKindName(st.st_mode) + ", not a regular file";
      ::close(fd);
      return LockStatus::NotRegular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    const LockStatus locked = LockDescriptor(fd, path, settings, message);
    if (locked != LockStatus::Locked) {
      ::close(fd);
      return locked;
    }
    // Still the file that the path names? The run that held the lock may
    // have replaced it or removed it.
    struct stat now {};
    struct stat held {};
    ::fstat(fd, &held);
    if (::stat(path.c_str(), &now) != 0 || now.st_dev != held.st_dev || now.st_ino != held.st_ino) {
      ::close(fd);
      continue;
    }
    out.Fd = fd;
    out.Size = held.st_size;
    out.Mode = held.st_mode;
    out.AppendOnly = appendOnly;
    return LockStatus::Locked;
  }
}
