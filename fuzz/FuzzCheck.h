#pragma once

// A broken invariant ends the run with a message, so that libFuzzer keeps the
// input that broke it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, ...)                                                             \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n  ", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                                                  \
      std::fprintf(stderr, "\n");                                                         \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)
