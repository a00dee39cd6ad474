#include "loudness/GainSink.h"

#include <algorithm>
#include <cstring>

#include "loudness/GlobalGain.h"
#include "stream/FrameHeader.h"
#include "stream/XingFrame.h"

std::int32_t GainPlan::StepsAt(std::int64_t g) const {
  std::int32_t steps = Steps;
  // Linear in decibels: the fade is heard as an even rise or fall.
  if (FadeInGranules > 0 && g < FadeInGranules)
    steps -= static_cast<std::int32_t>((FadeSteps * (FadeInGranules - g) + FadeInGranules - 1) / FadeInGranules);
  if (FadeOutGranules > 0 && TotalGranules >= 0) {
    const std::int64_t fromEnd = TotalGranules - 1 - g;
    if (fromEnd < FadeOutGranules)
      steps -= static_cast<std::int32_t>((FadeSteps * (FadeOutGranules - fromEnd) + FadeOutGranules - 1) /
                                         FadeOutGranules);
  }
  return steps;
}

bool GainSink::Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
                     std::string& message) {
  if (!plan_.Changes()) return next_.Write(data, length, firstIndex, written, message);
  buffer_.assign(data, data + length);
  for (std::size_t at = 0; at + 4 <= length;) {
    std::uint8_t* frame = buffer_.data() + at;
    FrameHeader h;
    DecodeFrameHeader(frame[0], frame[1], frame[2], frame[3] == 0 ? 1 : frame[3], 0, 0, h);
    if (h.Invalid || h.FrameLength <= 0 || at + static_cast<std::size_t>(h.FrameLength) > length) break;
    const std::size_t n = static_cast<std::size_t>(h.FrameLength);
    GainFields fields;
    if (FindGainFields(frame, n, fields) && TagFrameKindOf(frame, n) == TagFrameKind::None) {
      const std::int32_t steps[2] = {plan_.StepsAt(granule_),
                                     plan_.StepsAt(granule_ + (fields.Granules > 1 ? 1 : 0))};
      clamped_ += ShiftGains(frame, fields, steps);
      granule_ += fields.Granules;
    }
    at += n;
  }
  return next_.Write(buffer_.data(), length, firstIndex, written, message);
}
