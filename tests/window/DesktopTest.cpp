// What comes from the desktop: files dropped on the window, the keys, and
// range values typed digit by digit.

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <algorithm>

#include "jobs/AddFiles.h"
#include "tests/window/WindowFixture.h"

namespace {

class DesktopTest : public WindowTest {
 protected:
  // Drops the paths on the window at `at` as the toolkit delivers a drop,
  // then lets the window serve what the drop left for later.
  void Drop(const QStringList& paths, QPoint at = QPoint(200, 60)) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    QCoreApplication::processEvents();
  }
  QStringList Names() const {
    QStringList names;
    for (int r = 1; r <= form->JobCount; ++r) names << form->Files_SG->Cell(0, r);
    return names;
  }
  std::size_t CommandCount(const std::string& text) const {
    const auto all = Commands();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), text));
  }
};

TEST_F(DesktopTest, DroppedFilesAndFoldersAreAddedInTheOrderDroppedAndBadFilesAreNamed) {
  const QString single = Fixture("cbr128.mp3", "single.mp3");
  const QString bad = WriteFile("notes.mp3", QByteArray(5000, 'x'));
  ASSERT_TRUE(QDir(tmp.path()).mkpath("album"));
  Fixture("cbr128.mp3", "album/02 second.mp3");
  Fixture("vbr.mp3", "album/01 first.MP3");
  Fixture("mpeg1-l2.mp2", "album/03 third.mp2");
  WriteFile("album/cover.jpg", QByteArray(3000, 'j'));
  WriteFile("album/readme.txt", QByteArray("not audio"));

  Drop({single, TempPath("album"), bad});
  EXPECT_EQ(Names(), (QStringList{"single.mp3", "01 first.MP3", "02 second.mp3", "03 third.mp2"}));
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_EQ(dlg.boxes[0].text, "Is Something Strange With This File !\n" + bad);
  // Each file as the open button adds it: the last one is current and loaded.
  EXPECT_EQ(form->CurrentJob, 3);
  EXPECT_EQ(form->Panel2->Caption(), QStringLiteral("03 third.mp2"));
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
  EXPECT_EQ(form->JobTable[3].TotalFrames, Frames(TempPath("album/03 third.mp2")));
}

TEST_F(DesktopTest, ADropBeyondTheHundredthFileAddsUpToTheLimitAndSaysSoOnce) {
  const QString f = Fixture("cbr128.mp3", "f.mp3");
  for (int i = 0; i < 98; ++i) Add(f);
  ASSERT_EQ(form->JobCount, 98);
  Drop({f, f, f, f, f});
  EXPECT_EQ(form->JobCount, 100);
  EXPECT_EQ(form->Files_SG->RowCount(), 102);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(dlg.boxes[0].text.startsWith("The list is full")) << dlg.boxes[0].text.toStdString();
}

