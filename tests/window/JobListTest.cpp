// The job list as the user builds and edits it: adding files, selecting jobs,
// editing ranges, deleting and clearing.

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

#include "app/SystemColors.h"
#include "tests/window/WindowFixture.h"

namespace {

using JobListTest = WindowTest;

TEST_F(JobListTest, AddingAFileListsItAndMakesItCurrent) {
  const QString a = Fixture("cbr128.mp3", "track01.mp3");
  const int n = Frames(a);
  ASSERT_GT(n, 50);
  Add(a);

  ASSERT_EQ(dlg.opens.size(), 1u);
  EXPECT_EQ(dlg.opens[0].title, QStringLiteral("Open MP3 Files ..."));
  EXPECT_EQ(dlg.opens[0].initialDir, QStringLiteral("C:\\"));
  EXPECT_EQ(form->JobCount, 1);
  EXPECT_EQ(form->CurrentJob, 0);
  EXPECT_EQ(Rows(), 3);
  EXPECT_EQ(Row(1), (QStringList{"track01.mp3", "0", QString::number(n), QString::number(n), "00:00.03"}));
  EXPECT_EQ(Row(2), (QStringList{"", "", "", "", ""}));
  EXPECT_EQ(form->Files_SG->Row(), 1);
  EXPECT_EQ(form->Panel29->Caption(), QStringLiteral("1 of 1 Files"));
  EXPECT_EQ(form->Panel2->Caption(), QStringLiteral("track01.mp3"));
  EXPECT_EQ(form->StartFrame_SE->Text(), QStringLiteral("0"));
  EXPECT_EQ(form->StopFrame_SE->Text(), QString::number(n));
  EXPECT_EQ(form->StartFrame_SE->MaxValue(), n);
  EXPECT_EQ(form->StopFrame_SE->MaxValue(), n);
  EXPECT_EQ(form->TrackBar->Max(), n);
  EXPECT_EQ(form->TrackBar->Position(), 0);
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
  EXPECT_EQ(form->Panel1->FontColor(), syscolors::BtnFace());
  EXPECT_EQ(form->LastDirectory, tmp.path() + "/");

  const _FileInfo& job = form->JobTable[0];
  EXPECT_EQ(job.Path, a);
  EXPECT_EQ(job.StartFrame, 0);
  EXPECT_EQ(job.StopFrame, n);
  EXPECT_EQ(job.TotalFrames, n);
  EXPECT_EQ(job.FileSize, QFileInfo(a).size());

  // Stream information of the file's first frame.
  EXPECT_EQ(form->Panel16->Caption(), QStringLiteral("MPEG 1"));
  EXPECT_EQ(form->Panel18->Caption(), QStringLiteral("III"));
  EXPECT_EQ(form->Panel20->Caption(), QStringLiteral("128 kbps"));
  EXPECT_EQ(form->Panel26->Caption(), QStringLiteral("44100 Hz"));
  EXPECT_EQ(form->Panel22->Caption(), QStringLiteral("Joint-Stereo"));
  EXPECT_EQ(form->Panel28->Caption(), QString::number(n));

  // The player opened the file with frames as its position units, and was not told to play.
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdInputOpen(a), CmdSetRange(n), CmdSeek(0, n)}));
}

TEST_F(JobListTest, ThreeFilesInTheOrderAddedAndTheSameFileTwice) {
  const QString a = Fixture("cbr128.mp3", "a.mp3");
  const QString b = Fixture("mpeg2-l3.mp3", "b.mp3");
  Add(a);
  Add(b);
  Add(a);
  EXPECT_EQ(form->JobCount, 3);
  EXPECT_EQ(Rows(), 5);
  EXPECT_EQ(Row(1)[0], QStringLiteral("a.mp3"));
  EXPECT_EQ(Row(2)[0], QStringLiteral("b.mp3"));
  EXPECT_EQ(Row(3)[0], QStringLiteral("a.mp3"));
  EXPECT_EQ(Row(4), (QStringList{"", "", "", "", ""}));
  EXPECT_EQ(form->CurrentJob, 2);
  EXPECT_EQ(form->Files_SG->Row(), 3);
  EXPECT_EQ(form->Panel29->Caption(), QStringLiteral("1 of 3 Files"));
  EXPECT_EQ(form->JobTable[0].Path, form->JobTable[2].Path);
  // Each later dialog starts where the last file was chosen.
  EXPECT_EQ(dlg.opens[1].initialDir, tmp.path() + "/");
}

