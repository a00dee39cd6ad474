#pragma once

// The 5-track test album of make-album.sh, made once per test program in a
// temporary folder, and a shell for the decoders that judge results.

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace albumtest {

inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int s = ::pclose(p);
  if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return out;
}

inline std::string TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-album-XXXXXX").string();
  return ::mkdtemp(tmpl.data());
}

// INDEX 01 of the album's tracks, in seconds, and its length.
constexpr double kTrackStarts[] = {0, 5, 11, 16.4, 23.4};
constexpr double kAlbumSeconds = 30;

// Makes the album in `dir`; false when sox or lame failed.
inline bool MakeAlbum(const std::string& dir) {
  int status = -1;
  Shell(std::string("'") + KERFWELL_SOURCE_DIR + "/tests/album/make-album.sh' '" + dir + "' 2>&1", &status);
  return status == 0;
}

}  // namespace albumtest
