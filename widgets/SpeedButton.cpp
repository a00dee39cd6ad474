#include "widgets/SpeedButton.h"

#include <QMouseEvent>
#include <QPainter>

TSpeedButton::TSpeedButton(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
}

void TSpeedButton::SetGlyph(const QPixmap& glyph) {
  glyph_ = glyph;
  update();
}

void TSpeedButton::Click() {
  if (OnClick) OnClick(this);
}

void TSpeedButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  // Sunken only while the press is held over the button; a press dragged
  // off the button shows it up again, as releasing there does not click.
  const bool down = pressed_ && hovered_;
  if (down || hovered_) {
    const QColor topLeft = pal.color(down ? QPalette::Dark : QPalette::Light);
    const QColor bottomRight = pal.color(down ? QPalette::Light : QPalette::Dark);
    const QRect r = rect();
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
  }
  if (glyph_.isNull()) return;
  const QSize size = glyph_.deviceIndependentSize().toSize();
  QPoint at((width() - size.width()) / 2, (height() - size.height()) / 2);
  if (down) at += QPoint(1, 1);
  p.drawPixmap(at, glyph_);
}

void TSpeedButton::mousePressEvent(QMouseEvent* e) {
  e->accept();
  if (e->button() != Qt::LeftButton) return;
  pressed_ = true;
  update();
}

void TSpeedButton::mouseReleaseEvent(QMouseEvent* e) {
  e->accept();
  if (e->button() != Qt::LeftButton || !pressed_) return;
  pressed_ = false;
  const bool inside = rect().contains(e->position().toPoint());
  hovered_ = inside;
  repaint();  // up again before the handler, which may run long
  if (inside) Click();
}

void TSpeedButton::mouseMoveEvent(QMouseEvent* e) {
  e->accept();
  const QPoint pos = e->position().toPoint();
  const bool inside = rect().contains(pos);
  if (inside != hovered_) {
    hovered_ = inside;
    update();
  }
  if (OnMouseMove) OnMouseMove(this, e->modifiers(), pos.x(), pos.y());
}

void TSpeedButton::enterEvent(QEnterEvent*) {
  hovered_ = true;
  update();
}

void TSpeedButton::leaveEvent(QEvent*) {
  hovered_ = false;
  update();
}
