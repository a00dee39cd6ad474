// The hint line and the tooltips, driven by real mouse moves over the window.

#include <QCoreApplication>
#include <QMouseEvent>

#include "tests/window/WindowFixture.h"

namespace {

using HintTest = WindowTest;

void MoveOver(QWidget* w, QPoint at = QPoint(-1, -1)) {
  // The grid's cells live in its viewport, which gets the grid's mouse moves.
  if (auto* grid = qobject_cast<TStringGrid*>(w)) w = grid->viewport();
  if (at.x() < 0) at = QPoint(w->width() / 2, w->height() / 2);
  QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &move);
}

TEST_F(HintTest, EveryControlWritesItsOwnText) {
  const QString grid = QStringLiteral("... This is List of Files to Process   (Right-Click for Options) ...");
  const std::vector<std::pair<QWidget*, QString>> table = {
      {form->Panel3, "... Set START_FRAME for Current File ..."},
      {form->Panel5, "... Set START_FRAME for Current File ..."},
      {form->StartFrame_SE, "... Set START_FRAME for Current File ..."},
      {form->Panel4, "... Set STOP_FRAME for Current File ..."},
      {form->Panel6, "... Set STOP_FRAME for Current File ..."},
      {form->StopFrame_SE, "... Set STOP_FRAME for Current File ..."},
      {form->Panel29, "... Number of Current File ..."},
      {form->Panel1, "... Program Status ..."},
      {form->Panel15, "... MPEG Version ..."},
      {form->Panel16, "... MPEG Version ..."},
      {form->Panel17, "... MPEG Layer ..."},
      {form->Panel18, "... MPEG Layer ..."},
      {form->Panel19, "... MPEG BitRate ..."},
      {form->Panel20, "... MPEG BitRate ..."},
      {form->Panel25, "... MPEG Sample Rate ..."},
      {form->Panel26, "... MPEG Sample Rate ..."},
      {form->Panel21, "... MPEG Mode ..."},
      {form->Panel22, "... MPEG Mode ..."},
      {form->Panel23, "... MPEG is Copyrighted or not ..."},
      {form->Panel24, "... MPEG is Copyrighted or not ..."},
      {form->Panel31, "... MPEG is Original or not ..."},
      {form->Panel32, "... MPEG is Original or not ..."},
      {form->Panel27, "... Number of Valid Frames ..."},
      {form->Panel28, "... Number of Valid Frames ..."},
      {form->CurrentJob_Panel, "... Procent Done for Current Job in Process ..."},
      {form->TotalJobs_Panel, "... Procent Done for Total Jobs in Process ..."},
      {form->Panel33, "... Elapsed Time for Current File ..."},
      {form->StaticText1, "... Elapsed Time for Current File ..."},
      {form->Panel35, "... Remaining Time for Current File ..."},
      {form->StaticText2, "... Remaining Time for Current File ..."},
      {form->Panel36, "... Current Frame from Total Frames of File ..."},
      {form->StaticText3, "... Current Frame from Total Frames of File ..."},
      {form->SetStart_SB, "... Push to Set START_FRAME at Current Frame ..."},
      {form->SetStop_SB, "... Push to Set STOP_FRAME at Current Frame ..."},
      {form->Prev_SB, "... Go To Previous File ..."},
      {form->Stop_SB, "... Stop Playing ..."},
      {form->Play_SB, "... Play Current File ..."},
      {form->Next_SB, "... Go To Next File ..."},
      {form->OpenFile_SB, "... Open / Add Files to Process List ..."},
      {form->StartProcess_SB, "... Start Processing ALL Files In List  /  Save to File ..."},
      {form->Panel2, "... Name of Current File ..."},
      {form->Files_SG, grid},
  };
  for (const auto& [w, text] : table) {
    form->Hint_Panel->SetCaption(QStringLiteral("before"));
    MoveOver(w);
    EXPECT_EQ(form->Hint_Panel->Caption(), text) << w->metaObject()->className() << " " << text.toStdString();
  }
  // The bar panels, given a width, say the same as their outer panels.
  form->ShowJobProgress(1, 2);
  form->ShowTotalProgress(1, 2);
  MoveOver(form->ProcentCurrentJob_Panel);
  EXPECT_EQ(form->Hint_Panel->Caption(), QStringLiteral("... Procent Done for Current Job in Process ..."));
  MoveOver(form->ProcentTotalJobs_Panel);
  EXPECT_EQ(form->Hint_Panel->Caption(), QStringLiteral("... Procent Done for Total Jobs in Process ..."));
  // The hidden counter of frames has its own text, should it ever show.
  form->Panel9MouseMove(form->Panel9, Qt::NoModifier, 0, 0);
  EXPECT_EQ(form->Hint_Panel->Caption(), QStringLiteral("... Current Frame ..."));
}

TEST_F(HintTest, BackgroundClearsTheLineAndControlsWithoutHandlerLeaveIt) {
  EXPECT_EQ(form->Hint_Panel->Caption(), QStringLiteral("Hint_Panel"));
  for (QWidget* background :
       std::vector<QWidget*>{form->Panel8, form->Panel12, form->Panel30, form->Hint_Panel, form->Panel34,
                             form->Panel10, form->Panel13}) {
    form->Hint_Panel->SetCaption(QStringLiteral("before"));
    MoveOver(background, QPoint(1, 1));
    EXPECT_EQ(form->Hint_Panel->Caption(), QString()) << background->metaObject()->className();
  }
  form->Hint_Panel->SetCaption(QStringLiteral("before"));
  // Panels cover the whole window; the window's own handler clears the line too.
  form->FormMouseMove(form.get(), Qt::NoModifier, 0, 0);
  EXPECT_EQ(form->Hint_Panel->Caption(), QString());

  form->Hint_Panel->SetCaption(QStringLiteral("kept"));
  MoveOver(form->TrackBar);
  EXPECT_EQ(form->Hint_Panel->Caption(), QStringLiteral("kept"));
  MoveOver(form->Panel11, QPoint(0, 0));
  EXPECT_EQ(form->Hint_Panel->Caption(), QStringLiteral("kept"));
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
  MoveOver(form->Panel2);
  EXPECT_EQ(form->Panel2->toolTip(), QStringLiteral("a.mp3"));
}

}  // namespace