// Only '/' separates directories: ':' and '\\' are characters of a name,
// wherever the name or its folder shows.
TEST_F(JobListTest, ColonsAndBackslashesBelongToTheName) {
  const struct {
    const char* folder;
    const char* name;
  } cases[] = {{"plain", "we:ird.mp3"}, {"plain", "back\\slash.mp3"}, {"C:\\x", "a:b\\c.mp3"}};
  for (const auto& c : cases) {
    const QString folder = TempPath(QString::fromLatin1(c.folder));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = Fixture("cbr128.mp3", QString::fromLatin1(c.folder) + "/" + c.name);
    Add(path);
    const int row = form->JobCount;
    SCOPED_TRACE(path.toStdString());
    EXPECT_EQ(Row(row)[0], QString::fromLatin1(c.name));
    EXPECT_EQ(form->Panel2->Caption(), QString::fromLatin1(c.name));
    EXPECT_EQ(form->LastDirectory, folder + "/");
    EXPECT_EQ(form->OpenDialog1.InitialDir, folder + "/");

    // The tooltips as the pointer brings them up.
    QWidget* view = form->Files_SG->viewport();
    const QPoint cell = form->Files_SG->CellRect(0, row).center();
    QTest::mouseMove(form->windowHandle(), view->mapTo(form.get(), cell));
    EXPECT_TRUE(form->Files_SG->ShowHint());
    EXPECT_EQ(form->Files_SG->Hint(), path);
    QTest::mouseMove(form->windowHandle(), form->Panel2->mapTo(form.get(), form->Panel2->rect().center()));
    EXPECT_EQ(form->Panel2->toolTip(), QString::fromLatin1(c.name));
  }
  // The next dialog starts in the folder of the last file chosen.
  Add(QString());
  EXPECT_EQ(dlg.opens.back().initialDir, TempPath("C:\\x") + "/");
}

TEST_F(JobListTest, NewJobsGoToTheEndWhateverRowIsSelected) {
  AddJobs(2);
  form->Files_SG->SetRow(1);
  Add(Fixture("cbr128.mp3", "c.mp3"));
  EXPECT_EQ(Row(3)[0], QStringLiteral("c.mp3"));
  form->Files_SG->SetRow(4);  // the spare row
  Add(Fixture("cbr128.mp3", "d.mp3"));
  EXPECT_EQ(Row(4)[0], QStringLiteral("d.mp3"));
  EXPECT_EQ(Rows(), 6);
  EXPECT_EQ(form->CurrentJob, 3);
}

TEST_F(JobListTest, AFileWithoutFramesIsRefusedAndTheNextDialogStartsInItsFolder) {
  QDir().mkpath(TempPath("texts"));
  const QString text =
      WriteFile("texts/notes.txt", QByteArray("just some text, no frames here\n").repeated(50));
  AddJobs(1);
  fake_xaudio::ClearCalls();
  Add(text);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_EQ(dlg.boxes[0].text, QStringLiteral("Is Something Strange With This File !"));
  EXPECT_EQ(dlg.boxes[0].buttons, dialogs::Buttons::Ok);
  EXPECT_EQ(form->JobCount, 1);
  EXPECT_EQ(Rows(), 3);
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(form->LastDirectory, TempPath("texts") + "/");

  Add(QString());  // cancelled
  ASSERT_EQ(dlg.opens.size(), 3u);
  EXPECT_EQ(dlg.opens[2].initialDir, TempPath("texts") + "/");
  EXPECT_EQ(form->JobCount, 1);
}

TEST_F(JobListTest, SelectingAnotherJobLoadsItsRange) {
  const QStringList paths = AddJobs(2);
  const int n = Frames(paths[0]);
  form->JobTable[0].StartFrame = 10;
  form->JobTable[0].StopFrame = 40;
  form->JobTable[1].StartFrame = 50;
  form->JobTable[1].StopFrame = 60;
  form->Files_SG->SetRow(1);
  fake_xaudio::ClearCalls();
  form->Files_SG->SetRow(2);

  EXPECT_EQ(form->CurrentJob, 1);
  EXPECT_EQ(form->StartFrame_SE->Value(), 50);
  EXPECT_EQ(form->StopFrame_SE->Value(), 60);
  EXPECT_EQ(form->JobTable[1].StartFrame, 50);
  EXPECT_EQ(form->JobTable[1].StopFrame, 60);
  EXPECT_EQ(Row(2)[1], QStringLiteral("50"));
  EXPECT_EQ(Row(2)[2], QStringLiteral("60"));
  EXPECT_EQ(form->TrackBar->Position(), 50);
  EXPECT_EQ(form->TrackBar->Max(), n);
  // Job 1's range was pushed by the start value (50 > 40) and then put back.
  EXPECT_EQ(form->JobTable[0].StartFrame, 10);
  EXPECT_EQ(form->JobTable[0].StopFrame, 40);
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdInputOpen(paths[1]), CmdSetRange(n), CmdSeek(50, n)}));
  EXPECT_EQ(form->Panel29->Caption(), QStringLiteral("1 of 2 Files"));
}

