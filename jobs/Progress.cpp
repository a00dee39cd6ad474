// The two progress bars under the grid.

#include <QRegion>
#include <algorithm>
#include <charconv>

#include "app/_MainUnit.h"

namespace {

// Whether `caption` reads `percent` followed by " %". The job bar is told of
// every frame written, and nearly every call changes nothing: this answers
// without formatting or allocating.
bool ShowsPercent(const QString& caption, std::int64_t percent) {
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, percent);
  if (error != std::errc()) return false;
  const auto length = static_cast<qsizetype>(end - digits);
  if (caption.size() != length + 2) return false;
  const QChar* c = caption.constData();
  for (qsizetype i = 0; i < length; ++i) {
    if (c[i] != QLatin1Char(digits[i])) return false;
  }
  return c[length] == QLatin1Char(' ') && c[length + 1] == QLatin1Char('%');
}

// Sets a bar's width and caption from (done, total) and paints what changed
// at once: the window serves no events while a job runs, so a bar painted
// later would lag what it was told. A job paints at most once per pixel of
// width and once per percent, and each paint covers only what moved: the
// columns between the old and the new right edge (with the bevel line at
// each) and the caption where it was and where it is now. A total of 0 (a
// job of one frame) shows a full bar.
// The counts from `done` on that keep the bar's width and percent: the
// first count after them changes one of them.
std::int32_t FirstChange(std::int64_t outerWidth, std::int32_t done, std::int32_t total) {
  if (total <= 0 || done < 0 || done >= total) return done + 1;
  // Width W * d / total and percent 100 * d / total (rounded down) step up at
  // the first d with W * d >= (k + 1) * total, k the value now.
  auto next = [&](std::int64_t scale) {
    const std::int64_t k = scale * done / total;
    return ((k + 1) * total + scale - 1) / scale;
  };
  return static_cast<std::int32_t>(std::min<std::int64_t>({next(outerWidth), next(100), total}));
}

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
  const bool captionChanged = !ShowsPercent(bar->Caption(), percent);
  const int before = bar->width();
  if (shown == before && !captionChanged) return;
  const QRect captionBefore = bar->CaptionRect();
  const QString caption = QString::number(percent) + QStringLiteral(" %");
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

namespace {

// The job bar is told of every frame written and nearly every call would
// show what it shows already: a count inside the span that shows the same,
// on a bar as it was left (same total, outer width, width and caption),
// ends with a few compares.
void ShowBar(T_MainForm::BarShown& shown, TPanel* outer, TPanel* bar, std::int32_t done, std::int32_t total) {
  if (done >= shown.From && done < shown.Until && total == shown.Total &&
      outer->width() == shown.OuterWidth && bar->width() == shown.Width &&
      bar->Caption().constData() == shown.Caption)
    return;
  SetBar(outer, bar, done, total);
  shown.Total = total;
  shown.OuterWidth = outer->width();
  shown.Width = bar->width();
  shown.Caption = bar->Caption().constData();
  shown.From = done;
  shown.Until = FirstChange(outer->width(), done, total);
}

}  // namespace

void T_MainForm::ShowJobProgress(std::int32_t done, std::int32_t total) {
  ShowBar(JobBarShown, CurrentJob_Panel, ProcentCurrentJob_Panel, done, total);
}

void T_MainForm::ShowTotalProgress(std::int32_t done, std::int32_t total) {
  ShowBar(TotalBarShown, TotalJobs_Panel, ProcentTotalJobs_Panel, done, total);
}
