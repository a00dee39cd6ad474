#include "loudness/GainSink.h"

#include <algorithm>
#include <cstring>

#include "loudness/GlobalGain.h"
#include "stream/FrameHeader.h"
#include "stream/XingFrame.h"

namespace {

// Linear in decibels: the fade is heard as an even rise or fall.
std::int32_t Ramp(std::int32_t steps, std::int64_t left, std::int64_t length) {
  return static_cast<std::int32_t>((steps * left + length - 1) / length);
}

}  // namespace

std::int32_t GainPlan::StepsAt(std::int64_t g) const {
  std::int32_t steps = Steps;
  if (FadeInGranules > 0 && g < FadeInGranules) steps -= Ramp(FadeSteps, FadeInGranules - g, FadeInGranules);
  return steps;
}

std::int32_t GainPlan::FadeOutAt(std::int64_t fromEnd) const {
  if (FadeOutGranules <= 0 || fromEnd >= FadeOutGranules) return 0;
  return -Ramp(FadeSteps, FadeOutGranules - fromEnd, FadeOutGranules);
}

bool GainSink::Pass(std::vector<std::uint8_t>& bytes, std::string& message) {
  std::size_t written = 0;
  return next_.Write(bytes.data(), bytes.size(), 0, written, message);
}

bool GainSink::Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
                     std::string& message) {
  if (!plan_.Changes()) return next_.Write(data, length, firstIndex, written, message);
  buffer_.assign(data, data + length);
  std::size_t at = 0;
  std::vector<std::uint8_t> out;
  while (at + 4 <= length) {
    std::uint8_t* frame = buffer_.data() + at;
    FrameHeader h;
    DecodeFrameHeader(frame[0], frame[1], frame[2], frame[3] == 0 ? 1 : frame[3], 0, 0, h);
    if (h.Invalid || h.FrameLength <= 0 || at + static_cast<std::size_t>(h.FrameLength) > length) break;
    const std::size_t n = static_cast<std::size_t>(h.FrameLength);
    GainFields fields;
    std::int32_t granules = 0;
    if (FindGainFields(frame, n, fields) && TagFrameKindOf(frame, n) == TagFrameKind::None) {
      const std::int32_t steps[2] = {plan_.StepsAt(granule_), plan_.StepsAt(granule_ + (fields.Granules > 1))};
      clamped_ += ShiftGains(frame, fields, steps);
      granules = fields.Granules;
    }
    if (plan_.FadeOutGranules > 0) {
      held_.push_back({std::vector<std::uint8_t>(frame, frame + n), granule_, granules});
      heldGranules_ += granules;
      // What lies before the last fade's worth cannot be in the fade.
      while (!held_.empty() && heldGranules_ - held_.front().Granules >= plan_.FadeOutGranules) {
        out.insert(out.end(), held_.front().Bytes.begin(), held_.front().Bytes.end());
        heldGranules_ -= held_.front().Granules;
        held_.pop_front();
      }
    } else {
      out.insert(out.end(), frame, frame + n);
    }
    granule_ += granules;
    at += n;
  }
  // Bytes after the last whole frame (none in a scan's runs) go on as they are.
  if (at < length) out.insert(out.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(at), buffer_.end());
  written = length;
  return out.empty() || Pass(out, message);
}

bool GainSink::EndFade(std::string& message) {
  std::vector<std::uint8_t> out;
  for (Held& f : held_) {
    GainFields fields;
    if (f.Granules > 0 && FindGainFields(f.Bytes.data(), f.Bytes.size(), fields)) {
      const std::int64_t last = granule_ - 1;
      const std::int32_t steps[2] = {plan_.FadeOutAt(last - f.Granule), plan_.FadeOutAt(last - f.Granule - 1)};
      clamped_ += ShiftGains(f.Bytes.data(), fields, steps);
    }
    out.insert(out.end(), f.Bytes.begin(), f.Bytes.end());
  }
  held_.clear();
  heldGranules_ = 0;
  return out.empty() || Pass(out, message);
}
