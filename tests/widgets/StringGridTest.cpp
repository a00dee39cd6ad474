// The grid's selection, click and cell-store rules, driven by real mouse and
// key events and checked against every event it raises.
#include <QHelpEvent>
#include <QMenu>
#include <QScrollBar>
#include <QToolTip>
#include <string>
#include <vector>

#include "WidgetTestSupport.h"
#include "widgets/StringGrid.h"

namespace {

using Log = std::vector<std::string>;

// A grid laid out as the window's job list: five columns 100/70/70/70/70,
// rows 16 high, 403 x 135, recording clicks as "click:<row>" and key-ups as
// "keyup:<code>".
class StringGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.active());
    grid = new TStringGrid(window.get());
    grid->setGeometry(1, 1, 403, 135);
    grid->SetColCount(5);
    grid->SetRowCount(2);
    grid->SetColWidth(0, 100);
    for (int c = 1; c < 5; ++c) grid->SetColWidth(c, 70);
    grid->show();
    grid->setFocus(Qt::TabFocusReason);
    grid->OnClick = [this](QObject* s) {
      EXPECT_EQ(s, grid);
      log.push_back("click:" + std::to_string(grid->Row()));
    };
    grid->OnKeyUp = [this](QObject*, int& key, Qt::KeyboardModifiers) {
      log.push_back("keyup:" + std::to_string(key));
    };
  }

  // Rows 1..jobs hold "job<n>" in column 0, followed by an empty spare row.
  void Fill(int jobs) {
    grid->SetRowCount(jobs + 2);
    for (int r = 1; r <= jobs; ++r) grid->SetCell(0, r, QString("job%1").arg(r));
  }
  QPoint CellCentre(int col, int row) { return grid->CellRect(col, row).center(); }
  QWidget* view() { return grid->viewport(); }

  ActiveWindow window;
  TStringGrid* grid = nullptr;
  Log log;
};

TEST_F(StringGridTest, CellsSurviveACutInTheRowCountAndShowAgainWhenItGrows) {
  Fill(3);
  grid->SetCell(4, 3, "0:01");
  grid->SetRowCount(2);
  EXPECT_EQ(grid->RowCount(), 2);
  grid->SetRowCount(5);
  EXPECT_EQ(grid->Cell(0, 1), "job1");
  EXPECT_EQ(grid->Cell(0, 3), "job3");
  EXPECT_EQ(grid->Cell(4, 3), "0:01");
  grid->SetCell(0, 3, "");
  EXPECT_EQ(grid->Cell(0, 3), "");
  EXPECT_EQ(grid->Cell(-1, 0), "");
  EXPECT_TRUE(log.empty());
}

TEST_F(StringGridTest, SetRowRaisesTheClickEventOnlyForADifferentRow) {
  Fill(3);
  grid->SetRow(1);  // already selected
  grid->SetRow(3);
  grid->SetRow(3);
  grid->SetRow(4);  // the spare row may be selected too
  grid->SetRow(0);  // the header cannot
  grid->SetRow(9);  // nor a row that does not exist
  EXPECT_EQ(log, (Log{"click:3", "click:4"}));
  EXPECT_EQ(grid->Row(), 4);
}

TEST_F(StringGridTest, CuttingTheRowsBelowTheSelectionMovesItSilently) {
  Fill(4);
  grid->SetRow(4);
  log.clear();
  grid->SetRowCount(4);
  EXPECT_EQ(grid->Row(), 3);
  grid->SetRowCount(2);
  EXPECT_EQ(grid->Row(), 1);
  grid->SetRowCount(6);  // growing does not move it
  EXPECT_EQ(grid->Row(), 1);
  EXPECT_TRUE(log.empty());
}

TEST_F(StringGridTest, LeftClicksOnRowsRaiseTheClickEventOnReleaseAlsoOnTheSelectedRow) {
  Fill(3);
  QTest::mousePress(view(), Qt::LeftButton, {}, CellCentre(2, 2));
  EXPECT_EQ(grid->Row(), 2);  // shown as selected at once
  EXPECT_TRUE(log.empty());   // but the event waits for the release
  QTest::mouseRelease(view(), Qt::LeftButton, {}, CellCentre(2, 2));
  QTest::mouseClick(view(), Qt::LeftButton, {}, CellCentre(0, 2));  // the selected row again
  QTest::mouseClick(view(), Qt::LeftButton, {}, CellCentre(4, 4));  // the spare row
  QTest::mouseClick(view(), Qt::LeftButton, {}, CellCentre(1, 0));  // the header: nothing
  QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(200, 120));  // below the rows: nothing
  EXPECT_EQ(log, (Log{"click:2", "click:2", "click:4"}));
  EXPECT_EQ(grid->Row(), 4);
}

