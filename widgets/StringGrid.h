#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QHash>
#include <QPoint>
#include <QString>

#include "widgets/Events.h"

class QMenu;

// A grid of text cells with one fixed header row (row 0) and no fixed column,
// whole-row selection, columns resizable by dragging the header's dividers,
// and no editing. Rows that do not fit scroll vertically, columns wider than
// the grid horizontally.
//  - Cells live in a store of their own: rows cut away by a smaller RowCount
//    keep their text and show it again when the row count grows.
//  - The grid has at least two rows; the selected row is always a non-fixed
//    row (1 .. RowCount-1).
//  - OnClick is raised when the user clicks a row (on release of the left
//    button wherever it is released, also on the row already selected, and
//    after a drag across rows), when a navigation key
//    (arrows, Page Up/Down, Home/End) moves the selection, and when SetRow
//    selects a different row from code.
//  - Cutting RowCount below the selected row moves the selection to the new
//    last row (row 1 when cut to two rows) without raising OnClick.
//  - A right click opens the popup menu without moving the selection.
// Client coordinates (MouseToCell, CellRect, OnMouseMove, OnMouseUp) are
// those of the area that shows the cells, the viewport. The pointer over a
// scroll bar raises OnMouseMove too, at a point outside every cell.
class TStringGrid : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TStringGrid(QWidget* parent = nullptr);

  int ColCount() const { return colCount_; }
  void SetColCount(int n);
  int RowCount() const { return rowCount_; }
  void SetRowCount(int n);

  QString Cell(int col, int row) const;
  void SetCell(int col, int row, const QString& text);

  int ColWidth(int col) const;
  void SetColWidth(int col, int width);  // as the user's drag does, too
  int DefaultRowHeight() const { return rowHeight_; }
  void SetDefaultRowHeight(int h);

  int Row() const { return row_; }
  void SetRow(int row);                   // raises OnClick when the row changes
  int TopRow() const { return topRow_; }  // first non-fixed row shown

  // The cell at a point of the grid's client area; (-1, -1) on no cell.
  void MouseToCell(int x, int y, int& col, int& row) const;
  // A cell's rectangle in client coordinates; empty when it is not shown.
  QRect CellRect(int col, int row) const;

  void SetPopupMenu(QMenu* menu) { popup_ = menu; }
  QMenu* PopupMenu() const { return popup_; }

  // The tooltip text and the switch that shows it.
  QString Hint() const { return hint_; }
  void SetHint(const QString& hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);

  void SetColor(const QColor& background);
  void SetFontColor(const QColor& text);

  TNotifyEvent OnClick;
  TKeyEvent OnKeyUp;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TSelectCellEvent OnSelectCell;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* e) override;
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  bool MoveSelection(int row);  // true when the selection moved
  void SelectByUser(int row);
  int ColumnLeft(int col) const;
  int ColumnAtDivider(int x, int y) const;
  int DataTop() const;      // top of the first data row shown
  int VisibleRows() const;  // whole data rows that fit
  void EnsureRowVisible(int row);
  void UpdateScrollBars();
  void ShowPopup(const QPoint& globalPos);

  int colCount_ = 5;
  int rowCount_ = 2;
  int row_ = 1;
  int rowHeight_ = 16;
  int topRow_ = 1;  // first non-fixed row shown
  QHash<quint64, QString> cells_;
  QList<int> colWidths_;
  QMenu* popup_ = nullptr;
  QString hint_;
  bool showHint_ = false;
  QColor color_;
  QColor fontColor_;
  int dragColumn_ = -1;
  int dragStartX_ = 0;
  int dragStartWidth_ = 0;
  bool clickPending_ = false;  // a left press on a row awaits its release
};