TEST_F(DesktopTest, OnlyLocalFilesAreTakenFromADrag) {
  QMimeData data;
  data.setText("some text");
  QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  enter.ignore();
  QApplication::sendEvent(form.get(), &enter);
  EXPECT_FALSE(enter.isAccepted());
  data.setUrls({QUrl("https://example.org/a.mp3")});
  QDragEnterEvent remote(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  remote.ignore();
  QApplication::sendEvent(form.get(), &remote);
  EXPECT_FALSE(remote.isAccepted());
}

// Numbered names in the order they are numbered.
TEST(NaturalOrder, NumbersCompareByValue) {
  const struct {
    const char* before;
    const char* after;
  } pairs[] = {
      {"Track 2.mp3", "Track 10.mp3"}, {"track 9.mp3", "Track 10.mp3"}, {"a1b2.mp3", "a1b10.mp3"},
      {"01 Intro.mp3", "2 Song.mp3"},  {"Disc 1 - 10.mp3", "Disc 2 - 1.mp3"}, {"b.mp3", "C.mp3"},
      {"x.mp3", "x1.mp3"},             {"007.mp3", "7a.mp3"},
  };
  for (const auto& p : pairs) {
    SCOPED_TRACE(p.before);
    EXPECT_TRUE(NaturallyBefore(p.before, p.after));
    EXPECT_FALSE(NaturallyBefore(p.after, p.before));
  }
  EXPECT_FALSE(NaturallyBefore("Track 2.mp3", "Track 2.mp3"));
}

TEST_F(DesktopTest, AFolderStandsForItsMpegAudioFilesInNameOrder) {
  ASSERT_TRUE(QDir(tmp.path()).mkpath("d/sub"));
  for (const char* name :
       {"b.mp3", "a.mpga", "c.mpa", "sub/z.mp3", "x.ogg", "y.wav", "Track 10.mp3", "Track 2.mp3", "track 1.MP3"})
    WriteFile(QStringLiteral("d/") + name, "x");
  const QString plain = WriteFile("plain.txt", "x");
  const QString d = TempPath("d");
  EXPECT_EQ(ExpandFolders({plain, d}), (QStringList{plain, d + "/a.mpga", d + "/b.mp3", d + "/c.mpa",
                                                    d + "/track 1.MP3", d + "/Track 2.mp3", d + "/Track 10.mp3"}));
}

TEST_F(DesktopTest, KeysPlayStopTakeTheFrameAndMoveThroughTheList) {
  AddJobs(3);
  form->Files_SG->setFocus();
  const int n = form->JobTable[2].TotalFrames;
  fake_xaudio::ClearCalls();

  QTest::keyClick(form.get(), Qt::Key_Space);
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdSeek(0, n), CmdPlay()}));
  fake_xaudio::NotifyPlayerState(1);
  fake_xaudio::Deliver();
  fake_xaudio::ClearCalls();
  QTest::keyClick(form.get(), Qt::Key_Space);
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdStop()}));

  // The playing frame, as the player reports it, becomes start and stop.
  fake_xaudio::NotifyInputPosition(40, n);
  fake_xaudio::Deliver();
  QTest::keyClick(form.get(), Qt::Key_O);
  fake_xaudio::NotifyInputPosition(25, n);
  fake_xaudio::Deliver();
  QTest::keyClick(form.get(), Qt::Key_I);
  EXPECT_EQ(form->JobTable[2].StartFrame, 25);
  EXPECT_EQ(form->JobTable[2].StopFrame, 40);
  EXPECT_EQ(Row(3)[1], QStringLiteral("25"));
  EXPECT_EQ(Row(3)[2], QStringLiteral("40"));

  QTest::keyClick(form.get(), Qt::Key_PageUp);
  EXPECT_EQ(form->Files_SG->Row(), 2);
  EXPECT_EQ(form->CurrentJob, 1);
  QTest::keyClick(form.get(), Qt::Key_PageUp);
  QTest::keyClick(form.get(), Qt::Key_PageUp);
  EXPECT_EQ(form->CurrentJob, 0);
  QTest::keyClick(form.get(), Qt::Key_PageDown);
  EXPECT_EQ(form->CurrentJob, 1);
  EXPECT_EQ(form->StartFrame_SE->Value(), 0);

  const std::size_t opens = dlg.opens.size();
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(dlg.opens.size(), opens + 1);
  EXPECT_EQ(form->JobTable[1].StopFrame, form->JobTable[1].TotalFrames);  // O with Ctrl took no stop frame
}

