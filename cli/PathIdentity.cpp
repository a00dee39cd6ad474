#include "cli/PathIdentity.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "stream/SourceFile.h"

namespace {

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

// ".", ".." and doubled slashes taken out by the text alone, for a directory
// that does not exist.
std::string Lexical(const std::string& absolute) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  while (from <= absolute.size()) {
    std::size_t slash = absolute.find('/', from);
    if (slash == std::string::npos) slash = absolute.size();
    const std::string part = absolute.substr(from, slash - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = slash + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

std::string Resolved(const std::string& path, int depth = 0) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) != nullptr) return buffer;
  std::string absolute = Lexical(Absolute(path));
  // A dangling symlink: writing through it creates its target.
  const ssize_t n = ::readlink(absolute.c_str(), buffer, sizeof buffer - 1);
  if (n > 0 && depth < 40) {
    const std::string target(buffer, static_cast<std::size_t>(n));
    const std::string dir = absolute.substr(0, absolute.rfind('/') + 1);
    return Resolved(target[0] == '/' ? target : dir + target, depth + 1);
  }
  const std::size_t slash = absolute.rfind('/');
  if (slash == 0 || slash == std::string::npos) return absolute;
  const std::string base = absolute.substr(slash + 1);
  return Resolved(absolute.substr(0, slash), depth + 1) + "/" + base;
}

}  // namespace

PathIdentity IdentifyPath(const std::string& path) {
  PathIdentity id;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    id.Exists = true;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
  }
  id.Normalised = Resolved(path);
  return id;
}

PathIdentity IdentifyDescriptor(int fd) {
  PathIdentity id;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    id.Exists = true;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
  }
  return id;
}

PathIdentity IdentifySource(const SourceFile& source) {
  if (!source.IsOpen()) return IdentifyPath(source.Path());
  PathIdentity id;
  id.Exists = true;
  id.Device = source.Device();
  id.Inode = source.Inode();
  return id;
}

bool SamePlace(const PathIdentity& a, const PathIdentity& b) {
  if (a.Exists && b.Exists) return a.Device == b.Device && a.Inode == b.Inode;
  return a.Normalised == b.Normalised;
}
