#include "cli/Messages.h"

#include <cstdio>

#include "cli/Commands.h"

void Complain(const std::string& message) { std::fprintf(stderr, "kerfwell-cut: %s\n", message.c_str()); }

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kerfwell-cut: %s\nTry 'kerfwell-cut --help'.\n", message.c_str());
  return kExitUsage;
}
