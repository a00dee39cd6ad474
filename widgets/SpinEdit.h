#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>

#include "widgets/Events.h"

class QKeyEvent;
class QLineEdit;
class QToolButton;

// A numeric edit box with up and down buttons that behaves as the window's
// range editing needs:
//  1. Value() is the text read as a decimal integer with an optional sign; a
//     text that is not such a number ("", "-") reads as 0. A number beyond the
//     32-bit range reads as the nearest 32-bit value.
//  2. SetValue writes the value's decimal text clamped into [MinValue, MaxValue];
//     when minimum and maximum are equal the value is written unclamped.
//  3. SetMaxValue leaves the shown text unchanged.
//  4. Every change of the text raises OnChange: typing, the up and down arrow
//     keys and buttons (one step, clamped like a set value), and SetValue or
//     SetText with a different text. Setting the text already shown raises nothing.
//  5. Typing accepts digits, "+", "-", the decimal separator and control keys
//     (backspace, delete, cursor movement); other characters and Enter are
//     refused with a beep.
//  6. When the focus leaves, OnExit runs first; then, if the value lies outside
//     [MinValue, MaxValue], the value is set to the nearest bound (raising OnChange).
//  7. Enter (still refused as a character, with its beep) raises OnCommit: the
//     user is done typing, as leaving the box would say.
// While OnChange runs, Typed() tells a keystroke (or paste, cut, undo) in the
// editor from a committed change: a step of the arrow keys or buttons, or a
// value set from code.
// The focus counts as leaving only when it moves to another control of the same
// window: a popup, a dialog or another application taking it raises nothing,
// and its return raises no second OnEnter.
class TSpinEdit : public QWidget {
  Q_OBJECT
 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

  std::int32_t Value() const;
  void SetValue(std::int32_t v);
  QString Text() const;
  void SetText(const QString& text);

  std::int32_t MinValue() const { return min_; }
  std::int32_t MaxValue() const { return max_; }
  void SetMinValue(std::int32_t v);
  void SetMaxValue(std::int32_t v);

  void SetColor(const QColor& background);
  void SetFontColor(const QColor& text);

  QLineEdit* Editor() const { return edit_; }
  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

  // One step up or down, as the arrow keys and buttons do.
  void StepUp();
  void StepDown();

  // Whether the change being raised comes from editing the text by hand.
  bool Typed() const { return typed_; }

  // The number of beeps given for refused keys (for tests).
  int BeepCount() const { return beeps_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TNotifyEvent OnCommit;
  TMouseMoveEvent OnMouseMove;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void TextEdited();
  void Beep();
  bool KeyPress(QKeyEvent* e);  // true when the key was taken here
  void FocusEntered();
  void FocusLeft();
  void FocusMoved(QWidget* now);

  QLineEdit* edit_ = nullptr;
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
  std::int32_t min_ = 0;
  std::int32_t max_ = 0;
  QString lastText_;
  int beeps_ = 0;
  bool inside_ = false;
  bool fromCode_ = false;  // SetText is writing the editor
  bool typed_ = false;  // the focus is in the editor as far as OnEnter/OnExit go
};
