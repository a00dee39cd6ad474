#include "gapless/Reservoir.h"

int ReservoirTracker::Add(std::int32_t capacity, std::int32_t mainDataBegin) {
  int back = 0;
  std::int32_t need = mainDataBegin;
  for (; need > 0; ++back) {
    if (back >= count_ || back >= kKept) {
      back = -1;
      break;
    }
    const std::int64_t k = count_ - 1 - back;
    need -= capacities_[static_cast<std::size_t>(k % kKept)];
  }
  capacities_[static_cast<std::size_t>(count_ % kKept)] = capacity;
  ++count_;
  return back;
}
