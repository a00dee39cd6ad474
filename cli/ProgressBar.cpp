#include "cli/ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

ProgressBar::ProgressBar(bool quiet) : enabled_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { Clear(); }

void ProgressBar::Start(const std::string& label) {
  label_ = label;
  percent_ = -1;
  Show(0, 1);
}

void ProgressBar::Show(std::int64_t done, std::int64_t total) {
  if (!enabled_) return;
  const int percent =
      total <= 0 ? 100 : static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
  if (percent == percent_) return;
  percent_ = percent;
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r[%s%s] %3d%% %s\x1b[K", std::string(filled, '#').c_str(),
               std::string(kWidth - filled, ' ').c_str(), percent, label_.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!enabled_ || !drawn_) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
  percent_ = -1;
}
