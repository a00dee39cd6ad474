#include "widgets/StringGrid.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>

namespace {

constexpr int kLine = 1;  // divider after every column and under the header
constexpr int kDefaultColWidth = 64;
constexpr int kTextIndent = 2;
constexpr int kDividerGrip = 2;  // pixels either side of a divider that grab it
constexpr int kMinDragWidth = 1;

quint64 CellKey(int col, int row) { return (quint64(quint32(col)) << 32) | quint32(row); }

}  // namespace

TStringGrid::TStringGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameStyle(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  // The scroll bars and the corner between them are parts of the grid too:
  // the pointer over them moves over the grid.
  setMouseTracking(true);
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    bar->setMouseTracking(true);
    bar->installEventFilter(this);
    if (bar->parentWidget() != nullptr) bar->parentWidget()->setMouseTracking(true);
  }
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  horizontalScrollBar()->setSingleStep(20);
  verticalScrollBar()->setSingleStep(1);
  while (colWidths_.size() < colCount_) colWidths_.append(kDefaultColWidth);
  UpdateScrollBars();
}

void TStringGrid::SetColCount(int n) {
  n = std::max(1, n);
  colCount_ = n;
  while (colWidths_.size() < colCount_) colWidths_.append(kDefaultColWidth);
  UpdateScrollBars();
  viewport()->update();
}

void TStringGrid::SetRowCount(int n) {
  n = std::max(2, n);
  if (n == rowCount_) return;
  rowCount_ = n;
  // The selection follows a cut silently: nothing was chosen by anyone.
  if (row_ > rowCount_ - 1) row_ = rowCount_ - 1;
  UpdateScrollBars();
  viewport()->update();
}

QString TStringGrid::Cell(int col, int row) const {
  if (col < 0 || row < 0) return {};
  return cells_.value(CellKey(col, row));
}

void TStringGrid::SetCell(int col, int row, const QString& text) {
  if (col < 0 || row < 0) return;
  if (text.isEmpty()) {
    cells_.remove(CellKey(col, row));
  } else {
    cells_.insert(CellKey(col, row), text);
  }
  if (col < colCount_ && row < rowCount_) viewport()->update();
}

int TStringGrid::ColWidth(int col) const {
  if (col < 0) return 0;
  return col < colWidths_.size() ? colWidths_[col] : kDefaultColWidth;
}

void TStringGrid::SetColWidth(int col, int width) {
  if (col < 0) return;
  while (colWidths_.size() <= col) colWidths_.append(kDefaultColWidth);
  colWidths_[col] = std::max(0, width);
  UpdateScrollBars();
  viewport()->update();
}

void TStringGrid::SetDefaultRowHeight(int h) {
  rowHeight_ = std::max(1, h);
  UpdateScrollBars();
  EnsureRowVisible(row_);
  viewport()->update();
}

void TStringGrid::SetRow(int row) {
  if (row < 1 || row >= rowCount_) return;
  if (MoveSelection(row) && OnClick) OnClick(this);
}

bool TStringGrid::MoveSelection(int row) {
  if (row == row_) return false;
  bool canSelect = true;
  if (OnSelectCell) OnSelectCell(this, 0, row, canSelect);
  if (!canSelect) return false;
  row_ = row;
  EnsureRowVisible(row_);
  viewport()->update();
  return true;
}

void TStringGrid::SelectByUser(int row) {
  row = std::clamp(row, 1, rowCount_ - 1);
  if (MoveSelection(row) && OnClick) OnClick(this);
}

int TStringGrid::ColumnLeft(int col) const {
  int x = -horizontalScrollBar()->value();
  for (int c = 0; c < col; ++c) x += ColWidth(c) + kLine;
  return x;
}

int TStringGrid::DataTop() const { return rowHeight_ + kLine; }

int TStringGrid::VisibleRows() const { return std::max(1, (viewport()->height() - DataTop()) / rowHeight_); }

void TStringGrid::MouseToCell(int x, int y, int& col, int& row) const {
  col = -1;
  row = -1;
  if (x < 0 || y < 0 || x >= viewport()->width() || y >= viewport()->height()) return;
  for (int c = 0, left = ColumnLeft(0); c < colCount_; ++c) {
    const int next = left + ColWidth(c) + kLine;
    if (x >= left && x < next) {
      col = c;
      break;
    }
    left = next;
  }
  if (y < DataTop()) {
    row = 0;
  } else {
    const int r = topRow_ + (y - DataTop()) / rowHeight_;
    if (r < rowCount_) row = r;
  }
  if (col < 0 || row < 0) {
    col = -1;
    row = -1;
  }
}

QRect TStringGrid::CellRect(int col, int row) const {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_) return {};
  if (row > 0 && row < topRow_) return {};
  const int top = row == 0 ? 0 : DataTop() + (row - topRow_) * rowHeight_;
  if (top >= viewport()->height()) return {};
  return QRect(ColumnLeft(col), top, ColWidth(col), rowHeight_);
}

