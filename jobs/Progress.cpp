// The two progress bars under the grid.

#include <algorithm>

#include "app/_MainUnit.h"

namespace {

// Sets a bar's width and caption from (done, total). A bar is only repainted
// when what it shows changes, so a job of a million frames costs a few hundred
// paints, not a million. A total of 0 (a job of one frame) shows a full bar.
void SetBar(TPanel* outer, TPanel* bar, std::int32_t done, std::int32_t total) {
  std::int64_t width = 0;
  std::int64_t percent = 100;
  if (total != 0) {
    width = static_cast<std::int64_t>(outer->width()) * done / total - 2;
    percent = static_cast<std::int64_t>(done) * 100 / total;
  } else {
    width = outer->width() - 2;
  }
  const int shown = static_cast<int>(std::clamp<std::int64_t>(width, 0, outer->width()));
  const QString caption = QStringLiteral("%1 %").arg(percent);
  const bool changed = bar->width() != shown || bar->Caption() != caption;
  bar->resize(shown, bar->height());
  bar->SetCaption(caption);
  if (changed) bar->repaint();
}

}  // namespace

void T_MainForm::ShowJobProgress(std::int32_t done, std::int32_t total) {
  SetBar(CurrentJob_Panel, ProcentCurrentJob_Panel, done, total);
}

void T_MainForm::ShowTotalProgress(std::int32_t done, std::int32_t total) {
  SetBar(TotalJobs_Panel, ProcentTotalJobs_Panel, done, total);
}
