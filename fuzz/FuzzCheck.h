#pragma once

// A broken invariant ends the run with a message, so that libFuzzer keeps the
// input that broke it.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define FUZZ_CHECK(cond, ...)                                                             \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n  ", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                                                  \
      std::fprintf(stderr, "\n");                                                         \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

// A scratch folder for one fuzz process, in memory where possible, removed
// when the process ends.
inline std::filesystem::path MakeScratchDir(const char* name) {
  static std::filesystem::path dir;
  const char* tmp = std::getenv("TMPDIR");
  const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp != nullptr ? tmp : "/tmp");
  std::string pattern = std::string(base) + "/kerfwell-fuzz-" + name + "-XXXXXX";
  FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "mkdtemp in %s", base);
  dir = pattern;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  });
  return dir;
}