TEST_F(StringGridTest, ADragEndsInOneClickForTheRowItLeftSelectedWhereverReleased) {
  Fill(3);
  const struct {
    std::vector<QPoint> path;  // press at the first point, move through the rest, release at the last
    int row;
  } drags[] = {
      {{CellCentre(0, 2), CellCentre(0, 2) + QPoint(0, 200)}, 2},  // out below the grid
      {{CellCentre(1, 1), CellCentre(1, 2), CellCentre(1, 3), CellCentre(1, 4)}, 4},
      {{CellCentre(2, 3), CellCentre(2, 2), CellCentre(2, 0), QPoint(150, -40)}, 2},  // up and out
      {{CellCentre(0, 1), QPoint(-30, 20)}, 1},  // out to the left: still row 1
  };
  for (const auto& d : drags) {
    log.clear();
    QTest::mousePress(view(), Qt::LeftButton, {}, d.path.front());
    for (std::size_t i = 1; i < d.path.size(); ++i) QTest::mouseMove(view(), d.path[i]);
    QTest::mouseRelease(view(), Qt::LeftButton, {}, d.path.back());
    EXPECT_EQ(log, (Log{"click:" + std::to_string(d.row)})) << "drag " << &d - drags;
  }
}

TEST_F(StringGridTest, NavigationKeysThatMoveTheSelectionRaiseTheClickEventAndEveryKeyUpItsCode) {
  Fill(3);
  const struct {
    Qt::Key key;
    Log expected;
  } steps[] = {
      {Qt::Key_Up, {"keyup:38"}},  // already on row 1: no move
      {Qt::Key_Down, {"click:2", "keyup:40"}},
      {Qt::Key_Down, {"click:3", "keyup:40"}},
      {Qt::Key_Down, {"click:4", "keyup:40"}},
      {Qt::Key_Down, {"keyup:40"}},  // the last row
      {Qt::Key_Left, {"keyup:37"}},
      {Qt::Key_Right, {"keyup:39"}},
      {Qt::Key_Home, {"click:1", "keyup:36"}},
      {Qt::Key_End, {"click:4", "keyup:35"}},
      {Qt::Key_PageUp, {"click:1", "keyup:33"}},
      {Qt::Key_Delete, {"keyup:46"}},
      {Qt::Key_Up, {"keyup:38"}},
  };
  for (const auto& step : steps) {
    log.clear();
    QTest::keyClick(grid, step.key);
    EXPECT_EQ(log, step.expected) << "key " << step.key;
  }
}

TEST_F(StringGridTest, RightClickOpensThePopupMenuWithoutMovingTheSelection) {
  Fill(3);
  QMenu menu;
  menu.addAction("&Open");
  grid->SetPopupMenu(&menu);
  QTest::mouseClick(view(), Qt::RightButton, {}, CellCentre(0, 3));
  EXPECT_EQ(grid->Row(), 1);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(menu.isVisible());
  menu.close();
}

TEST_F(StringGridTest, ADisabledGridIgnoresClicksAndKeys) {
  Fill(3);
  grid->setEnabled(false);
  QTest::mouseClick(view(), Qt::LeftButton, {}, CellCentre(0, 2));
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(grid->Row(), 1);
  EXPECT_TRUE(log.empty());
}

