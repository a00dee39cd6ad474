#include "output/OutputLock.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "stream/InputFile.h"

namespace {

// Every missing folder on the folder part of `path`, outermost first. One
// that cannot be made is passed over but remembered: when creating the file
// then fails, that folder and mkdir's reason are what the user needs.
void CreateMissingFolders(const std::string& path, std::string& failedDir, int& failedErrno) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) continue;
    if (::mkdir(dir.c_str(), 0777) != 0 && failedDir.empty()) {
      failedDir = dir;
      failedErrno = errno;
    }
  }
}

// What a chain of symlinks ends in when its last link dangles: the file that
// writing through it creates. The path itself otherwise.
std::string DanglingTarget(const std::string& path) {
  std::string at = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(at.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0) return at;
    const std::string target(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = at.rfind('/');
    at = target[0] == '/' || slash == std::string::npos ? target : at.substr(0, slash + 1) + target;
  }
  return at;
}

}  // namespace

LockStatus LockOutput(const std::string& path, bool readOnly, const LockSettings& settings, LockedOutput& out,
                      std::string& message) {
  out = LockedOutput{};
  bool told = false;
  const int access = readOnly ? O_RDONLY : O_RDWR;
  for (;;) {
    int fd = -1;
    bool created = false;
    bool appendOnly = false;
    struct stat st {};
    std::string file = path;
    if (::stat(path.c_str(), &st) == 0) {
      // Refused before opening: opening a FIFO could block.
      if (!S_ISREG(st.st_mode)) {
        message = "cannot write " + path + ": it is " + FileKindName(st.st_mode) + ", not a regular file";
        return LockStatus::NotRegular;
      }
      fd = ::open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0 && errno == EPERM && !readOnly) {
        fd = ::open(path.c_str(), access | O_APPEND | O_NONBLOCK | O_CLOEXEC);
        appendOnly = fd >= 0;
      }
      if (fd < 0 && errno == ENOENT) continue;  // removed meanwhile
      if (fd < 0) {
        message = "cannot open " + path + " for writing: " + std::strerror(errno);
        return LockStatus::OpenFailed;
      }
    } else if (!settings.Create) {
      message = "cannot open " + path + ": " + std::strerror(errno);
      return LockStatus::OpenFailed;
    } else {
      // A dangling symlink names the new file.
      file = DanglingTarget(path);
      std::string failedDir;
      int failedErrno = 0;
      CreateMissingFolders(file, failedDir, failedErrno);
      fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST) continue;  // another run made it meanwhile
      if (fd < 0) {
        const int e = errno;
        message = !failedDir.empty() ? "cannot create " + path + ": cannot create folder " + failedDir + ": " +
                                           std::strerror(failedErrno)
                                     : "cannot create " + path + ": " + std::strerror(e);
        return LockStatus::CreateFailed;
      }
      created = true;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      message = "cannot write " + path + ": it is " + FileKindName(st.st_mode) + ", not a regular file";
      ::close(fd);
      return LockStatus::NotRegular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) {
        message = "cannot lock " + path + ": " + std::strerror(errno);
        ::close(fd);
        return LockStatus::OpenFailed;
      }
      if (settings.NoWait) {
        message = path + " is being written by another run; nothing written";
        ::close(fd);
        return LockStatus::Busy;
      }
      if (!told && settings.OnWait) settings.OnWait(path);
      told = true;
      if (settings.Cancel != nullptr && settings.Cancel->load()) {
        message = "interrupted while waiting for another run to finish writing " + path;
        ::close(fd);
        return LockStatus::Interrupted;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
    // Made by this run and still empty: another run that got the lock first
    // may have written into it.
    out.Created = created && held.st_size == 0;
    out.FilePath = file;
    out.Mode = held.st_mode;
    out.AppendOnly = appendOnly;
    return LockStatus::Locked;
  }
}
