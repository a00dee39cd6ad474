#pragma once

#include <QSlider>
#include <cstdint>

#include "widgets/Events.h"

// A horizontal seek bar. Setting Position or Max from code clamps the position
// into [Min, Max] and raises no event; the user's own moves (dragging the
// thumb, clicking beside it, keys while focused) raise OnChange once per step.
// A click beside the thumb moves it by one page step towards the click.
class TTrackBar : public QSlider {
  Q_OBJECT
 public:
  explicit TTrackBar(QWidget* parent = nullptr);

  std::int32_t Position() const { return value(); }
  void SetPosition(std::int32_t p);
  std::int32_t Min() const { return minimum(); }
  std::int32_t Max() const { return maximum(); }
  void SetMin(std::int32_t v);
  void SetMax(std::int32_t v);

  TNotifyEvent OnChange;
  TMouseMoveEvent OnMouseMove;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;

 private:
  void ValueChanged();

  bool fromCode_ = false;
};
