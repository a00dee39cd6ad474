#pragma once

#include <QPixmap>
#include <QWidget>

#include "widgets/Events.h"

// A flat push button with a glyph: no border until the pointer is over it,
// a sunken look while pressed, never stays down, takes no keyboard focus.
class TSpeedButton : public QWidget {
  Q_OBJECT
 public:
  explicit TSpeedButton(QWidget* parent = nullptr);

  void SetGlyph(const QPixmap& glyph);
  const QPixmap& Glyph() const { return glyph_; }
  bool Hovered() const { return hovered_; }

  // Runs OnClick as a click by the user would.
  void Click();

  TNotifyEvent OnClick;
  TMouseMoveEvent OnMouseMove;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  QPixmap glyph_;
  bool hovered_ = false;
  bool pressed_ = false;
};
