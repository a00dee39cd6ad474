#include <string>

#include "stream/FrameHeader.h"

namespace {

std::string TwoDigits(std::int64_t v) { return (v <= 9 ? "0" : "") + std::to_string(v); }

}  // namespace

std::string FormatDuration(std::int64_t fileSize, std::int32_t bitRate) {
  if (fileSize < 0 || bitRate <= 0) fileSize = 0, bitRate = 1;
  // (size * 8) / 1000 is size / 125 exactly, and cannot overflow.
  const std::int64_t seconds = fileSize / 125 / bitRate;
  const std::int64_t minutes = seconds / 60;
  return TwoDigits(minutes / 60) + ":" + TwoDigits(minutes % 60) + "." + TwoDigits(seconds % 60);
}
