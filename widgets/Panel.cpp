#include "widgets/Panel.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>

namespace {

// Draws a 1-pixel bevel along the edges of r: light top-left and dark
// bottom-right when raised, the reverse when lowered. One-pixel rectangles
// rather than lines: a progress bar is painted hundreds of times a job, and
// filling a rectangle skips the line drawing's setup.
void DrawBevel(QPainter& p, const QRect& r, TBevel bevel, const QColor& light, const QColor& dark) {
  if (bevel == TBevel::None || r.width() <= 0 || r.height() <= 0) return;
  const QColor& topLeft = bevel == TBevel::Raised ? light : dark;
  const QColor& bottomRight = bevel == TBevel::Raised ? dark : light;
  p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
  p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
  p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
  p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}

}  // namespace

TPanel::TPanel(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPanel::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  captionAdvance_ = -1;
  captionGlyphs_.clear();
  captionUnshaped_ = false;
  update();
}

int TPanel::CaptionAdvance() const {
  if (captionAdvance_ < 0) captionAdvance_ = QFontMetrics(font()).horizontalAdvance(caption_);
  return captionAdvance_;
}

void TPanel::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange) {
    captionAdvance_ = -1;
    captionGlyphs_.clear();
    captionUnshaped_ = false;
  }
  QWidget::changeEvent(e);
}

void TPanel::SetBevelOuter(TBevel b) {
  outer_ = b;
  update();
}

void TPanel::SetBevelInner(TBevel b) {
  inner_ = b;
  update();
}

void TPanel::SetAlignment(Qt::Alignment a) {
  alignment_ = a & Qt::AlignHorizontal_Mask;
  update();
}

void TPanel::SetColor(const QColor& c) {
  color_ = c;
  update();
}

void TPanel::SetFontColor(const QColor& c) {
  fontColor_ = c;
  update();
}

int TPanel::BevelWidth() const { return (outer_ != TBevel::None ? 1 : 0) + (inner_ != TBevel::None ? 1 : 0); }

void TPanel::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  const QPalette& pal = palette();
  p.fillRect(rect(), color_.isValid() ? color_ : pal.color(QPalette::Window));

  const QColor light = pal.color(QPalette::Light);
  const QColor dark = pal.color(QPalette::Dark);
  QRect r = rect();
  DrawBevel(p, r, outer_, light, dark);
  if (outer_ != TBevel::None) r.adjust(1, 1, -1, -1);
  DrawBevel(p, r, inner_, light, dark);
  if (inner_ != TBevel::None) r.adjust(1, 1, -1, -1);

  if (caption_.isEmpty() || r.isEmpty()) return;
  const QRect text = CaptionRect();
  // Laying out the text costs more than the rest of the paint: a paint of
  // a bar's new column that does not reach the caption leaves it alone.
  if (!e->region().intersects(text)) return;
  const QFontMetrics fm(font());
  const int y = r.top() + (r.height() - fm.height()) / 2 + fm.ascent();
  if (captionGlyphs_.isEmpty() && !captionUnshaped_) {
    QTextLayout layout(caption_, font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    // A caption the layout would break (a line separator in a file name)
    // is drawn on one line, as it always was, and shaped at each paint.
    captionUnshaped_ = layout.lineCount() != 1 || line.textLength() != caption_.size();
    captionAscent_ = line.ascent();
    if (!captionUnshaped_) captionGlyphs_ = layout.glyphRuns();
  }
  p.setClipRect(r);
  p.setPen(fontColor_.isValid() ? fontColor_ : pal.color(QPalette::WindowText));
  if (captionUnshaped_) {
    p.setFont(font());
    p.drawText(text.left() + 1, y, caption_);
    return;
  }
  const QPointF origin(text.left() + 1, y - captionAscent_);
  for (const QGlyphRun& run : captionGlyphs_) p.drawGlyphRun(origin, run);
}

QRect TPanel::CaptionRect() const {
  if (caption_.isEmpty()) return {};
  const int b = BevelWidth();
  const QRect r = rect().adjusted(b, b, -b, -b);
  if (r.isEmpty()) return {};
  // The caption is placed by its full advance, so trailing blanks keep a
  // right-aligned caption away from the edge.
  const int textWidth = CaptionAdvance();
  int x = r.left();
  if (alignment_ & Qt::AlignRight) {
    x = r.right() + 1 - textWidth;
  } else if (alignment_ & Qt::AlignHCenter) {
    x = r.left() + (r.width() - textWidth) / 2;
  }
  // One pixel either side for glyphs that reach past their advance.
  return QRect(x - 1, r.top(), textWidth + 2, r.height());
}

void TPanel::mouseMoveEvent(QMouseEvent* e) {
  // A panel keeps its moves to itself, with or without a handler, so the
  // surface beneath it never sees them.
  e->accept();
  if (OnMouseMove) {
    const QPoint pos = e->position().toPoint();
    OnMouseMove(this, e->modifiers(), pos.x(), pos.y());
  }
}
