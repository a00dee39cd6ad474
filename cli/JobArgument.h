#pragma once

#include <cstdint>
#include <limits>
#include <string>

// One JOB argument of `cut`: PATH, or PATH@START-STOP with inclusive frame
// indexes. The last '@' splits.
struct JobArgument {
  std::string Path;
  bool WholeFile = true;  // frames 0 to the file's count, as a newly added job
  std::int32_t Start = 0;
  std::int32_t Stop = std::numeric_limits<std::int32_t>::max();
};

// False for a malformed range, with `error` saying what is wrong. A path that
// holds an '@' but no range is taken whole when a file of that name exists.
bool ParseJob(const std::string& arg, JobArgument& job, std::string& error);