TEST_F(JobListTest, TheSpareRowLeavesTheCurrentJobInPlace) {
  AddJobs(2);
  form->Files_SG->SetRow(1);
  fake_xaudio::ClearCalls();
  form->Files_SG->SetRow(3);
  EXPECT_EQ(form->CurrentJob, 0);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(JobListTest, ArrowKeysLoadOnPressAndAgainOnRelease) {
  const QStringList paths = AddJobs(3);
  form->Files_SG->SetRow(1);
  form->Files_SG->setFocus();
  fake_xaudio::ClearCalls();
  QTest::keyClick(form->Files_SG, Qt::Key_Down);
  EXPECT_EQ(form->Files_SG->Row(), 2);
  EXPECT_EQ(form->CurrentJob, 1);
  int opens = 0;
  for (const std::string& c : Commands()) opens += c == CmdInputOpen(paths[1]) ? 1 : 0;
  EXPECT_EQ(opens, 2);
}

// The grid under the pointer: presses, drags and releases go in through the
// window at window coordinates, as the user's do.
class PointerGridTest : public WindowTest {
 protected:
  QPoint At(QWidget* w, QPoint p) const { return w->mapTo(form.get(), p); }
  QPoint Centre(QWidget* w) const { return At(w, w->rect().center()); }
  // The centre of a grid cell, in window coordinates.
  QPoint Cell(int col, int row) const {
    return At(form->Files_SG->viewport(), form->Files_SG->CellRect(col, row).center());
  }
  QWindow* win() const { return form->windowHandle(); }

  // The current job, the range boxes, the seek bar and the file panel all
  // belong to the grid's selected row.
  void ExpectSelectedRowLoaded(const char* step) {
    SCOPED_TRACE(step);
    const int R = form->Files_SG->Row();
    ASSERT_GE(R, 1);
    ASSERT_LE(R, form->JobCount);
    const _FileInfo& job = form->JobTable[static_cast<std::size_t>(R - 1)];
    EXPECT_EQ(form->CurrentJob, R - 1);
    EXPECT_EQ(form->StartFrame_SE->Value(), job.StartFrame);
    EXPECT_EQ(form->StopFrame_SE->Value(), job.StopFrame);
    EXPECT_EQ(form->TrackBar->Position(), job.StartFrame);
    EXPECT_EQ(form->Panel2->Caption(), FileNamePart(job.Path));
  }

  // Three jobs a, b, c with ranges of their own, the last one current.
  void ThreeJobs() {
    AddJobs(3);
    for (int i = 0; i < 3; ++i) {
      form->JobTable[static_cast<std::size_t>(i)].StartFrame = 10 * (i + 1);
      form->JobTable[static_cast<std::size_t>(i)].StopFrame = 10 * (i + 1) + 5;
    }
    form->SelectCurrentJob();
  }
};

// Pressed on one row and released anywhere, the click follows the selection.
TEST_F(PointerGridTest, ThePressedRowBecomesCurrentWhereverTheButtonIsReleased) {
  ThreeJobs();
  form->Files_SG->SetRow(3);
  ExpectSelectedRowLoaded("start");

  // Press on row 2, drag out of the grid, release over the panel below it.
  const QPoint below = Centre(form->Panel12) + QPoint(0, 20);
  QTest::mousePress(win(), Qt::LeftButton, {}, Cell(0, 2));
  QTest::mouseMove(win(), Cell(0, 2) + QPoint(0, 60));
  QTest::mouseMove(win(), below);
  QTest::mouseRelease(win(), Qt::LeftButton, {}, below);
  EXPECT_EQ(form->Files_SG->Row(), 2);
  ExpectSelectedRowLoaded("released outside the grid");

  // Typing into the start box then writes the job the grid shows selected.
  QTest::mouseClick(win(), Qt::LeftButton, {}, Centre(form->StartFrame_SE->Editor()));
  form->StartFrame_SE->Editor()->selectAll();
  QTest::keyClicks(form->StartFrame_SE->Editor(), "12");
  EXPECT_EQ(form->JobTable[1].StartFrame, 12);
  EXPECT_EQ(Row(2)[1], QStringLiteral("12"));
  EXPECT_EQ(form->JobTable[0].StartFrame, 10);
  EXPECT_EQ(form->JobTable[2].StartFrame, 30);
  EXPECT_EQ(Row(1)[1], QStringLiteral("0"));  // as it was added: row 1 was never touched

  // Drag across the rows inside the grid: the row under the release wins.
  QTest::mousePress(win(), Qt::LeftButton, {}, Cell(1, 1));
  QTest::mouseMove(win(), Cell(1, 2));
  QTest::mouseMove(win(), Cell(1, 3));
  QTest::mouseRelease(win(), Qt::LeftButton, {}, Cell(1, 3));
  EXPECT_EQ(form->Files_SG->Row(), 3);
  ExpectSelectedRowLoaded("dragged down inside");

  // Drag up past the header and out over the top edge of the window.
  QTest::mousePress(win(), Qt::LeftButton, {}, Cell(2, 3));
  QTest::mouseMove(win(), Cell(2, 1));
  QTest::mouseMove(win(), Cell(2, 0));
  QTest::mouseMove(win(), QPoint(Cell(2, 0).x(), -5));
  QTest::mouseRelease(win(), Qt::LeftButton, {}, QPoint(Cell(2, 0).x(), -5));
  EXPECT_EQ(form->Files_SG->Row(), 1);
  ExpectSelectedRowLoaded("dragged up and out");

  // Keys that move the selection (Page Down is the window's: the next job).
  form->Files_SG->setFocus();
  const struct {
    Qt::Key key;
    int row;
  } keys[] = {{Qt::Key_Down, 2}, {Qt::Key_End, 4}, {Qt::Key_Up, 3}, {Qt::Key_Home, 1}, {Qt::Key_PageDown, 2}};
  int lastJobRow = form->Files_SG->Row();
  for (const auto& k : keys) {
    QTest::keyClick(form->Files_SG, k.key);
    EXPECT_EQ(form->Files_SG->Row(), k.row);
    // The spare row holds no job: the job before stays current.
    if (k.row <= form->JobCount) {
      ExpectSelectedRowLoaded("key");
      lastJobRow = k.row;
    } else {
      EXPECT_EQ(form->CurrentJob, lastJobRow - 1);
    }
  }
}

// Each keystroke is stored and shown; the push on the start waits until the
// stop is committed, so the digits on the way to a value never move it.
TEST_F(JobListTest, TypingIntoTheStopBoxPushesTheStartOnlyWhenCommitted) {
  AddJobs(1);
  form->StartFrame_SE->SetValue(50);
  form->StopFrame_SE->SetValue(90);
  form->StopFrame_SE->Editor()->setFocus();
  form->StopFrame_SE->Editor()->selectAll();
  QTest::keyClick(form->StopFrame_SE->Editor(), Qt::Key_3);
  EXPECT_EQ(form->JobTable[0].StartFrame, 50);
  EXPECT_EQ(form->JobTable[0].StopFrame, 3);
  EXPECT_EQ(Row(1)[1], QStringLiteral("50"));
  EXPECT_EQ(Row(1)[2], QStringLiteral("3"));
  EXPECT_EQ(form->TrackBar->Position(), 3);
  QTest::keyClick(form->StopFrame_SE->Editor(), Qt::Key_0);
  EXPECT_EQ(form->JobTable[0].StartFrame, 50);
  EXPECT_EQ(form->JobTable[0].StopFrame, 30);
  EXPECT_EQ(Row(1)[2], QStringLiteral("30"));
  EXPECT_EQ(form->TrackBar->Position(), 30);
  QTest::keyClick(form->StopFrame_SE->Editor(), Qt::Key_Return);
  EXPECT_EQ(form->JobTable[0].StartFrame, 30);
  EXPECT_EQ(form->JobTable[0].StopFrame, 30);
  EXPECT_EQ(Row(1)[1], QStringLiteral("30"));
  EXPECT_EQ(form->StartFrame_SE->Text(), QStringLiteral("30"));
}

TEST_F(JobListTest, StepUpOnTheStartCarriesTheStopAlong) {
  AddJobs(1);
  form->StartFrame_SE->SetValue(5);
  form->StopFrame_SE->SetValue(6);
  form->StartFrame_SE->StepUp();
  form->StartFrame_SE->StepUp();
  EXPECT_EQ(form->JobTable[0].StartFrame, 7);
  EXPECT_EQ(form->JobTable[0].StopFrame, 7);
  EXPECT_EQ(Row(1)[1], QStringLiteral("7"));
  EXPECT_EQ(Row(1)[2], QStringLiteral("7"));
}

TEST_F(JobListTest, EmptiedOrNegativeEntryIsRestoredOnExit) {
  AddJobs(1);
  form->StartFrame_SE->SetValue(12);
  for (const char* typed : {"", "-5"}) {
    form->StartFrame_SEEnter(form->StartFrame_SE);
    form->StartFrame_SE->SetText(QString::fromLatin1(typed));
    form->StartFrame_SEExit(form->StartFrame_SE);
    EXPECT_EQ(form->StartFrame_SE->Text(), QStringLiteral("12")) << typed;
    EXPECT_EQ(form->JobTable[0].StartFrame, 12) << typed;
  }
}

TEST_F(JobListTest, AValueAboveTheTotalIsKeptWhileFocusedAndClampedOnExit) {
  const QStringList paths = AddJobs(1);
  const int n = Frames(paths[0]);
  QLineEdit* editor = form->StopFrame_SE->Editor();
  editor->setFocus();
  editor->selectAll();
  QTest::keyClicks(editor, QString::number(n + 500));
  EXPECT_EQ(form->JobTable[0].StopFrame, n + 500);
  EXPECT_EQ(Row(1)[2], QString::number(n + 500));
  form->StartFrame_SE->Editor()->setFocus();  // focus leaves the stop box
  QCoreApplication::processEvents();
  EXPECT_EQ(form->StopFrame_SE->Text(), QString::number(n));
  EXPECT_EQ(form->JobTable[0].StopFrame, n);
  EXPECT_EQ(Row(1)[2], QString::number(n));
}

TEST_F(JobListTest, RangeBoxesWithAnEmptyListWriteNothing) {
  form->StartFrame_SE->SetValue(5);
  form->StopFrame_SE->SetValue(3);
  EXPECT_EQ(form->JobTable[0].StartFrame, 0);
  EXPECT_EQ(form->JobTable[0].StopFrame, 0);
  EXPECT_EQ(Row(1), (QStringList{"", "", "", "", ""}));
  Add(Fixture("cbr128.mp3", "a.mp3"));
  EXPECT_EQ(form->JobTable[0].StartFrame, 0);
}

TEST_F(JobListTest, DeletingTheSecondOfThreeClosesTheGap) {
  const QStringList paths = AddJobs(3);
  form->JobTable[2].StartFrame = 7;
  form->JobTable[2].StopFrame = 9;
  form->Files_SG->SetRow(2);
  dlg.boxAnswers.push_back(dialogs::Result::Yes);
  form->Delete1->trigger();

  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_EQ(dlg.boxes[0].text, QStringLiteral("... to Remove this File from your 'Job List' ?"));
  EXPECT_EQ(dlg.boxes[0].caption, QStringLiteral("Are You Shure ... ?"));
  EXPECT_EQ(dlg.boxes[0].buttons, dialogs::Buttons::YesNo);
  EXPECT_EQ(dlg.boxes[0].defaultButton, dialogs::Result::No);
  EXPECT_EQ(dlg.boxes[0].icon, dialogs::Icon::Warning);
  EXPECT_EQ(form->JobCount, 2);
  EXPECT_EQ(form->JobTable[0].Path, paths[0]);
  EXPECT_EQ(form->JobTable[1].Path, paths[2]);
  EXPECT_EQ(form->JobTable[1].StartFrame, 7);
  EXPECT_EQ(form->JobTable[1].StopFrame, 9);
  EXPECT_TRUE(form->JobTable[2].Path.isEmpty());
  EXPECT_EQ(Rows(), 4);
  EXPECT_EQ(Row(2)[0], QStringLiteral("c.mp3"));
  EXPECT_EQ(Row(3), (QStringList{"", "", "", "", ""}));
  EXPECT_EQ(form->Files_SG->Row(), 1);
  EXPECT_EQ(form->CurrentJob, 0);
}

TEST_F(JobListTest, DeleteKeyAsksAndNoChangesNothing) {
  AddJobs(2);
  form->Files_SG->setFocus();
  QTest::keyClick(form->Files_SG, Qt::Key_Delete);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_EQ(form->JobCount, 2);
  EXPECT_EQ(Rows(), 4);
}

TEST_F(JobListTest, DeletingTheOnlyJobEmptiesTheList) {
  AddJobs(1);
  dlg.boxAnswers.push_back(dialogs::Result::Yes);
  form->Delete1Click(nullptr);
  EXPECT_EQ(form->JobCount, 0);
  EXPECT_EQ(Rows(), 2);
  EXPECT_EQ(Row(1), (QStringList{"", "", "", "", ""}));
  EXPECT_EQ(form->Panel29->Caption(), QStringLiteral("0 of 0 Files"));
}

TEST_F(JobListTest, DeleteOnTheSpareRowRemovesNothing) {
  AddJobs(2);
  form->Files_SG->SetRow(3);
  dlg.boxAnswers.push_back(dialogs::Result::Yes);
  form->Delete1Click(nullptr);
  EXPECT_TRUE(dlg.boxes.empty());
  EXPECT_EQ(form->JobCount, 2);
  form->DeleteJob(2);
  EXPECT_EQ(form->JobCount, 2);
}

TEST_F(JobListTest, ClearingFiveAndAddingTwoShowsOnlyTheNewOnes) {
  AddJobs(5);
  form->Files_SG->SetColWidth(0, 150);
  dlg.boxAnswers.push_back(dialogs::Result::Yes);
  form->ClearList1->trigger();
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_EQ(dlg.boxes[0].text, QStringLiteral("... to Remove ALL Files from your 'Job List' ?"));
  EXPECT_EQ(form->JobCount, 0);
  EXPECT_EQ(Rows(), 2);
  EXPECT_EQ(form->Files_SG->ColWidth(0), 100);
  EXPECT_EQ(form->Panel29->Caption(), QStringLiteral("0 of 0 Files"));

  Add(Fixture("cbr128.mp3", "x.mp3"));
  Add(Fixture("cbr128.mp3", "y.mp3"));
  EXPECT_EQ(Rows(), 4);
  EXPECT_EQ(Row(1)[0], QStringLiteral("x.mp3"));
  EXPECT_EQ(Row(2)[0], QStringLiteral("y.mp3"));
  EXPECT_EQ(Row(3), (QStringList{"", "", "", "", ""}));
}

TEST_F(JobListTest, DraggedWidthsSurviveDeletion) {
  AddJobs(2);
  form->Files_SG->SetColWidth(2, 33);
  dlg.boxAnswers.push_back(dialogs::Result::Yes);
  form->Delete1Click(nullptr);
  EXPECT_EQ(form->Files_SG->ColWidth(2), 33);
}

TEST_F(JobListTest, EmptyListCommandsAskNothing) {
  form->Delete1Click(nullptr);
  form->ClearList1Click(nullptr);
  EXPECT_TRUE(dlg.boxes.empty());
}

TEST_F(JobListTest, AVanishedFileShowsNoStreamInformation) {
  const QStringList paths = AddJobs(2);
  QFile::remove(paths[0]);
  form->Files_SG->SetRow(1);
  EXPECT_EQ(form->Panel2->Caption(), QStringLiteral("a.mp3"));
  for (TPanel* p : {form->Panel16, form->Panel18, form->Panel20, form->Panel26, form->Panel22, form->Panel24,
                    form->Panel32}) {
    EXPECT_EQ(p->Caption(), QString());
  }
  EXPECT_EQ(form->Panel28->Caption(), QString::number(form->JobTable[0].TotalFrames));
}

TEST_F(JobListTest, TheHundredAndFirstFileIsRefused) {
  const QString a = Fixture("cbr128.mp3", "a.mp3");
  for (int i = 0; i < kMaxJobs; ++i) Add(a);
  EXPECT_EQ(form->JobCount, 100);
  EXPECT_EQ(Rows(), 102);
  EXPECT_TRUE(dlg.boxes.empty());
  dlg.openAnswers.push_back(a);
  form->OpenFile_SB->Click();
  EXPECT_EQ(form->JobCount, 100);
  EXPECT_EQ(Rows(), 102);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(dlg.boxes[0].text.contains(QStringLiteral("100")));
}

}  // namespace