// A focused range box takes the keys that type: Space, I and O are refused
// there with its beep and do nothing else.
TEST_F(DesktopTest, ARangeBoxWithTheFocusKeepsTheKeysThatType) {
  AddJobs(2);
  const int n = form->JobTable[1].TotalFrames;
  fake_xaudio::NotifyInputPosition(30, n);
  fake_xaudio::Deliver();
  QLineEdit* editor = form->StartFrame_SE->Editor();
  editor->setFocus();
  ASSERT_TRUE(editor->hasFocus());
  fake_xaudio::ClearCalls();
  const int beeps = form->StartFrame_SE->BeepCount();
  for (Qt::Key k : {Qt::Key_Space, Qt::Key_I, Qt::Key_O}) QTest::keyClick(editor, k);
  EXPECT_EQ(form->StartFrame_SE->BeepCount(), beeps + 3);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(form->JobTable[1].StartFrame, 0);
  EXPECT_EQ(form->JobTable[1].StopFrame, n);
  EXPECT_EQ(editor->text(), QStringLiteral("0"));
}

// Digit by digit, a typed value never moves the other box; a committed one
// pushes it, whichever way it is committed.
TEST_F(DesktopTest, ATypedValuePushesTheOtherBoxOnlyOnceCommitted) {
  struct Case {
    const char* name;
    bool intoStop;  // else into the start box
    int start, stop;
    const char* typed;
    int commit;  // 0 Tab, 1 Enter, 2 Page Down (next job), 3 process
    int startAfter, stopAfter;
  } cases[] = {
      {"stop below start, Tab", true, 60, 90, "40", 0, 40, 40},
      {"stop below start, Enter", true, 60, 90, "40", 1, 40, 40},
      {"start above stop, Enter", false, 10, 50, "70", 1, 70, 70},
      {"stop below start, next job", true, 60, 90, "40", 2, 40, 40},
      {"start above stop, processing", false, 10, 50, "70", 3, 70, 70},
      {"stop above start, Tab", true, 10, 50, "80", 0, 10, 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dlg.boxes.clear();
    if (form->JobCount > 0) form->ClearJobList();
    AddJobs(2);
    form->Files_SG->SetRow(1);
    form->SelectCurrentJob();
    form->StartFrame_SE->SetValue(c.start);
    form->StopFrame_SE->SetValue(c.stop);
    TSpinEdit* box = c.intoStop ? form->StopFrame_SE : form->StartFrame_SE;
    box->Editor()->setFocus();
    box->Editor()->selectAll();
    for (const char* d = c.typed; *d != '\0'; ++d) {
      QTest::keyClicks(box->Editor(), QString(QLatin1Char(*d)));
      const int typedSoFar = QString::fromLatin1(c.typed, static_cast<int>(d - c.typed + 1)).toInt();
      // Stored and shown at once, the other box untouched.
      EXPECT_EQ(c.intoStop ? form->JobTable[0].StopFrame : form->JobTable[0].StartFrame, typedSoFar);
      EXPECT_EQ(Row(1)[c.intoStop ? 2 : 1], QString::number(typedSoFar));
      EXPECT_EQ(form->TrackBar->Position(), typedSoFar);
      EXPECT_EQ(c.intoStop ? form->JobTable[0].StartFrame : form->JobTable[0].StopFrame,
                c.intoStop ? c.start : c.stop);
    }
    switch (c.commit) {
      case 0:
        QTest::keyClick(box->Editor(), Qt::Key_Tab);
        break;
      case 1:
        QTest::keyClick(box->Editor(), Qt::Key_Return);
        break;
      case 2:
        QTest::keyClick(box->Editor(), Qt::Key_PageDown);
        EXPECT_EQ(form->CurrentJob, 1);
        break;
      default:
        dlg.saveAnswers.push_back(TempPath("out.mp3"));
        QFile::remove(TempPath("out.mp3"));
        form->StartProcess_SB->Click();
        break;
    }
    EXPECT_EQ(form->JobTable[0].StartFrame, c.startAfter);
    EXPECT_EQ(form->JobTable[0].StopFrame, c.stopAfter);
    EXPECT_EQ(Row(1)[1], QString::number(c.startAfter));
    EXPECT_EQ(Row(1)[2], QString::number(c.stopAfter));
    EXPECT_TRUE(dlg.boxes.empty());
  }
}

}  // namespace
