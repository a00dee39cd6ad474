#pragma once

#include <QColor>
#include <QHash>
#include <QPoint>
#include <QString>
#include <QWidget>

#include "widgets/Events.h"

class QMenu;

// A grid of text cells with one fixed header row (row 0) and no fixed column,
// whole-row selection, columns resizable by dragging the header's dividers,
// and no editing.
//  - Cells live in a store of their own: rows cut away by a smaller RowCount
//    keep their text and show it again when the row count grows.
//  - The selected row is always a non-fixed row (1 .. RowCount-1) while there is one.
//  - OnClick is raised when the user clicks a row (on release of the left
//    button, also on the row already selected), when a navigation key
//    (arrows, Page Up/Down, Home/End) moves the selection, and when SetRow
//    selects a different row from code.
//  - Cutting RowCount below the selected row moves the selection to row 1
//    (or the last row) without raising OnClick.
//  - A right click opens the popup menu without moving the selection.
class TStringGrid : public QWidget {
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
  void SetRow(int row);  // raises OnClick when the row changes

  // The cell at a point of the grid's client area; (-1, -1) on no cell.
  void MouseToCell(int x, int y, int& col, int& row) const;
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
  bool event(QEvent* e) override;

 private:
  void SelectByUser(int row);
  int ColumnLeft(int col) const;
  void EnsureRowVisible(int row);

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
  int pressedRow_ = -1;
};
