// The hint line and the tooltips, driven by the pointer as a user moves it:
// every move goes in through the window at window coordinates and reaches
// whatever child lies there, not straight to the control a handler is bound to.

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <map>
#include <set>

#include "tests/window/WindowFixture.h"

namespace {

// The first widget each mouse move is delivered to: the one under the
// pointer, whether it keeps the move or passes it on.
class MoveReceivers : public QObject {
 public:
  MoveReceivers() { qApp->installEventFilter(this); }
  ~MoveReceivers() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::MouseMove && first == nullptr) first = qobject_cast<QWidget*>(o);
    return false;
  }
  QWidget* first = nullptr;
};

class HintTest : public WindowTest {
 protected:
  // Moves the pointer over a point of a control (its centre by default); the
  // grid's points are those of its cells' area.
  void MoveOver(QWidget* w, QPoint at = QPoint(-1, -1)) {
    if (auto* grid = qobject_cast<TStringGrid*>(w)) w = grid->viewport();
    if (at.x() < 0) at = w->rect().center();
    const QPoint p = w->mapTo(form.get(), at);
    ASSERT_FALSE(p.isNull()) << "QTest reads the null point as the window's centre";
    QTest::mouseMove(form->windowHandle(), p);
  }
};

// Sweeps the pointer over the whole window. Every part of a control (a spin
// edit's editor and arrows, a label's value panel, the grid's scroll bars)
// raises that control's handler; the surface clears the line; the seek bar
// and the grid's frame have no handler and leave it.
TEST_F(HintTest, EveryPointOfTheWindowShowsTheHintOfTheControlUnderIt) {
  EXPECT_EQ(form->Hint_Panel->Caption(), QStringLiteral("Hint_Panel"));  // until the pointer moves
  // A long list, so the grid shows its scroll bar; bars with a width.
  const QString a = Fixture("cbr128.mp3", "a.mp3");
  for (int i = 0; i < 12; ++i) Add(a);
  form->ShowJobProgress(1, 2);
  form->ShowTotalProgress(1, 2);
  QCoreApplication::processEvents();

  T_MainForm& f = *form;
  const QString start = "... Set START_FRAME for Current File ...";
  const QString stop = "... Set STOP_FRAME for Current File ...";
  const QString current = "... Procent Done for Current Job in Process ...";
  const QString total = "... Procent Done for Total Jobs in Process ...";
  // The hint table: each control with its handler's text.
  const std::map<QWidget*, QString> hints = {
      {f.Panel3, start},
      {f.Panel5, start},
      {f.StartFrame_SE, start},
      {f.Panel4, stop},
      {f.Panel6, stop},
      {f.StopFrame_SE, stop},
      {f.Panel29, "... Number of Current File ..."},
      {f.Panel1, "... Program Status ..."},
      {f.Panel15, "... MPEG Version ..."},
      {f.Panel16, "... MPEG Version ..."},
      {f.Panel17, "... MPEG Layer ..."},
      {f.Panel18, "... MPEG Layer ..."},
      {f.Panel19, "... MPEG BitRate ..."},
      {f.Panel20, "... MPEG BitRate ..."},
      {f.Panel25, "... MPEG Sample Rate ..."},
      {f.Panel26, "... MPEG Sample Rate ..."},
      {f.Panel21, "... MPEG Mode ..."},
      {f.Panel22, "... MPEG Mode ..."},
      {f.Panel23, "... MPEG is Copyrighted or not ..."},
      {f.Panel24, "... MPEG is Copyrighted or not ..."},
      {f.Panel31, "... MPEG is Original or not ..."},
      {f.Panel32, "... MPEG is Original or not ..."},
      {f.Panel27, "... Number of Valid Frames ..."},
      {f.Panel28, "... Number of Valid Frames ..."},
      {f.ProcentCurrentJob_Panel, current},
      {f.CurrentJob_Panel, current},
      {f.ProcentTotalJobs_Panel, total},
      {f.TotalJobs_Panel, total},
      {f.Panel33, "... Elapsed Time for Current File ..."},
      {f.StaticText1, "... Elapsed Time for Current File ..."},
      {f.Panel35, "... Remaining Time for Current File ..."},
      {f.StaticText2, "... Remaining Time for Current File ..."},
      {f.Panel36, "... Current Frame from Total Frames of File ..."},
      {f.StaticText3, "... Current Frame from Total Frames of File ..."},
      {f.SetStart_SB, "... Push to Set START_FRAME at Current Frame ..."},
      {f.SetStop_SB, "... Push to Set STOP_FRAME at Current Frame ..."},
      {f.Prev_SB, "... Go To Previous File ..."},
      {f.Stop_SB, "... Stop Playing ..."},
      {f.Play_SB, "... Play Current File ..."},
      {f.Next_SB, "... Go To Next File ..."},
      {f.OpenFile_SB, "... Open / Add Files to Process List ..."},
      {f.StartProcess_SB, "... Start Processing ALL Files In List  /  Save to File ..."},
      {f.Panel2, "... Name of Current File ..."},
      {f.Files_SG, "... This is List of Files to Process   (Right-Click for Options) ..."},
  };
  const std::set<QWidget*> surface = {f.Panel8,  f.Panel12, f.Panel30, f.Hint_Panel,
                                      f.Panel34, f.Panel10, f.Panel13};
  const std::set<QWidget*> withoutHandler = {f.Panel11, f.TrackBar};

  // The control whose handler a point of `part` raises; the window itself
  // when no control of the layout holds it.
  auto controlOf = [&](QWidget* part) -> QWidget* {
    for (QWidget* w = part; w != nullptr && w != form.get(); w = w->parentWidget()) {
      if (hints.count(w) || surface.count(w) || withoutHandler.count(w)) return w;
    }
    return form.get();
  };

  std::map<QWidget*, int> met;
  std::set<QWidget*> receivers;
  const QString before = "before";
  for (int y = 0; y < f.height(); y += 2) {
    for (int x = (y / 2) % 2; x < f.width(); x += 2) {
      const QPoint p(x, y);
      if (p.isNull()) continue;  // QTest reads the null point as the window's centre
      QWidget* part = f.childAt(p);
      QWidget* control = controlOf(part);
      f.Hint_Panel->SetCaption(before);
      MoveReceivers delivered;
      QTest::mouseMove(form->windowHandle(), p);
      // The move really went to the part under the pointer.
      ASSERT_EQ(delivered.first, part != nullptr ? part : form.get())
          << x << "," << y << " went to "
          << (delivered.first ? delivered.first->metaObject()->className() : "nothing");
      receivers.insert(delivered.first);
      ++met[control];
      QString expected;
      if (hints.count(control)) {
        expected = hints.at(control);
      } else if (withoutHandler.count(control)) {
        expected = before;
      }
      ASSERT_EQ(f.Hint_Panel->Caption(), expected)
          << x << "," << y << " over " << part->metaObject()->className() << " of "
          << control->metaObject()->className();
    }
  }
  for (const auto& [control, text] : hints) {
    EXPECT_GT(met[control], 0) << text.toStdString() << " never met";
  }
  // The parts that once kept their moves to themselves.
  for (TSpinEdit* se : {f.StartFrame_SE, f.StopFrame_SE}) {
    EXPECT_TRUE(receivers.count(se->Editor()));
    EXPECT_TRUE(receivers.count(se->UpButton()));
    EXPECT_TRUE(receivers.count(se->DownButton()));
  }
  EXPECT_TRUE(receivers.count(f.Files_SG->verticalScrollBar()));

  // The hidden counter of frames has its own text, should it ever show.
  f.Panel9MouseMove(f.Panel9, Qt::NoModifier, 0, 0);
  EXPECT_EQ(f.Hint_Panel->Caption(), QStringLiteral("... Current Frame ..."));
}

