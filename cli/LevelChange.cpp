#include "cli/LevelChange.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "cli/Options.h"

namespace {

bool ParseDb(std::string text, double& db) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (text.size() >= 2 && (text.substr(text.size() - 2) == "dB" || text.substr(text.size() - 2) == "db" ||
                           text.substr(text.size() - 2) == "DB")) {
    text.resize(text.size() - 2);
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  if (text.empty()) return false;
  char* end = nullptr;
  db = std::strtod(text.c_str(), &end);
  return end != nullptr && *end == '\0' && std::isfinite(db);
}

bool ParseDuration(const std::string& text, const char* option, StreamPoint& point, std::string& error) {
  std::string why;
  // A fade-out is held back in memory until the end is known: 30 seconds
  // keep a run's memory within its few megabytes.
  constexpr std::int64_t kLongestFade = 30'000'000'000;
  if (!ParsePoint(text, point, why) || (point.IsTime ? point.Nanoseconds : point.Frame) <= 0 ||
      (point.IsTime ? point.Nanoseconds > kLongestFade : point.Frame > 1200)) {
    error = std::string(option) + " " + text +
            ": expected a length above 0 and up to 30 seconds: seconds (2, 1.5s), [M:]S (0:02) or frames (80f)";
    return false;
  }
  return true;
}

}  // namespace

bool ParseLevelChange(const Options& options, LevelChange& change, std::string& error) {
  change = LevelChange{};
  if (options.HaveGain) {
    // A step is 1.5 dB: -96 dB and more is far below anything heard.
    if (!ParseDb(options.Gain, change.Db) || std::fabs(change.Db) > 96) {
      error = "--gain " + options.Gain + ": expected decibels from -96 to 96 (-6, -6dB, +3dB)";
      return false;
    }
    change.Steps = static_cast<std::int32_t>(std::lround(change.Db / 1.5));
  }
  change.HasFadeIn = options.HaveFadeIn;
  change.HasFadeOut = options.HaveFadeOut;
  return (!change.HasFadeIn || ParseDuration(options.FadeIn, "--fade-in", change.FadeIn, error)) &&
         (!change.HasFadeOut || ParseDuration(options.FadeOut, "--fade-out", change.FadeOut, error));
}

GainPlan PlanLevel(const LevelChange& change, const FrameHeader& reference) {
  const std::int64_t rate = HeaderSampleRate(reference);
  // MPEG-1 Layer III frames hold two granules of 576 samples, MPEG-2 one.
  const std::int64_t granulesPerFrame = reference.VersionId == 3 ? 2 : 1;
  auto granules = [&](const StreamPoint& p) -> std::int64_t {
    if (!p.IsTime) return p.Frame * granulesPerFrame;
    const long double samples = static_cast<long double>(p.Nanoseconds) * rate / 1e9L;
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(samples / 576)));
  };
  GainPlan plan;
  plan.Steps = change.Steps;
  if (change.HasFadeIn) plan.FadeInGranules = granules(change.FadeIn);
  if (change.HasFadeOut) plan.FadeOutGranules = granules(change.FadeOut);
  return plan;
}
