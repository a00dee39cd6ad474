#pragma once

// What the hostile tests share: the cutter run as a child, and a small disk.

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace kerfwell_test {

inline std::string CutterBinary() {
  const char* fromEnv = std::getenv("KERFWELL_CUT");
  return fromEnv != nullptr ? fromEnv : std::string(KERFWELL_BINARY_DIR) + "/cli/kerfwell-cut";
}

// Starts `args` (the program first) with standard error going to `errPath`.
inline pid_t Spawn(const std::vector<std::string>& args, const std::string& errPath) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// A tmpfs of its own (root only), so that a test can run a disk full.
class SmallDisk {
 public:
  SmallDisk(const std::string& at, const char* size = "1m") : at_(at) {
    ::mkdir(at.c_str(), 0700);
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount(at_.c_str());
  }
  bool Mounted() const { return mounted_; }
  long long FreeBytes() const {
    struct statvfs v {};
    return ::statvfs(at_.c_str(), &v) == 0 ? static_cast<long long>(v.f_bavail) * static_cast<long long>(v.f_frsize)
                                           : -1;
  }

 private:
  std::string at_;
  bool mounted_ = false;
};

}  // namespace kerfwell_test