TEST_F(HintTest, GridTooltipAndCursorFollowTheCellUnderThePointer) {
  const QStringList paths = AddJobs(2);
  TStringGrid* g = form->Files_SG;
  const QPoint firstCell = g->CellRect(0, 1).center();
  MoveOver(g, firstCell);
  EXPECT_TRUE(g->ShowHint());
  EXPECT_EQ(g->Hint(), paths[0]);
  EXPECT_EQ(g->cursor().shape(), Qt::PointingHandCursor);

  MoveOver(g, g->CellRect(2, 2).center());  // another column of a job row
  EXPECT_FALSE(g->ShowHint());
  EXPECT_EQ(g->Hint(), paths[0]);  // the text is left as it was
  EXPECT_EQ(g->cursor().shape(), Qt::PointingHandCursor);

  for (const QPoint at :
       {g->CellRect(1, 0).center(), g->CellRect(3, 3).center(), QPoint(g->width() - 3, g->height() - 3)}) {
    MoveOver(g, at);
    EXPECT_FALSE(g->ShowHint());
    EXPECT_EQ(g->cursor().shape(), Qt::ArrowCursor);
  }
  // The spare row's first cell: the free entry's empty path.
  MoveOver(g, g->CellRect(0, 3).center());
  EXPECT_EQ(g->Hint(), QString());
  EXPECT_EQ(g->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(HintTest, EmptyListNeverShowsAGridTooltip) {
  TStringGrid* g = form->Files_SG;
  EXPECT_EQ(g->cursor().shape(), Qt::PointingHandCursor);
  MoveOver(g, g->CellRect(0, 1).center());
  EXPECT_EQ(g->Hint(), QString());
  EXPECT_EQ(g->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(HintTest, CurrentFileTooltipRepeatsItsName) {
  MoveOver(form->Panel2);
  EXPECT_EQ(form->Panel2->toolTip(), QString());
  AddJobs(1);
  MoveOver(form->Panel2, QPoint(5, 5));  // a move to where the pointer already is moves nothing
  EXPECT_EQ(form->Panel2->toolTip(), QStringLiteral("a.mp3"));
}

}  // namespace