TEST_F(StringGridTest, MouseToCellAndCellRectAgreeWithTheDrawnLayout) {
  Fill(3);
  // Header 0..15, a divider at 16, data rows of 16 from 17; columns of
  // 100 and 70 with a one-pixel divider after each.
  const struct {
    int x, y, col, row;
  } points[] = {
      {0, 0, 0, 0},     {99, 15, 0, 0},   {100, 16, 0, 0},    {101, 16, 1, 0}, {0, 17, 0, 1},
      {50, 32, 0, 1},   {50, 33, 0, 2},   {380, 70, 4, 4},    {384, 20, 4, 1}, {385, 20, -1, -1},
      {50, 81, -1, -1}, {-1, 20, -1, -1}, {200, 134, -1, -1},
  };
  for (const auto& pt : points) {
    int col = 7;
    int row = 7;
    grid->MouseToCell(pt.x, pt.y, col, row);
    EXPECT_EQ(col, pt.col) << pt.x << "," << pt.y;
    EXPECT_EQ(row, pt.row) << pt.x << "," << pt.y;
  }
  EXPECT_EQ(grid->CellRect(0, 0), QRect(0, 0, 100, 16));
  EXPECT_EQ(grid->CellRect(2, 3), QRect(172, 49, 70, 16));
  EXPECT_TRUE(grid->CellRect(0, 5).isEmpty());
  EXPECT_TRUE(grid->CellRect(5, 1).isEmpty());
}

TEST_F(StringGridTest, MouseMovesReportClientCoordinates) {
  std::vector<QPoint> moves;
  grid->OnMouseMove = [&](QObject* s, Qt::KeyboardModifiers, int x, int y) {
    EXPECT_EQ(s, grid);
    moves.push_back(QPoint(x, y));
  };
  QTest::mouseMove(view(), QPoint(50, 30));
  QTest::mouseMove(view(), QPoint(120, 60));
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back(), QPoint(120, 60));
}

TEST_F(StringGridTest, DraggingAHeaderDividerResizesTheColumnWithoutAClick) {
  Fill(3);
  QTest::mousePress(view(), Qt::LeftButton, {}, QPoint(100, 8));
  QTest::mouseMove(view(), QPoint(115, 8));
  QTest::mouseMove(view(), QPoint(130, 10));
  QTest::mouseRelease(view(), Qt::LeftButton, {}, QPoint(130, 10));
  EXPECT_EQ(grid->ColWidth(0), 130);
  EXPECT_EQ(grid->ColWidth(1), 70);
  EXPECT_EQ(grid->CellRect(1, 1).left(), 131);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(grid->Row(), 1);
}

TEST_F(StringGridTest, TheSelectedRowIsScrolledIntoView) {
  Fill(20);  // 22 rows; 7 data rows fit
  grid->SetRow(15);
  QRect r = grid->CellRect(0, 15);
  ASSERT_FALSE(r.isEmpty());
  EXPECT_LE(r.bottom(), view()->height() - 1);
  EXPECT_TRUE(grid->CellRect(0, 1).isEmpty());
  QCoreApplication::processEvents();  // the scroll bar shows itself on a queued call
  EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
  EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());

  grid->SetRow(2);
  EXPECT_EQ(grid->TopRow(), 2);
  QTest::keyClick(grid, Qt::Key_Up);
  EXPECT_EQ(grid->TopRow(), 1);
  int col = -1;
  int row = -1;
  grid->MouseToCell(10, 20, col, row);
  EXPECT_EQ(row, 1);

  grid->SetRow(21);
  grid->SetRowCount(2);  // cut: the scroll position follows
  EXPECT_EQ(grid->TopRow(), 1);
  EXPECT_FALSE(grid->CellRect(0, 1).isEmpty());
}

TEST_F(StringGridTest, TheTooltipShowsTheHintOnlyWhileTheSwitchIsOn) {
  const QPoint at = CellCentre(0, 1);
  auto ask = [&] {
    QHelpEvent help(QEvent::ToolTip, at, view()->mapToGlobal(at));
    QApplication::sendEvent(view(), &help);
  };
  grid->SetHint("/music/a.mp3");
  ask();
  EXPECT_FALSE(QToolTip::isVisible());
  grid->SetShowHint(true);
  ask();
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), "/music/a.mp3");
  // The tip fades out on a timer once told to go.
  grid->SetShowHint(false);
  ask();
  EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
  grid->SetShowHint(true);
  grid->SetHint("");
  ask();
  EXPECT_FALSE(QToolTip::isVisible());
  grid->SetHint("/music/b.mp3");
  ask();
  EXPECT_EQ(QToolTip::text(), "/music/b.mp3");
}

}  // namespace
