#pragma once

#include <sys/types.h>

#include <string>

// What a path names, so that two spellings of one file can be told apart from
// two files: the device and inode when it exists, and in any case its
// absolute path with the directory part resolved (symlinks, "..", ".").
struct PathIdentity {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  std::string Normalised;
};

PathIdentity IdentifyPath(const std::string& path);
// What an open descriptor is (standard output redirected to a file): its
// device and inode, no path.
PathIdentity IdentifyDescriptor(int fd);
// The file an input source opened: the identity it had when it was opened,
// whatever its path names now. No path: a file that is open exists.
PathIdentity IdentifySource(const class SourceFile& source);

// True when both name the same file, or the same place for a file that does
// not exist (yet, or any more).
bool SamePlace(const PathIdentity& a, const PathIdentity& b);
