#include "cli/JobArgument.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>

namespace {

constexpr std::int64_t kLastIndex = std::numeric_limits<std::int32_t>::max();

// A point, or two points (either may be left out) around a dash.
bool LooksLikeRange(const std::string& s) {
  StreamPoint p;
  std::string ignored;
  if (ParsePoint(s, p, ignored)) return true;
  const std::size_t dash = s.find('-');
  if (dash == std::string::npos || s.size() == 1) return false;
  const std::string start = s.substr(0, dash), stop = s.substr(dash + 1);
  return (start.empty() || ParsePoint(start, p, ignored)) && (stop.empty() || ParsePoint(stop, p, ignored) ||
                                                              stop.rfind("end", 0) == 0);
}

std::string Describe(const StreamPoint& p) {
  if (p.FromEnd) return "end-" + FormatTime(p.Nanoseconds);
  return p.IsTime ? FormatTime(p.Nanoseconds) : "frame " + std::to_string(p.Frame);
}

// "end", or "end-" and a time.
bool ParseStop(const std::string& text, StreamPoint& point, std::string& error) {
  if (text.rfind("end", 0) != 0) return ParsePoint(text, point, error);
  const bool bare = text == "end";
  if (!bare && (text.size() < 5 || text[3] != '-' || !ParsePoint(text.substr(4), point, error) || !point.IsTime)) {
    error = "bad stop \"" + text + "\": expected end-TIME, such as end-5s or end-0:01.5, or end";
    return false;
  }
  point.IsTime = true;
  point.FromEnd = true;
  if (bare) point.Nanoseconds = 0;
  return true;
}

}  // namespace

bool ParseJob(const std::string& arg, JobArgument& job, std::string& error) {
  job = JobArgument{};
  job.Path = arg;
  if (arg.empty()) {
    error = "empty path";
    return false;
  }
  struct stat st {};
  const bool exists = ::stat(arg.c_str(), &st) == 0;
  const std::size_t at = arg.rfind('@');
  if (at == std::string::npos) {
    // "0:10", "90" or "0:10-0:20" alone is a range whose '@' was forgotten,
    // not a file to pass over while the others are cut.
    if (!exists && LooksLikeRange(arg)) {
      error = "no such file, and a range needs its path: PATH@START-STOP (song.mp3@0:10-0:20)";
      return false;
    }
    return true;
  }

  const std::string range = arg.substr(at + 1);
  const std::size_t dash = range.find('-');
  const std::string start = dash == std::string::npos ? "" : range.substr(0, dash);
  const std::string stop = dash == std::string::npos ? "" : range.substr(dash + 1);
  std::string pointError;
  const bool isRange = dash != std::string::npos &&
                       (start.empty() || ParsePoint(start, job.Start, pointError)) &&
                       (stop.empty() || ParseStop(stop, job.Stop, pointError));
  if (!isRange) {
    if (exists) {
      job = JobArgument{};
      job.Path = arg;
      return true;
    }
    error = pointError.empty() ? "bad range \"" + range + "\": expected PATH@START-STOP" : pointError;
    return false;
  }
  if (at == 0) {
    error = "no path before \"@" + range + "\"";
    return false;
  }
  job.Path = arg.substr(0, at);
  job.WholeFile = false;
  job.HasStart = !start.empty();
  job.HasStop = !stop.empty();
  return !HoldsNothing(job, error);
}

bool HoldsNothing(const JobArgument& job, std::string& error) {
  if (!job.HasStop || job.Stop.FromEnd) return false;
  if (!job.HasStart && job.Stop.IsTime && job.Stop.Nanoseconds == 0) {
    error = "the range up to 0:00:00.000 holds nothing";
  } else if (job.HasStart && !job.Start.IsTime && !job.Stop.IsTime && job.Start.Frame > job.Stop.Frame) {
    error = "start frame " + std::to_string(job.Start.Frame) + " is after stop frame " +
            std::to_string(job.Stop.Frame);
  } else if (job.HasStart && job.Start.IsTime && job.Stop.IsTime && job.Start.Nanoseconds >= job.Stop.Nanoseconds) {
    error = "start " + Describe(job.Start) + " is not before stop " + Describe(job.Stop);
  }
  return !error.empty();
}

void ResolveFromEnd(JobArgument& job, std::int64_t end) {
  if (!job.HasStop || !job.Stop.FromEnd) return;
  job.Stop.FromEnd = false;
  job.Stop.Nanoseconds = std::max<std::int64_t>(end - job.Stop.Nanoseconds, 0);
}

bool ResolveRange(const JobArgument& job, const FrameClock& clock, std::int32_t& start, std::int32_t& stop,
                  std::string& error) {
  if (job.HasStop && job.Stop.FromEnd) {
    error = "the stop " + Describe(job.Stop) + " needs the file's length, which is not known";
    return false;
  }
  const std::int64_t first = job.HasStart ? StartFrameOf(clock, job.Start) : 0;
  const std::int64_t last = job.HasStop ? StopFrameOf(clock, job.Stop) : kLastIndex;
  if (first > last) {
    error = "the range " + (job.HasStart ? Describe(job.Start) : "frame 0") + " to " + Describe(job.Stop) +
            " holds no frame";
    return false;
  }
  start = static_cast<std::int32_t>(std::min(first, kLastIndex));
  stop = static_cast<std::int32_t>(std::min(last, kLastIndex));
  return true;
}