int TStringGrid::ColumnAtDivider(int x, int y) const {
  if (y < 0 || y >= DataTop()) return -1;
  int found = -1;
  for (int c = 0, left = ColumnLeft(0); c < colCount_; ++c) {
    const int divider = left + ColWidth(c);
    if (std::abs(x - divider) <= kDividerGrip) found = c;  // the last match is the one on top
    left = divider + kLine;
  }
  return found;
}

void TStringGrid::EnsureRowVisible(int row) {
  UpdateScrollBars();
  int top = topRow_;
  const int visible = VisibleRows();
  if (row < top) {
    top = row;
  } else if (row >= top + visible) {
    top = row - visible + 1;
  }
  verticalScrollBar()->setValue(top);
  topRow_ = verticalScrollBar()->value();
}

void TStringGrid::UpdateScrollBars() {
  const int visible = VisibleRows();
  QScrollBar* v = verticalScrollBar();
  v->setPageStep(visible);
  v->setRange(1, std::max(1, rowCount_ - visible));
  topRow_ = v->value();

  int total = 0;
  for (int c = 0; c < colCount_; ++c) total += ColWidth(c) + kLine;
  QScrollBar* h = horizontalScrollBar();
  h->setPageStep(std::max(1, viewport()->width()));
  h->setRange(0, std::max(0, total - viewport()->width()));
}

void TStringGrid::SetHint(const QString& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  if (showHint_ && QToolTip::isVisible() && viewport()->underMouse()) {
    if (hint_.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(QCursor::pos(), hint_, viewport());
    }
  }
}

void TStringGrid::SetShowHint(bool on) {
  if (on == showHint_) return;
  showHint_ = on;
  if (!showHint_ && QToolTip::isVisible() && viewport()->underMouse()) QToolTip::hideText();
}

void TStringGrid::SetColor(const QColor& background) {
  color_ = background;
  viewport()->update();
}

void TStringGrid::SetFontColor(const QColor& text) {
  fontColor_ = text;
  viewport()->update();
}

void TStringGrid::ShowPopup(const QPoint& globalPos) {
  if (popup_) popup_->popup(globalPos);
}

void TStringGrid::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const QPalette& pal = palette();
  const int vw = viewport()->width();
  const int vh = viewport()->height();
  p.fillRect(QRect(0, 0, vw, vh), color_.isValid() ? color_ : pal.color(QPalette::Base));
  p.setFont(font());
  const QColor text = fontColor_.isValid() ? fontColor_ : pal.color(QPalette::Text);
  const int textFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

  // Header row: raised cells with dividers around them.
  for (int c = 0; c < colCount_; ++c) {
    const QRect cell = CellRect(c, 0);
    if (cell.left() >= vw) break;
    if (cell.right() + kLine < 0) continue;
    p.fillRect(cell, pal.color(QPalette::Button));
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(cell.topLeft(), cell.topRight());
    p.drawLine(cell.topLeft(), cell.bottomLeft());
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(cell.bottomLeft() + QPoint(1, 0), cell.bottomRight());
    p.drawLine(cell.topRight() + QPoint(0, 1), cell.bottomRight());
    p.setPen(pal.color(QPalette::Shadow));
    p.drawLine(cell.right() + 1, 0, cell.right() + 1, rowHeight_);
    p.drawLine(cell.left(), rowHeight_, cell.right() + 1, rowHeight_);
    p.setPen(text);
    p.save();
    p.setClipRect(cell);
    p.drawText(cell.adjusted(kTextIndent, 0, 0, 0), textFlags, Cell(c, 0));
    p.restore();
  }

  // Data rows: no lines; the selected row is highlighted across all columns.
  const int rowsLeft = ColumnLeft(0);
  const int rowsRight = ColumnLeft(colCount_);
  for (int r = topRow_; r < rowCount_; ++r) {
    const int top = DataTop() + (r - topRow_) * rowHeight_;
    if (top >= vh) break;
    const bool selected = r == row_;
    if (selected) {
      const QRect band(rowsLeft, top, rowsRight - rowsLeft, rowHeight_);
      p.fillRect(band, pal.color(QPalette::Active, QPalette::Highlight));
      if (hasFocus()) {
        p.setPen(QPen(pal.color(QPalette::Active, QPalette::HighlightedText), 1, Qt::DotLine));
        p.drawRect(band.adjusted(0, 0, -1, -1));
      }
    }
    p.setPen(selected ? pal.color(QPalette::Active, QPalette::HighlightedText) : text);
    for (int c = 0; c < colCount_; ++c) {
      const QRect cell(ColumnLeft(c), top, ColWidth(c), rowHeight_);
      if (cell.left() >= vw) break;
      const QString s = Cell(c, r);
      if (s.isEmpty() || cell.right() < 0) continue;
      p.save();
      p.setClipRect(cell);
      p.drawText(cell.adjusted(kTextIndent, 0, 0, 0), textFlags, s);
      p.restore();
    }
  }
}

