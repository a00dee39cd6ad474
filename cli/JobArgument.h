#pragma once

#include <cstdint>
#include <string>

#include "cli/TimePoint.h"

// One JOB argument of `cut`: PATH, or PATH@START-STOP where START and STOP are
// times (a bare number is seconds) or frame indexes written with an 'f' (both
// included), and either may be left out. STOP may also count back from the
// end: "end-5", "end-0:01.5", "end". The last '@' splits.
struct JobArgument {
  std::string Path;
  bool WholeFile = true;  // frames 0 to the file's count, as a newly added job
  bool HasStart = false;  // else from the first frame
  bool HasStop = false;   // else to the last frame
  StreamPoint Start;
  StreamPoint Stop;
};

// False, with `error` saying what is wrong, for a malformed range, a range
// that holds nothing as written, or an argument without '@' that names no
// file and reads as a range (its '@' forgotten: "0:10"): each a usage error. A path that
// holds an '@' but no range is taken whole when a file of that name exists.
bool ParseJob(const std::string& arg, JobArgument& job, std::string& error);

// Whether the range holds nothing whatever the file (a stop at 0:00, a start
// after the stop when both are of one kind), with `error` saying why. Ranges
// of both kinds, and stops from the end, need the file's clock: ResolveRange.
bool HoldsNothing(const JobArgument& job, std::string& error);

// A STOP of the form "end-TIME" or "end" as a time from the start, for audio
// that ends at `end` nanoseconds on the player's clock; nothing changes for
// other stops.
void ResolveFromEnd(JobArgument& job, std::int64_t end);

// The job's inclusive frame range in a stream of that clock. False, with
// `error` set, when the range holds no frame.
bool ResolveRange(const JobArgument& job, const FrameClock& clock, std::int32_t& start, std::int32_t& stop,
                  std::string& error);
