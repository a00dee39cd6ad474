#include "widgets/TrackBar.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QProxyStyle>

namespace {

// Whatever the platform's style prefers, a left click beside the thumb pages
// towards the click and never jumps the thumb to it.
class PagingStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_Slider_AbsoluteSetButtons) return Qt::MiddleButton;
    if (hint == SH_Slider_PageSetButtons) return Qt::LeftButton;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// One style for every bar, owned by the application: a widget does not own
// its style and may still refer to it while it is being destroyed.
QStyle* SharedPagingStyle() {
  static QPointer<PagingStyle> style;
  if (!style) {
    style = new PagingStyle;
    style->setParent(QCoreApplication::instance());
  }
  return style;
}

// Runs a change from code with the change event held back.
class CodeChange {
 public:
  explicit CodeChange(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
  ~CodeChange() { flag_ = saved_; }
  CodeChange(const CodeChange&) = delete;
  CodeChange& operator=(const CodeChange&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setStyle(SharedPagingStyle());
  setTickPosition(QSlider::NoTicks);
  setRange(0, 0);
  setSingleStep(1);
  setPageStep(2);
  setTracking(true);
  setMouseTracking(true);
  connect(this, &QAbstractSlider::valueChanged, this, &TTrackBar::ValueChanged);
}

void TTrackBar::SetPosition(std::int32_t p) {
  CodeChange guard(fromCode_);
  setValue(p);
}

void TTrackBar::SetMin(std::int32_t v) {
  CodeChange guard(fromCode_);
  setMinimum(v);
}

void TTrackBar::SetMax(std::int32_t v) {
  CodeChange guard(fromCode_);
  setMaximum(v);
}

void TTrackBar::ValueChanged() {
  if (!fromCode_ && OnChange) OnChange(this);
}

void TTrackBar::mouseMoveEvent(QMouseEvent* e) {
  QSlider::mouseMoveEvent(e);
  // Plain moves stop here too: the surface around the bar must not see them.
  e->accept();
  if (OnMouseMove) {
    const QPoint pos = e->position().toPoint();
    OnMouseMove(this, e->modifiers(), pos.x(), pos.y());
  }
}