void TStringGrid::mousePressEvent(QMouseEvent* e) {
  e->accept();
  if (e->button() != Qt::LeftButton) return;  // a right click moves nothing
  const QPoint pos = e->position().toPoint();
  dragColumn_ = ColumnAtDivider(pos.x(), pos.y());
  if (dragColumn_ >= 0) {
    dragStartX_ = pos.x();
    dragStartWidth_ = ColWidth(dragColumn_);
    return;
  }
  int col = -1;
  int row = -1;
  MouseToCell(pos.x(), pos.y(), col, row);
  if (row < 1) return;
  // The row shows as selected at once; the click event waits for the release.
  MoveSelection(row);
  clickPending_ = true;
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* e) {
  e->accept();
  const QPoint pos = e->position().toPoint();
  if (e->button() == Qt::LeftButton) {
    if (dragColumn_ >= 0) {
      dragColumn_ = -1;
    } else if (clickPending_) {
      // The press, and any drag after it, moved the selection: the click
      // follows it wherever the button goes up, so the row shown selected is
      // always the one loaded.
      clickPending_ = false;
      if (OnClick) OnClick(this);
    }
  }
  if (OnMouseUp) OnMouseUp(this, e->button(), e->modifiers(), pos.x(), pos.y());
  if (e->button() == Qt::RightButton) ShowPopup(e->globalPosition().toPoint());
}

void TStringGrid::mouseMoveEvent(QMouseEvent* e) {
  e->accept();
  const QPoint pos = e->position().toPoint();
  if (dragColumn_ >= 0) {
    SetColWidth(dragColumn_, std::max(kMinDragWidth, dragStartWidth_ + pos.x() - dragStartX_));
  } else if (clickPending_ && (e->buttons() & Qt::LeftButton)) {
    int col = -1;
    int row = -1;
    MouseToCell(pos.x(), pos.y(), col, row);
    if (row >= 1) MoveSelection(row);
  }
  if (OnMouseMove) OnMouseMove(this, e->modifiers(), pos.x(), pos.y());
  // The divider cursor sits on the viewport, so the grid's own cursor, which
  // the window sets, stays as it was set.
  if (dragColumn_ >= 0 || (e->buttons() == Qt::NoButton && ColumnAtDivider(pos.x(), pos.y()) >= 0)) {
    viewport()->setCursor(Qt::SplitHCursor);
  } else {
    viewport()->unsetCursor();
  }
}

bool TStringGrid::event(QEvent* e) {
  // Moves that reach the grid itself come from the corner between the scroll
  // bars or from a scroll bar's frame; the scroll area would pass them on to
  // the grid's parent.
  if (e->type() == QEvent::MouseMove) {
    const auto* move = static_cast<QMouseEvent*>(e);
    const QPoint pos = viewport()->mapFrom(this, move->position().toPoint());
    if (OnMouseMove) OnMouseMove(this, move->modifiers(), pos.x(), pos.y());
    e->accept();
    return true;
  }
  return QAbstractScrollArea::event(e);
}

bool TStringGrid::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseMove &&
      (watched == horizontalScrollBar() || watched == verticalScrollBar())) {
    const auto* move = static_cast<QMouseEvent*>(e);
    const QPoint inGrid = static_cast<QWidget*>(watched)->mapTo(this, move->position().toPoint());
    const QPoint pos = viewport()->mapFrom(this, inGrid);
    if (OnMouseMove) OnMouseMove(this, move->modifiers(), pos.x(), pos.y());
  }
  return QAbstractScrollArea::eventFilter(watched, e);
}

void TStringGrid::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Up:
      SelectByUser(row_ - 1);
      break;
    case Qt::Key_Down:
      SelectByUser(row_ + 1);
      break;
    case Qt::Key_PageUp:
      SelectByUser(row_ - VisibleRows());
      break;
    case Qt::Key_PageDown:
      SelectByUser(row_ + VisibleRows());
      break;
    case Qt::Key_Home:
      SelectByUser(1);
      break;
    case Qt::Key_End:
      SelectByUser(rowCount_ - 1);
      break;
    case Qt::Key_Left:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
      break;
    case Qt::Key_Right:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(e);
      return;
  }
  e->accept();
}

void TStringGrid::keyReleaseEvent(QKeyEvent* e) {
  // The key goes up once, however long it was held.
  if (e->isAutoRepeat()) return;
  int key = vk::FromQtKey(e->key());
  if (OnKeyUp) OnKeyUp(this, key, e->modifiers());
}

void TStringGrid::contextMenuEvent(QContextMenuEvent* e) {
  e->accept();
  // The mouse's popup opens on the right button's release.
  if (e->reason() == QContextMenuEvent::Mouse) return;
  QRect r = CellRect(0, row_);
  const QPoint at = r.isEmpty() ? QPoint(0, DataTop()) : r.center();
  ShowPopup(viewport()->mapToGlobal(at));
}

void TStringGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  UpdateScrollBars();
}

void TStringGrid::scrollContentsBy(int, int) {
  topRow_ = verticalScrollBar()->value();
  viewport()->update();
}

bool TStringGrid::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    if (showHint_ && !hint_.isEmpty()) {
      QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), hint_, viewport());
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return QAbstractScrollArea::viewportEvent(e);
}
