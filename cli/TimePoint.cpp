#include "cli/TimePoint.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
// Ten thousand hours: far beyond any file, and no product below overflows.
constexpr std::int64_t kLongestTime = 36'000'000 * kSecond;

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Digits that fit, as a number.
bool Number(const std::string& s, std::int64_t& value) {
  if (!AllDigits(s) || s.size() > 12) return false;
  value = 0;
  for (char c : s) value = value * 10 + (c - '0');
  return true;
}

// "S" or "S.fff" (up to nine decimals) as nanoseconds.
bool Seconds(const std::string& s, std::int64_t& ns) {
  const std::size_t dot = s.find('.');
  std::int64_t whole = 0;
  if (!Number(s.substr(0, dot), whole)) return false;
  std::int64_t fraction = 0;
  if (dot != std::string::npos) {
    const std::string f = s.substr(dot + 1);
    if (f.size() > 9 || !Number(f, fraction)) return false;
    for (std::size_t i = f.size(); i < 9; ++i) fraction *= 10;
  }
  if (whole > kLongestTime / kSecond) return false;
  ns = whole * kSecond + fraction;
  return true;
}

std::vector<std::string> SplitColons(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t colon; (colon = s.find(':', from)) != std::string::npos; from = colon + 1)
    parts.push_back(s.substr(from, colon - from));
  parts.push_back(s.substr(from));
  return parts;
}

bool ParseClock(const std::string& text, std::int64_t& ns) {
  const std::vector<std::string> parts = SplitColons(text);
  if (parts.size() > 3) return false;
  std::int64_t seconds = 0;
  const std::string& last = parts.back();
  // Seconds and minutes after a colon are two digits at most and below 60.
  if (last.empty() || std::min(last.find('.'), last.size()) > 2 || !Seconds(last, seconds) ||
      seconds >= 60 * kSecond)
    return false;
  std::int64_t minutes = 0, hours = 0;
  const std::string& m = parts[parts.size() - 2];
  if (!Number(m, minutes)) return false;
  if (parts.size() == 3) {
    if (m.size() > 2 || minutes >= 60 || !Number(parts[0], hours)) return false;
  }
  const std::int64_t total = (hours * 60 + minutes) * 60;
  if (hours > kLongestTime / kSecond || total > kLongestTime / kSecond) return false;
  ns = total * kSecond + seconds;
  return ns <= kLongestTime;
}

// The frames that play before the instant, rounded down or up, in 64 bits:
// the whole seconds and the rest are taken apart so that no product overflows.
std::int64_t FramesBefore(const FrameClock& clock, std::int64_t nanoseconds, bool roundUp) {
  const std::int64_t samples = nanoseconds / kSecond * clock.SampleRate + clock.DecoderOffset;
  const std::int64_t rest = nanoseconds % kSecond * clock.SampleRate;  // samples, scaled by 1e9
  const std::int64_t whole = samples / clock.SamplesPerFrame;
  const std::int64_t part = samples % clock.SamplesPerFrame * kSecond + rest;
  const std::int64_t unit = std::int64_t{clock.SamplesPerFrame} * kSecond;
  return whole + part / unit + (roundUp && part % unit != 0 ? 1 : 0);
}

}  // namespace

bool ParsePoint(const std::string& text, StreamPoint& point, std::string& error) {
  point = StreamPoint{};
  bool ok = false;
  const std::string body = text.size() > 1 && (text.back() == 'f' || text.back() == 's')
                               ? text.substr(0, text.size() - 1)
                               : text;
  if (text.size() > 1 && text.back() == 'f') {
    std::int64_t v = 0;
    ok = Number(body, v) && v <= std::numeric_limits<std::int32_t>::max();
    point.Frame = v;
  } else if (text.find(':') != std::string::npos) {
    ok = ParseClock(text, point.Nanoseconds);
    point.IsTime = true;
  } else {
    // A bare number is seconds, as players and editors read it.
    ok = Seconds(body, point.Nanoseconds) && point.Nanoseconds <= kLongestTime;
    point.IsTime = true;
  }
  if (!ok) {
    error = "bad point \"" + text +
            "\": expected seconds (90, 90.25), [[H:]M:]S[.fff] (1:30, 0:01:30.250) "
            "or a frame index with an f (0f to 2147483647f)";
  }
  return ok;
}

std::int64_t FrameAt(const FrameClock& clock, std::int64_t nanoseconds) {
  return clock.FirstAudioFrame + FramesBefore(clock, nanoseconds, false);
}

std::int64_t LastFrameBefore(const FrameClock& clock, std::int64_t nanoseconds) {
  return clock.FirstAudioFrame + FramesBefore(clock, nanoseconds, true) - 1;
}

std::int64_t StartFrameOf(const FrameClock& clock, const StreamPoint& point) {
  return point.IsTime ? FrameAt(clock, point.Nanoseconds) : point.Frame;
}

std::int64_t StopFrameOf(const FrameClock& clock, const StreamPoint& point) {
  return point.IsTime ? LastFrameBefore(clock, point.Nanoseconds) : point.Frame;
}

std::int64_t FrameStart(const FrameClock& clock, std::int64_t frame) {
  const std::int64_t audio = frame > clock.FirstAudioFrame ? frame - clock.FirstAudioFrame : 0;
  return SamplesTime(clock.SampleRate, std::max<std::int64_t>(0, audio * clock.SamplesPerFrame - clock.DecoderOffset));
}

std::int64_t SampleAt(std::int32_t sampleRate, std::int64_t nanoseconds) {
  const std::int64_t rest = nanoseconds % kSecond * sampleRate;
  return nanoseconds / kSecond * sampleRate + rest / kSecond + (rest % kSecond != 0 ? 1 : 0);
}

std::int64_t SamplesTime(std::int32_t sampleRate, std::int64_t samples) {
  return samples / sampleRate * kSecond + samples % sampleRate * kSecond / sampleRate;
}

std::string FormatTime(std::int64_t nanoseconds) {
  const std::int64_t ms = nanoseconds / 1'000'000;
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3'600'000),
                static_cast<long long>(ms / 60'000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return text;
}
