#include "widgets/StaticText.h"

#include <QMouseEvent>
#include <QPainter>

TStaticText::TStaticText(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void TStaticText::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void TStaticText::SetAlignment(Qt::Alignment a) {
  alignment_ = a & Qt::AlignHorizontal_Mask;
  update();
}

void TStaticText::SetFontColor(const QColor& c) {
  fontColor_ = c;
  update();
}

void TStaticText::paintEvent(QPaintEvent*) {
  if (caption_.isEmpty()) return;
  QPainter p(this);
  p.setFont(font());
  p.setPen(fontColor_.isValid() ? fontColor_ : palette().color(QPalette::WindowText));
  p.drawText(rect(), int(alignment_ | Qt::AlignTop | Qt::TextSingleLine), caption_);
}

void TStaticText::mouseMoveEvent(QMouseEvent* e) {
  e->accept();
  if (OnMouseMove) {
    const QPoint pos = e->position().toPoint();
    OnMouseMove(this, e->modifiers(), pos.x(), pos.y());
  }
}
