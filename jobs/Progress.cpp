// The two progress bars under the grid.

#include <QRegion>
#include <algorithm>
#include <cstdio>

#include "app/_MainUnit.h"

namespace {

// Sets a bar's width and caption from (done, total) and paints what changed
// at once: the window serves no events while a job runs, so a bar painted
// later would lag what it was told. A job paints at most once per pixel of
// width and once per percent, and each paint covers only what moved: the
// columns between the old and the new right edge (with the bevel line at
// each) and the caption where it was and where it is now. A total of 0 (a
// job of one frame) shows a full bar.
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
  // Called for every frame written: the caption is compared as it is built,
  // on the stack, and made a string only when it changed.
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%lld %%", static_cast<long long>(percent));
  const QLatin1StringView captionText(text, length);
  const bool captionChanged = bar->Caption() != captionText;
  const int before = bar->width();
  if (shown == before && !captionChanged) return;
  const QRect captionBefore = bar->CaptionRect();
  const QString caption = captionText;
  bar->resize(shown, bar->height());
  bar->SetCaptionUnpainted(caption);
  // The strip a shrinking bar leaves shows the outer panel again.
  if (shown < before) outer->repaint(QRect(bar->x() + shown, bar->y(), before - shown, bar->height()));
  if (shown == 0) return;
  const int from = std::max(0, std::min(before, shown) - 1);
  QRegion changed(QRect(from, 0, std::max(before, shown) - from, bar->height()));
  const QRect captionAfter = bar->CaptionRect();
  if (captionChanged || captionBefore != captionAfter) {
    changed += captionBefore;
    changed += captionAfter;
  }
  bar->repaint(changed.intersected(bar->rect()));
}

}  // namespace

void T_MainForm::ShowJobProgress(std::int32_t done, std::int32_t total) {
  SetBar(CurrentJob_Panel, ProcentCurrentJob_Panel, done, total);
}

void T_MainForm::ShowTotalProgress(std::int32_t done, std::int32_t total) {
  SetBar(TotalJobs_Panel, ProcentTotalJobs_Panel, done, total);
}
