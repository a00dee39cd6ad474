#include "cli/JobArgument.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>

namespace {

constexpr std::int64_t kLastIndex = std::numeric_limits<std::int32_t>::max();

// A time has a colon or ends in 's' after a digit.
bool LooksLikeTime(const std::string& s) {
  return s.find(':') != std::string::npos ||
         (s.size() >= 2 && s.back() == 's' && s[s.size() - 2] >= '0' && s[s.size() - 2] <= '9');
}

std::string Describe(const StreamPoint& p) {
  return p.IsTime ? FormatTime(p.Nanoseconds) : "frame " + std::to_string(p.Frame);
}

}  // namespace

bool ParseJob(const std::string& arg, JobArgument& job, std::string& error) {
  job = JobArgument{};
  job.Path = arg;
  if (arg.empty()) {
    error = "empty path";
    return false;
  }
  const std::size_t at = arg.rfind('@');
  if (at == std::string::npos) return true;

  const std::string range = arg.substr(at + 1);
  const std::size_t dash = range.find('-');
  const std::string start = dash == std::string::npos ? "" : range.substr(0, dash);
  const std::string stop = dash == std::string::npos ? "" : range.substr(dash + 1);
  std::string pointError;
  const bool isRange = dash != std::string::npos &&
                       (start.empty() || ParsePoint(start, job.Start, pointError)) &&
                       (stop.empty() || ParsePoint(stop, job.Stop, pointError));
  if (!isRange) {
    struct stat st {};
    if (::stat(arg.c_str(), &st) == 0) {
      job = JobArgument{};
      job.Path = arg;
      return true;
    }
    error = pointError.empty() ? "bad range \"" + range + "\": expected PATH@START-STOP" : pointError;
    job.MalformedTime =
        LooksLikeTime(start) || LooksLikeTime(stop) || (dash == std::string::npos && LooksLikeTime(range));
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
  if (job.HasStart && job.HasStop && !job.Start.IsTime && !job.Stop.IsTime &&
      job.Start.Frame > job.Stop.Frame) {
    error = "start frame " + std::to_string(job.Start.Frame) + " is after stop frame " +
            std::to_string(job.Stop.Frame);
    return false;
  }
  if (job.HasStart && job.HasStop && job.Start.IsTime && job.Stop.IsTime &&
      job.Start.Nanoseconds >= job.Stop.Nanoseconds) {
    error = "start " + Describe(job.Start) + " is not before stop " + Describe(job.Stop);
    return false;
  }
  return true;
}

bool ResolveRange(const JobArgument& job, const FrameClock& clock, std::int32_t& start, std::int32_t& stop,
                  std::string& error) {
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
