#pragma once

#include <QColor>
#include <QWidget>

#include "widgets/Events.h"

// A fixed-size one-line text without a frame.
class TStaticText : public QWidget {
  Q_OBJECT
 public:
  explicit TStaticText(QWidget* parent = nullptr);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  void SetAlignment(Qt::Alignment a);
  Qt::Alignment Alignment() const { return alignment_; }
  void SetFontColor(const QColor& c);
  QColor FontColor() const { return fontColor_; }

  TMouseMoveEvent OnMouseMove;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;

 private:
  QString caption_;
  Qt::Alignment alignment_ = Qt::AlignLeft;
  QColor fontColor_;
};
