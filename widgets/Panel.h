#pragma once

#include <QColor>
#include <QGlyphRun>
#include <QList>
#include <QWidget>

#include "widgets/Events.h"

enum class TBevel { None, Raised, Lowered };

// A panel with 1-pixel outer and inner bevels, an aligned one-line caption,
// a background colour and a text colour. Child controls are placed at
// absolute positions inside it.
class TPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TPanel(QWidget* parent = nullptr);

  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption);  // schedules a paint when the text changes
  // Sets the caption and leaves the painting to the caller, which knows what
  // moved (see CaptionRect).
  void SetCaptionUnpainted(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    captionAdvance_ = -1;
    captionGlyphs_.clear();
    captionUnshaped_ = false;
  }

  TBevel BevelOuter() const { return outer_; }
  TBevel BevelInner() const { return inner_; }
  void SetBevelOuter(TBevel b);
  void SetBevelInner(TBevel b);

  Qt::Alignment Alignment() const { return alignment_; }
  void SetAlignment(Qt::Alignment a);  // horizontal part; the caption is always vertically centred

  QColor Color() const { return color_; }
  void SetColor(const QColor& c);  // background
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& c);  // caption colour

  // Width of bevels inside the rectangle: 0, 1 or 2 pixels.
  int BevelWidth() const;
  // Where the caption is drawn (a pixel wider either side), for painting
  // only what a change of caption or width touches; empty without a caption.
  QRect CaptionRect() const;

  TMouseMoveEvent OnMouseMove;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  // The caption's advance in the panel's font, measured once per caption
  // (a progress bar asks for it at every step).
  int CaptionAdvance() const;

  QString caption_;
  mutable int captionAdvance_ = -1;
  // The caption shaped once per text and font, with the offset from the
  // layout's origin to its baseline: a progress bar draws it at nearly every
  // step, and shaping it anew each time took as long as the rest of the paint.
  QList<QGlyphRun> captionGlyphs_;
  qreal captionAscent_ = 0;
  bool captionUnshaped_ = false;
  TBevel outer_ = TBevel::Raised;
  TBevel inner_ = TBevel::None;
  Qt::Alignment alignment_ = Qt::AlignHCenter;
  QColor color_;
  QColor fontColor_;
};
