#include "cli/OutputTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "stream/InputFile.h"

bool PrepareOutput(const std::string& output, bool overwrite, OutputTarget& target, std::string& error) {
  target = OutputTarget{};
  if (output == "-") {
    if (::isatty(STDOUT_FILENO) == 1) {
      error = "standard output is a terminal; redirect it or name an output file";
      return false;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/kerfwell-cut-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
      error = "cannot create a temporary file in " + name.substr(0, name.rfind('/')) + ": " +
              std::strerror(errno);
      return false;
    }
    ::close(fd);
    target.Path = name;
    target.Shown = "standard output";
    target.ToStdout = true;
    target.WasEmpty = true;
    return true;
  }
  target.Path = output;
  target.Shown = output;
  struct stat st {};
  if (::lstat(output.c_str(), &st) != 0) {
    target.WasEmpty = true;
    return true;
  }
  target.Existed = true;
  if (::stat(output.c_str(), &st) != 0) return true;  // a dangling symlink: the engine creates its target
  // Refused before any job runs; opening a FIFO could block or say no more
  // than "no such device".
  if (!S_ISREG(st.st_mode)) {
    error = "cannot write " + output + ": it is " +
            (S_ISDIR(st.st_mode) ? std::string("a directory") : FileKindName(st.st_mode)) +
            ", not a regular file";
    return false;
  }
  if (overwrite && st.st_size > 0 && ::truncate(output.c_str(), 0) != 0) {
    error = "cannot overwrite " + output + ": " + std::strerror(errno);
    return false;
  }
  target.WasEmpty = overwrite || st.st_size == 0;
  return true;
}

bool DeliverOutput(const OutputTarget& target, std::string& error) {
  if (!target.ToStdout) return true;
  const int in = ::open(target.Path.c_str(), O_RDONLY | O_CLOEXEC);
  // Gone from the directory before copying, so that a reader that quits
  // early (and the SIGPIPE that follows) leaves nothing behind.
  ::unlink(target.Path.c_str());
  if (in < 0) {
    error = "cannot read " + target.Path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) error = "cannot read " + target.Path + ": " + std::strerror(errno);
      ok = got == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < got;) {
      const ssize_t n = ::write(STDOUT_FILENO, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = "cannot write standard output: " + std::string(std::strerror(n < 0 ? errno : EIO));
        ok = false;
      } else {
        done += n;
      }
    }
    if (!ok) break;
  }
  ::close(in);
  return ok;
}

void DiscardOutput(const OutputTarget& target) {
  if (target.ToStdout) ::unlink(target.Path.c_str());
}

void RemoveIfCreated(const OutputTarget& target) {
  struct stat st {};
  if (!target.Existed && !target.ToStdout && ::lstat(target.Path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    ::unlink(target.Path.c_str());
}
