// The two progress bars under the grid.

#include <QVariant>
#include <algorithm>
#include <cstdlib>

#include "app/_MainUnit.h"

namespace {

// A bar that only grew or shrank by less than this since its last paint waits
// for the next step: a job of a million frames then costs a few hundred paints
// (one per percent and one per few pixels), not one per pixel or per frame.
constexpr int kPaintStep = 3;
const char* const kPaintedWidth = "kerfwellPaintedWidth";

// Sets a bar's width and caption from (done, total); every call sets both. A
// total of 0 (a job of one frame) shows a full bar.
void SetBar(TPanel* outer, TPanel* bar, std::int32_t done, std::int32_t total) {
  std::int64_t width = 0;
  std::int64_t percent = 100;
  if (total != 0) {
    width = static_cast<std::int64_t>(outer->width()) * done / total - 2;
    percent = static_cast<std::int64_t>(done) * 100 / total;
  } else {
    width = outer->width() - 2;
  }
  const int full = outer->width() - 2;
  const int shown = static_cast<int>(std::clamp<std::int64_t>(width, 0, outer->width()));
  const QString caption = QStringLiteral("%1 %").arg(percent);
  const int painted = bar->property(kPaintedWidth).toInt();
  const bool paint = bar->Caption() != caption || std::abs(shown - painted) >= kPaintStep ||
                     (shown != painted && (shown == 0 || shown == full));
  bar->resize(shown, bar->height());
  bar->SetCaption(caption);
  if (paint) {
    bar->repaint();
    bar->setProperty(kPaintedWidth, shown);
  }
}

}  // namespace

void T_MainForm::ShowJobProgress(std::int32_t done, std::int32_t total) {
  SetBar(CurrentJob_Panel, ProcentCurrentJob_Panel, done, total);
}

void T_MainForm::ShowTotalProgress(std::int32_t done, std::int32_t total) {
  SetBar(TotalJobs_Panel, ProcentTotalJobs_Panel, done, total);
}
