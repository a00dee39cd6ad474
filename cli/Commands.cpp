#include "cli/Commands.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "cli/JobArgument.h"
#include "cli/ProgressBar.h"
#include "stream/FrameHeader.h"
#include "stream/Scanner.h"

namespace {

void Complain(const std::string& message) { std::fprintf(stderr, "kerfwell-cut: %s\n", message.c_str()); }

// Probes like the window does before it counts or cuts a file. On false the
// reason has been printed: the file could not be read, or it holds no valid
// header in its first 2 MiB.
bool Probe(const std::string& path, FrameHeader& reference) {
  std::string error;
  if (ProbeFile(path, reference, error)) return true;
  if (!error.empty()) {
    Complain(error);
  } else {
    std::fprintf(stderr, "kerfwell-cut: %s: Is Something Strange With This File !\n", path.c_str());
  }
  return false;
}

// The count a newly added job gets: frames 0 to 100 of a counting pass.
bool Count(const std::string& path, const FrameHeader& reference, std::int32_t& count) {
  const ScanResult r = ScanFrames(path, "", 0, 100, true, reference);
  if (!r.Ok()) {
    Complain(r.Message);
    return false;
  }
  count = r.Count;
  return true;
}

bool SameFile(const struct stat& a, const std::string& path) {
  struct stat b {};
  return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

int RunInfo(const std::string& path) {
  FrameHeader reference;
  if (!Probe(path, reference)) return kExitFailed;
  std::int32_t frames = 0;
  if (!Count(path, reference, frames)) return kExitFailed;
  const StreamInfoTexts t = DescribeHeader(reference);
  std::printf(
      "Version: %s\nLayer: %s\nBitRate: %s\nSampleRate: %s\nMode: %s\nCopyrighted: %s\nOriginal: %s\n",
      t.Version.c_str(), t.Layer.c_str(), t.BitRate.c_str(), t.SampleRate.c_str(), t.Mode.c_str(),
      t.Copyright.c_str(), t.Original.c_str());
  std::printf("Frames: %d\nDuration: %s\nFirstFrame: %lld\n", frames,
              FormatDuration(reference.FileSize, HeaderBitRate(reference)).c_str(),
              static_cast<long long>(reference.Position));
  return kExitOk;
}

int RunCount(const std::string& path) {
  FrameHeader reference;
  if (!Probe(path, reference)) return kExitFailed;
  std::int32_t frames = 0;
  if (!Count(path, reference, frames)) return kExitFailed;
  std::printf("%d\n", frames);
  return kExitOk;
}

int RunCut(const std::string& output, const std::vector<std::string>& jobs) {
  // An output that is one of the inputs would be read while it grows.
  struct stat out {};
  if (::stat(output.c_str(), &out) == 0) {
    for (const std::string& arg : jobs) {
      JobArgument job;
      std::string ignored;
      if (ParseJob(arg, job, ignored) && SameFile(out, job.Path)) {
        Complain(output + ": the output is also an input (" + arg + "); nothing written");
        return kExitFailed;
      }
    }
  }

  ProgressBar bar;
  std::vector<std::string> passedOver;
  bool outputFailed = false;
  for (std::size_t n = 0; n < jobs.size(); ++n) {
    const std::string& arg = jobs[n];
    const std::string label = "job " + std::to_string(n + 1) + " of " + std::to_string(jobs.size());
    if (outputFailed) {
      passedOver.push_back(label + ": " + arg);
      continue;
    }
    JobArgument job;
    std::string error;
    FrameHeader reference;
    if (!ParseJob(arg, job, error)) {
      Complain(arg + ": " + error);
      passedOver.push_back(label + ": " + arg);
      continue;
    }
    if (!Probe(job.Path, reference)) {
      passedOver.push_back(label + ": " + arg);
      continue;
    }
    // A whole-file job runs to the file's count; any stop at or past the last
    // frame copies the same frames, so one pass does. Its bar follows the
    // estimate from the file size.
    const std::int64_t barTotal =
        job.WholeFile ? reference.FrameEstimate : std::int64_t{job.Stop} - job.Start;
    bar.Start(label + " " + job.Path);
    const ScanResult r =
        ScanFrames(job.Path, output, job.Start, job.Stop, false, reference,
                   [&bar, barTotal](std::int32_t done, std::int32_t) { bar.Show(done + 1, barTotal); });
    bar.Clear();
    if (r.Ok()) continue;
    Complain(r.Message);
    passedOver.push_back(label + ": " + arg);
    if (r.Status == ScanStatus::OutputCreateFailed || r.Status == ScanStatus::OutputOpenFailed ||
        r.Status == ScanStatus::WriteFailed) {
      outputFailed = true;  // later jobs would leave a gap in the output
    }
  }
  for (const std::string& p : passedOver) Complain("passed over " + p);
  return passedOver.empty() ? kExitOk : kExitFailed;
}
