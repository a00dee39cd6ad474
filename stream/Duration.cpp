#include <string>

#include "stream/FrameHeader.h"

namespace {

// Appends to the prefix rather than inserting it in front: GCC 12 at -O3 warns
// (-Wrestrict, a false positive) about the inlined insert of "0" + string.
std::string TwoDigits(std::int64_t v) {
  std::string text(v <= 9 ? "0" : "");
  text += std::to_string(v);
  return text;
}

}  // namespace

std::string FormatDuration(std::int64_t fileSize, std::int32_t bitRate) {
  if (fileSize < 0 || bitRate <= 0) fileSize = 0, bitRate = 1;
  // (size * 8) / 1000 is size / 125 exactly, and cannot overflow.
  const std::int64_t seconds = fileSize / 125 / bitRate;
  const std::int64_t minutes = seconds / 60;
  return TwoDigits(minutes / 60) + ":" + TwoDigits(minutes % 60) + "." + TwoDigits(seconds % 60);
}
