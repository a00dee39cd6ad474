#include "widgets/SpinEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QToolButton>
#include <limits>

namespace {

constexpr int kButtonWidth = 15;

// The text as a decimal integer with an optional sign; 0 when it is not one.
// Numbers beyond 32 bits saturate.
std::int32_t ParseValue(const QString& text) {
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c < u'0' || c > u'9') return 0;
    magnitude = std::min(kLimit, magnitude * 10 + (c.unicode() - u'0'));
  }
  const std::int64_t v = negative ? -magnitude : magnitude;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::int32_t Saturate(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

bool IsAcceptedChar(QChar c) {
  if (c >= u'0' && c <= u'9') return true;
  if (c == u'+' || c == u'-') return true;
  if (QLocale().decimalPoint().contains(c)) return true;
  // Control characters pass (backspace, tab, clipboard shortcuts), except
  // the carriage return that Enter types.
  return c.unicode() < 32 && c != u'\r';
}

}  // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QWidget(parent) {
  edit_ = new QLineEdit(this);
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
    b->setAutoRepeatDelay(400);
    b->setAutoRepeatInterval(100);
    b->setCursor(Qt::ArrowCursor);
    // A press on a button puts the focus into the editor first, as a click
    // into the control would.
    connect(b, &QToolButton::pressed, this, [this] {
      if (!edit_->hasFocus()) edit_->setFocus(Qt::MouseFocusReason);
    });
  }
  connect(up_, &QToolButton::clicked, this, [this] { StepUp(); });
  connect(down_, &QToolButton::clicked, this, [this] { StepDown(); });

  // The editor shows the control's own cursor, whatever the window sets.
  edit_->unsetCursor();
  setCursor(Qt::IBeamCursor);
  // The editor and the buttons fill the control: the pointer meets them, not
  // the control, so their moves are the control's moves.
  for (QWidget* part : std::initializer_list<QWidget*>{edit_, up_, down_}) {
    part->setMouseTracking(true);
    part->installEventFilter(this);
  }
  connect(edit_, &QLineEdit::textChanged, this, [this] { TextEdited(); });
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusMoved(now); });

  setFocusProxy(edit_);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  SetText(QStringLiteral("0"));
}

std::int32_t TSpinEdit::Value() const { return ParseValue(edit_->text()); }

void TSpinEdit::SetValue(std::int32_t v) {
  if (min_ != max_) {
    if (v < min_) {
      v = min_;
    } else if (v > max_) {
      v = max_;
    }
  }
  SetText(QString::number(v));
}

QString TSpinEdit::Text() const { return edit_->text(); }

void TSpinEdit::SetText(const QString& text) {
  if (text == edit_->text()) return;
  const bool outer = fromCode_;
  fromCode_ = true;
  edit_->setText(text);
  fromCode_ = outer;
}

void TSpinEdit::SetMinValue(std::int32_t v) { min_ = v; }

void TSpinEdit::SetMaxValue(std::int32_t v) { max_ = v; }

void TSpinEdit::SetColor(const QColor& background) {
  QPalette pal = edit_->palette();
  pal.setColor(QPalette::Base, background);
  edit_->setPalette(pal);
}

void TSpinEdit::SetFontColor(const QColor& text) {
  QPalette pal = edit_->palette();
  pal.setColor(QPalette::Text, text);
  edit_->setPalette(pal);
}

void TSpinEdit::StepUp() { SetValue(Saturate(std::int64_t{Value()} + 1)); }

void TSpinEdit::StepDown() { SetValue(Saturate(std::int64_t{Value()} - 1)); }

void TSpinEdit::TextEdited() {
  const QString text = edit_->text();
  if (text == lastText_) return;
  lastText_ = text;
  const bool outer = typed_;
  typed_ = !fromCode_;
  if (OnChange) OnChange(this);
  typed_ = outer;
}

void TSpinEdit::Beep() {
  ++beeps_;
  QApplication::beep();
}

bool TSpinEdit::KeyPress(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Up:
      StepUp();
      return true;
    case Qt::Key_Down:
      StepDown();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Beep();
      if (OnCommit) OnCommit(this);
      return true;
    default:
      break;
  }
  const QString text = e->text();
  for (const QChar c : text) {
    if (!IsAcceptedChar(c)) {
      Beep();
      return true;
    }
  }
  return false;
}

void TSpinEdit::FocusEntered() {
  if (inside_) return;
  inside_ = true;
  if (OnEnter) OnEnter(this);
}

void TSpinEdit::FocusLeft() {
  if (!inside_) return;
  inside_ = false;
  if (OnExit) OnExit(this);
  const std::int32_t v = Value();
  if (v < min_) {
    SetValue(min_);
  } else if (v > max_) {
    SetValue(max_);
  }
}

void TSpinEdit::FocusMoved(QWidget* now) {
  // The focus went from the editor to another window and has now come back
  // to some other control of ours: that is where the editor was left.
  if (inside_ && now && now != edit_ && now->window() == window()) FocusLeft();
}

bool TSpinEdit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove && (watched == edit_ || watched == up_ || watched == down_)) {
    const auto* move = static_cast<QMouseEvent*>(event);
    const QPoint pos = static_cast<QWidget*>(watched)->mapTo(this, move->position().toPoint());
    if (OnMouseMove) OnMouseMove(this, move->modifiers(), pos.x(), pos.y());
    // A part needs a move only while a button is held (the editor selects
    // text by dragging, a button follows its press); a plain move ends here,
    // or it would come back to the control through its parent.
    if (move->buttons() == Qt::NoButton) return true;
    return QWidget::eventFilter(watched, event);
  }
  if (watched == edit_) {
    switch (event->type()) {
      case QEvent::KeyPress:
        if (KeyPress(static_cast<QKeyEvent*>(event))) return true;
        break;
      case QEvent::FocusIn:
        FocusEntered();
        break;
      case QEvent::FocusOut: {
        // The new focus widget is already known here; only a move inside the
        // window leaves the editor.
        QWidget* now = QApplication::focusWidget();
        if (now && now != edit_ && now->window() == window()) FocusLeft();
        break;
      }
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TSpinEdit::mouseMoveEvent(QMouseEvent* e) {
  e->accept();
  if (OnMouseMove) {
    const QPoint pos = e->position().toPoint();
    OnMouseMove(this, e->modifiers(), pos.x(), pos.y());
  }
}

void TSpinEdit::resizeEvent(QResizeEvent*) {
  const int w = width();
  const int h = height();
  const int bw = std::min(kButtonWidth, w);
  edit_->setGeometry(0, 0, w - bw, h);
  up_->setGeometry(w - bw, 0, bw, h / 2);
  down_->setGeometry(w - bw, h / 2, bw, h - h / 2);
}
