#include "cli/JobArgument.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool ParseIndex(const std::string& text, std::int32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

}  // namespace

bool ParseJob(const std::string& arg, JobArgument& job, std::string& error) {
  job = JobArgument{};
  job.Path = arg;
  const std::size_t at = arg.rfind('@');
  if (arg.empty()) {
    error = "empty path";
    return false;
  }
  if (at == std::string::npos) return true;

  const std::string range = arg.substr(at + 1);
  const std::size_t dash = range.find('-');
  std::int32_t start = 0, stop = 0;
  const bool isRange = dash != std::string::npos && ParseIndex(range.substr(0, dash), start) &&
                       ParseIndex(range.substr(dash + 1), stop);
  if (!isRange) {
    struct stat st {};
    if (::stat(arg.c_str(), &st) == 0) return true;
    error = "bad frame range \"" + range + "\": expected PATH@START-STOP with frame indexes 0 to 2147483647";
    return false;
  }
  if (at == 0) {
    error = "no path before \"@" + range + "\"";
    return false;
  }
  if (start > stop) {
    error = "start frame " + std::to_string(start) + " is after stop frame " + std::to_string(stop);
    return false;
  }
  job.Path = arg.substr(0, at);
  job.WholeFile = false;
  job.Start = start;
  job.Stop = stop;
  return true;
}
