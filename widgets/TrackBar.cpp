#include "widgets/TrackBar.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionSlider>

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

void TTrackBar::paintEvent(QPaintEvent*) {
  // Drawn from the palette's bevel colours only: a sunken channel that is the
  // same on both sides of the thumb (a filled part would read as a selection
  // range), and a raised thumb. The thumb sits where the style's hit-testing
  // expects it.
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
  const QRect thumb = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
  const QPalette& pal = palette();
  QPainter p(this);

  const QRect channel(groove.left(), thumb.center().y() - 2, groove.width(), 4);
  p.fillRect(channel, pal.color(QPalette::Button));
  p.setPen(pal.color(QPalette::Dark));
  p.drawLine(channel.topLeft(), channel.topRight());
  p.drawLine(channel.topLeft(), channel.bottomLeft());
  p.setPen(pal.color(QPalette::Shadow));
  p.drawLine(channel.left() + 1, channel.top() + 1, channel.right() - 1, channel.top() + 1);
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(channel.bottomLeft(), channel.bottomRight());
  p.drawLine(channel.topRight(), channel.bottomRight());

  p.fillRect(thumb, pal.color(QPalette::Button));
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(thumb.topLeft(), thumb.topRight());
  p.drawLine(thumb.topLeft(), thumb.bottomLeft());
  p.setPen(pal.color(QPalette::Shadow));
  p.drawLine(thumb.bottomLeft(), thumb.bottomRight());
  p.drawLine(thumb.topRight(), thumb.bottomRight());
  p.setPen(pal.color(QPalette::Dark));
  p.drawLine(thumb.left() + 1, thumb.bottom() - 1, thumb.right() - 1, thumb.bottom() - 1);
  p.drawLine(thumb.right() - 1, thumb.top() + 1, thumb.right() - 1, thumb.bottom() - 1);

  if (hasFocus()) {
    p.setPen(QPen(pal.color(QPalette::WindowText), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
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
