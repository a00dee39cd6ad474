// Processing the whole list into one output file, with the counter and the
// two progress bars following the run.

#include <algorithm>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QScreen>
#include <set>

#include "app/SystemColors.h"
#include "stream/Scanner.h"
#include "stream/XingFrame.h"
#include "tests/window/WindowFixture.h"

namespace {

// Records what a panel shows each time it is painted.
class PaintLog : public QObject {
 public:
  explicit PaintLog(TPanel* panel, QWidget* paintedBy = nullptr) : panel_(panel) {
    (paintedBy != nullptr ? paintedBy : panel)->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) shown.emplace_back(panel_->width(), panel_->Caption());
    return false;
  }
  std::vector<std::pair<int, QString>> shown;

 private:
  TPanel* panel_;
};

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

class BatchTest : public WindowTest {
 protected:
  // The frames start..stop of a file, as the engine cuts them on its own.
  QByteArray FramesOf(const QString& path, int start, int stop) {
    const QString out = TempPath(QStringLiteral("expected-%1.bin").arg(expectedCount_++));
    FrameHeader h;
    const std::string in = QFile::encodeName(path).toStdString();
    EXPECT_TRUE(ProbeFile(in, h));
    EXPECT_TRUE(ScanFrames(in, QFile::encodeName(out).toStdString(), start, stop, false, h).Ok());
    return ReadAll(out);
  }
  // Frames as the batch leaves them in a new output: an Info frame copied
  // from the front of a file is made to describe the output.
  QByteArray AsOutput(const QByteArray& frames, bool keepEndPadding) {
    const QString out = TempPath(QStringLiteral("expected-%1.bin").arg(expectedCount_++));
    QFile f(out);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(frames);
    f.close();
    std::string message;
    EXPECT_NE(UpdateOutputXingFrame(QFile::encodeName(out).toStdString(), keepEndPadding, message),
              XingResult::Failed)
        << message;
    return ReadAll(out);
  }
  // A file of exactly n frames of the 128 kbps fixture.
  QString HundredFrames(const QString& name) {
    const QString source = Fixture("cbr128.mp3", "source-" + name);
    const QString out = TempPath(name);
    FrameHeader h;
    const std::string in = QFile::encodeName(source).toStdString();
    EXPECT_TRUE(ProbeFile(in, h));
    EXPECT_TRUE(ScanFrames(in, QFile::encodeName(out).toStdString(), 0, 99, false, h).Ok());
    EXPECT_EQ(Frames(out), 100);
    return out;
  }
  void Run(const QString& output) {
    dlg.saveAnswers.push_back(output);
    form->StartProcess_SB->Click();
  }
  void ExpectIdleWindow() {
    EXPECT_TRUE(form->Files_SG->isEnabled());
    EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
    EXPECT_EQ(form->Panel1->FontColor(), syscolors::BtnFace());
    EXPECT_EQ(form->Panel29->FontColor(), syscolors::BtnFace());
    EXPECT_EQ(form->ProcentCurrentJob_Panel->width(), 0);
    EXPECT_EQ(form->ProcentTotalJobs_Panel->width(), 0);
  }

 private:
  int expectedCount_ = 0;
};

TEST_F(BatchTest, ThreeJobsFollowedByCounterAndBars) {
  const QString a = HundredFrames("a.mp3");
  const QString b = HundredFrames("b.mp3");
  const QString c = Fixture("cbr128.mp3", "c.mp3");
  Add(a);
  Add(b);
  Add(c);
  form->JobTable[0].StopFrame = 99;  // 0..99 of 100 frames
  form->JobTable[2].StartFrame = 5;  // b keeps 0..100 as it was added
  form->JobTable[2].StopFrame = 9;
  fake_xaudio::ClearCalls();

  PaintLog counter(form->Panel29);
  PaintLog jobBar(form->ProcentCurrentJob_Panel);
  PaintLog totalBar(form->ProcentTotalJobs_Panel);
  const QString output = TempPath("out/result.mp3");
  Run(output);

  ASSERT_EQ(dlg.saves.size(), 1u);
  EXPECT_EQ(dlg.saves[0].title, QStringLiteral("Save Resulted File ..."));
  EXPECT_EQ(dlg.saves[0].filter, QStringLiteral("MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File|*.*"));
  EXPECT_FALSE(dlg.saves[0].confirmOverwrite);
  EXPECT_EQ(Commands().front(), CmdStop());

  // Each job shows its number, painted once: never the "1 of 3 Files" that
  // selecting a job writes on the way. After the run the counter goes back to
  // its idle colour, then shows what selecting the last job writes.
  std::vector<QString> counterTexts;
  for (const auto& [w, text] : counter.shown) counterTexts.push_back(text);
  EXPECT_EQ(counterTexts, (std::vector<QString>{"1 of 3 Files", "2 of 3 Files", "3 of 3 Files", "3 of 3 Files",
                                                "1 of 3 Files"}));
  // The player is not made to open every file while it is cut: only the job
  // current after the run is opened, once the run is over.
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdStop(), CmdInputOpen(c), CmdSetRange(form->JobTable[2].TotalFrames),
                                                  CmdSeek(5, form->JobTable[2].TotalFrames)}));

  // A bar without width has nothing to paint; the paints are those with a width.
  // Each job's repaint of the whole window may paint the bar again as it stands.
  std::vector<std::pair<int, QString>> totalStates;
  for (const auto& state : totalBar.shown) {
    if (totalStates.empty() || totalStates.back() != state) totalStates.push_back(state);
  }
  const std::vector<std::pair<int, QString>> totals = {{209, "33 %"}, {420, "66 %"}, {631, "100 %"}};
  EXPECT_EQ(totalStates, totals);

  // Job a: 0..99 starts below one step of the bar and ends full.
  ASSERT_FALSE(jobBar.shown.empty());
  EXPECT_EQ(jobBar.shown.front(), std::make_pair(4, QStringLiteral("1 %")));
  const auto fullAt =
      std::find(jobBar.shown.begin(), jobBar.shown.end(), std::make_pair(631, QStringLiteral("100 %")));
  ASSERT_NE(fullAt, jobBar.shown.end());
  // Job b keeps 0..100: its last update is (99, 100), one step short of full.
  EXPECT_NE(std::find(fullAt, jobBar.shown.end(), std::make_pair(624, QStringLiteral("99 %"))),
            jobBar.shown.end());
  EXPECT_EQ(form->ProcentCurrentJob_Panel->Caption(), QStringLiteral("0 %"));
  EXPECT_EQ(form->ProcentTotalJobs_Panel->Caption(), QStringLiteral("0 %"));

  ExpectIdleWindow();
  EXPECT_EQ(form->CurrentJob, 2);
  EXPECT_EQ(form->Files_SG->Row(), 3);
  EXPECT_EQ(form->Panel29->Caption(), QStringLiteral("1 of 3 Files"));
  // One bit rate: where b's last frames leave the reservoir of c's first
  // frame no room, it decodes as silence, and the box says so.
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(dlg.boxes[0].text.contains(c + ": 1 frames at its start decode as silence"))
      << dlg.boxes[0].text.toStdString();

  EXPECT_EQ(ReadAll(output), Joined({{a, 0, 99}, {b, 0, 100}, {c, 5, 9}}));
}

TEST_F(BatchTest, BarsFollowTheirFormula) {
  struct Case {
    int done, total, width;
    const char* caption;
  };
  const Case cases[] = {{0, 99, 0, "0 %"},    {99, 99, 631, "100 %"}, {99, 100, 624, "99 %"},
                        {1, 3, 209, "33 %"},  {2, 3, 420, "66 %"},    {0, 10, 0, "0 %"},
                        {5, 0, 631, "100 %"}, {0, 0, 631, "100 %"},
                        // The width stays while only the caption changes: each
                        // caption is told apart from the one before it, prefixes,
                        // signs and lengths alike.
                        {0, 10, 0, "0 %"},    {-1, 10, 0, "-10 %"},   {-1, 100, 0, "-1 %"},
                        {-1, 1000, 0, "0 %"}, {101, 100, 633, "101 %"}, {11, 10, 633, "110 %"},
                        {110, 10, 633, "1100 %"}, {110, 100, 633, "110 %"}, {10, 10, 631, "100 %"},
                        {10, 1, 633, "1000 %"}, {100, 1, 633, "10000 %"}};
  for (const Case& c : cases) {
    form->ShowJobProgress(c.done, c.total);
    EXPECT_EQ(form->ProcentCurrentJob_Panel->width(), c.width) << c.done << "/" << c.total;
    EXPECT_EQ(form->ProcentCurrentJob_Panel->Caption(), QString::fromLatin1(c.caption))
        << c.done << "/" << c.total;
    form->ShowTotalProgress(c.done, c.total);
    EXPECT_EQ(form->ProcentTotalJobs_Panel->width(), c.width);
    EXPECT_EQ(form->ProcentTotalJobs_Panel->Caption(), QString::fromLatin1(c.caption));
  }
}

// Every count of a job shows its own width and percent, counting up as a
// job does and down again, whatever the total: nothing a bar skips as
// unchanged may differ from what the formula gives for that count.
TEST_F(BatchTest, BarsFollowTheirFormulaAtEveryCount) {
  auto expectShows = [&](std::int32_t done, std::int32_t total) {
    const std::int64_t width = std::clamp<std::int64_t>(std::int64_t{633} * done / total - 2, 0, 633);
    const QString caption = QString::number(std::int64_t{done} * 100 / total) + QStringLiteral(" %");
    ASSERT_EQ(form->ProcentCurrentJob_Panel->width(), width) << done << "/" << total;
    ASSERT_EQ(form->ProcentCurrentJob_Panel->Caption(), caption) << done << "/" << total;
  };
  for (const std::int32_t total : {1, 3, 7, 99, 100, 631, 633, 634, 1000, 20000, 123457}) {
    for (std::int32_t done = 0; done <= total; ++done) {
      form->ShowJobProgress(done, total);
      expectShows(done, total);
    }
    for (std::int32_t done = total; done >= 0; done -= 1 + done / 7) {
      form->ShowJobProgress(done, total);
      expectShows(done, total);
    }
  }
}

TEST_F(BatchTest, EmptyListStopsThePlayerAndAsksNothing) {
  form->StartProcess_SB->Click();
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdStop()}));
  EXPECT_TRUE(dlg.saves.empty());
}

TEST_F(BatchTest, CancelledDialogChangesNothing) {
  AddJobs(2);
  fake_xaudio::ClearCalls();
  form->StartProcess_SB->Click();
  EXPECT_EQ(dlg.saves.size(), 1u);
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdStop()}));
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
  EXPECT_EQ(form->CurrentJob, 1);
}

TEST_F(BatchTest, AppendsToAnExistingOutputAndCountsARepeatedInputTwice) {
  const QStringList paths = AddJobs(1);
  Add(paths[0]);
  form->JobTable[0].StopFrame = 3;
  form->JobTable[1].StartFrame = 10;
  form->JobTable[1].StopFrame = 12;
  // Frames of an earlier run (an output that holds anything else is refused).
  const QByteArray before = FramesOf(paths[0], 20, 21);
  const QString output = WriteFile("existing.mp3", before);
  const QString old = WriteFile("old.mp3", before);
  Run(output);
  const QByteArray once = Joined({{paths[0], 0, 3}, {paths[0], 10, 12}}, old);
  EXPECT_EQ(ReadAll(output), once);
  Run(output);  // a second run adds after the first
  const QString first = WriteFile("first.mp3", once);
  EXPECT_EQ(ReadAll(output), Joined({{paths[0], 0, 3}, {paths[0], 10, 12}}, first));
}

TEST_F(BatchTest, AMissingInputIsPassedOverAndNamedAfterTheRun) {
  const QStringList paths = AddJobs(3);
  QFile::remove(paths[1]);
  const QString output = TempPath("out.mp3");
  Run(output);
  EXPECT_EQ(ReadAll(output),
            Joined({{paths[0], 0, form->JobTable[0].StopFrame}, {paths[2], 0, form->JobTable[2].StopFrame}}));
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(dlg.boxes[0].text.contains(paths[1])) << dlg.boxes[0].text.toStdString();
  EXPECT_FALSE(dlg.boxes[0].text.contains(paths[0]));
  ExpectIdleWindow();
}

// An output that holds something is added to or replaced only as the user
// says; an empty one is written without a question. After a run the status
// line says what was saved.
TEST_F(BatchTest, AnExistingOutputIsAppendedToOrReplacedAsTheUserSays) {
  const QStringList paths = AddJobs(2);
  form->JobTable[0].StopFrame = 9;
  form->JobTable[1].StartFrame = 20;
  form->JobTable[1].StopFrame = 29;
  const QByteArray old = FramesOf(paths[0], 40, 49);
  const QString oldCopy = WriteFile("old-copy.mp3", old);
  const QByteArray fresh = Joined({{paths[0], 0, 9}, {paths[1], 20, 29}});
  const struct {
    const char* name;
    QByteArray before;
    dialogs::Result answer;  // Ok: no question
    QByteArray after;
  } cases[] = {
      {"Append", old, dialogs::Result::Append, Joined({{paths[0], 0, 9}, {paths[1], 20, 29}}, oldCopy)},
      {"Replace", old, dialogs::Result::Replace, fresh},
      {"Cancel", old, dialogs::Result::Cancel, old},
      {"an empty file", QByteArray(), dialogs::Result::Ok, fresh},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dlg.boxes.clear();
    form->Hint_Panel->SetCaption(QString());
    const QString output = WriteFile("existing.mp3", c.before);
    if (c.answer != dialogs::Result::Ok) dlg.boxAnswers.push_back(c.answer);
    Run(output);
    EXPECT_EQ(ReadAll(output), c.after);
    ASSERT_EQ(dlg.boxes.size(), c.answer == dialogs::Result::Ok ? 0u : 1u);
    if (c.answer != dialogs::Result::Ok) {
      EXPECT_EQ(dlg.boxes[0].buttons, dialogs::Buttons::AppendReplaceCancel);
      EXPECT_TRUE(dlg.boxes[0].text.contains(output)) << dlg.boxes[0].text.toStdString();
    }
    // Frames 0-9 and 20-29, of which frame 0 is the Info frame: 19 audio
    // frames of 1152 samples at 44.1 kHz are 0.496 s.
    EXPECT_EQ(form->Hint_Panel->Caption(), c.answer == dialogs::Result::Cancel
                                               ? QString()
                                               : QStringLiteral("Saved 19 frames, 00:00.50, to existing.mp3"));
    ExpectIdleWindow();
  }
}

// One output is one stream: files whose frames could not follow the first
// file's are passed over, each with what differs.
TEST_F(BatchTest, FilesOfAnotherStreamArePassedOverWithWhatDiffers) {
  const QString a = Fixture("cbr128.mp3", "a.mp3");
  const struct {
    const char* fixture;
    const char* differs;
  } others[] = {{"mpeg2-l3.mp3", "MPEG version differs"}, {"mpeg1-l2.mp2", "layer differs"}};
  Add(a);
  for (const auto& o : others) Add(Fixture(o.fixture, o.fixture));
  const QString output = TempPath("mixed.mp3");
  Run(output);
  EXPECT_EQ(ReadAll(output), Joined({{a, 0, form->JobTable[0].StopFrame}}, QString(), true));  // a whole
  ASSERT_EQ(dlg.boxes.size(), 1u);
  for (const auto& o : others) {
    EXPECT_TRUE(dlg.boxes[0].text.contains(QStringLiteral("%1 (its %2").arg(TempPath(o.fixture), o.differs)))
        << dlg.boxes[0].text.toStdString();
  }
  ExpectIdleWindow();
}

TEST_F(BatchTest, AFileThatNoLongerStartsWithFramesIsPassedOver) {
  const QStringList paths = AddJobs(2);
  QFile f(paths[0]);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(QByteArray(4096, 'x'));
  f.close();
  const QString output = TempPath("out.mp3");
  Run(output);
  EXPECT_EQ(ReadAll(output), AsOutput(FramesOf(paths[1], 0, form->JobTable[1].StopFrame), true));
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(dlg.boxes[0].text.contains(paths[0]));
}

TEST_F(BatchTest, ADeviceAsTheOutputStopsTheRunWithOneMessageAndRestoresTheWindow) {
  AddJobs(2);
  Run(QStringLiteral("/dev/full"));
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(dlg.boxes[0].text.contains(QStringLiteral("/dev/full"))) << dlg.boxes[0].text.toStdString();
  EXPECT_TRUE(dlg.boxes[0].text.contains(QStringLiteral("not a regular file")))
      << dlg.boxes[0].text.toStdString();
  ExpectIdleWindow();
}

TEST_F(BatchTest, AnOutputWhoseFolderCannotBeMadeIsReported) {
  AddJobs(1);
  const QString blocker = WriteFile("plainfile", QByteArray("not a folder"));
  const QString output = blocker + "/sub/out.mp3";
  Run(output);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(dlg.boxes[0].text.contains(output)) << dlg.boxes[0].text.toStdString();
  EXPECT_FALSE(QFileInfo::exists(output));
  ExpectIdleWindow();
}

TEST_F(BatchTest, AnOutputThatIsOneOfTheInputsIsRefusedBeforeWriting) {
  const QStringList paths = AddJobs(2);
  const QByteArray before = ReadAll(paths[1]);
  Run(paths[1]);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_EQ(ReadAll(paths[1]), before);
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
  EXPECT_TRUE(form->Files_SG->isEnabled());
}

TEST_F(BatchTest, ALongJobPaintsItsBarAFewHundredTimesAtMost) {
  // 20000 frames of 417 bytes: FF FB 90 64 headers over silence.
  QByteArray frame(417, '\0');
  frame[0] = char(0xFF);
  frame[1] = char(0xFB);
  frame[2] = char(0x90);
  frame[3] = char(0x64);
  const QString big = WriteFile("long.mp3", frame.repeated(20000));
  Add(big);
  ASSERT_EQ(form->JobTable[0].TotalFrames, 20000);
  PaintLog jobBar(form->ProcentCurrentJob_Panel);
  Run(TempPath("long-out.mp3"));
  // One paint per pixel of width and per percent at most.
  EXPECT_GT(jobBar.shown.size(), 100u);
  EXPECT_LE(jobBar.shown.size(), 631u + 101u);
  EXPECT_EQ(QFileInfo(TempPath("long-out.mp3")).size(), 417 * 20000);
}

// Records the rectangles a widget is asked to paint.
class PaintRects : public QObject {
 public:
  explicit PaintRects(QWidget* w) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      rects.push_back(static_cast<QPaintEvent*>(e)->rect());
      regions.push_back(static_cast<QPaintEvent*>(e)->region());
    }
    return false;
  }
  std::vector<QRect> rects;
  std::vector<QRegion> regions;
};

TEST_F(BatchTest, ABarIsPaintedAtEveryChangeAndNeverLagsWhatWasSet) {
  TPanel* bar = form->ProcentCurrentJob_Panel;
  PaintLog painted(bar);
  PaintRects rects(bar);
  std::set<int> widths;
  std::set<QString> captions;
  const int total = 20000;
  for (int done = 0; done <= total; ++done) {
    form->ShowJobProgress(done, total);
    widths.insert(bar->width());
    captions.insert(bar->Caption());
    if (bar->width() > 0) {
      ASSERT_FALSE(painted.shown.empty()) << done;
      ASSERT_EQ(painted.shown.back(), std::make_pair(bar->width(), bar->Caption())) << done;
    }
  }
  EXPECT_EQ(painted.shown.back(), std::make_pair(631, QStringLiteral("100 %")));
  EXPECT_LE(painted.shown.size(), widths.size() + captions.size());
  // Each paint covers what moved, not the whole bar: a pixel of width and
  // the caption, where it was and where it is.
  const int captionWidth = QFontMetrics(bar->font()).horizontalAdvance(QStringLiteral("100 %")) + 2;
  ASSERT_GT(rects.regions.size(), 600u);
  std::size_t small = 0;
  for (const QRegion& r : rects.regions) {
    int area = 0;
    for (const QRect& part : r) area += part.width() * part.height();
    if (area <= (2 * captionWidth + 4) * bar->height()) ++small;
  }
  EXPECT_EQ(small, rects.regions.size());
  // Setting the same state again paints nothing.
  const std::size_t before = painted.shown.size();
  form->ShowJobProgress(total, total);
  EXPECT_EQ(painted.shown.size(), before);

  // Back to no width, as the next job's first frame does: the outer panel is
  // painted at once over the strip the bar left.
  PaintRects outer(form->CurrentJob_Panel);
  form->ShowJobProgress(0, total);
  EXPECT_EQ(bar->width(), 0);
  ASSERT_FALSE(outer.rects.empty());
  EXPECT_TRUE(outer.rects.back().contains(QRect(1, 1, 631, 16))) << outer.rects.back().width();
}

// What the window holds on screen where the bars are, against the two bars
// drawn afresh: painting only what moved must leave no stale column, bevel
// line or caption behind.
TEST_F(BatchTest, TheScreenShowsTheBarsAsTheyStand) {
  QApplication::processEvents();  // the first whole paint of the window
  QScreen* screen = form->screen();
  auto onScreen = [&](QWidget* w) {
    const QPoint at = w->mapTo(form.get(), QPoint(0, 0));
    const QImage shown = screen->grabWindow(form->winId(), at.x(), at.y(), w->width(), w->height()).toImage();
    EXPECT_EQ(shown.size(), w->size());
    return shown;
  };
  auto drawn = [](QWidget* w) { return w->grab().toImage(); };
  const int total = 3000;
  for (int done = 0; done <= total; ++done) {
    form->ShowJobProgress(done, total);
    if (done % 97 == 0 || done == total) {
      ASSERT_EQ(onScreen(form->CurrentJob_Panel), drawn(form->CurrentJob_Panel)) << done;
    }
  }
  form->ShowJobProgress(1, total);  // the next job's first frame: the bar shrinks
  EXPECT_EQ(onScreen(form->CurrentJob_Panel), drawn(form->CurrentJob_Panel));
  for (int jobs = 1; jobs <= 3; ++jobs) {
    form->ShowTotalProgress(jobs, 3);
    EXPECT_EQ(onScreen(form->TotalJobs_Panel), drawn(form->TotalJobs_Panel)) << jobs;
  }
}

TEST_F(BatchTest, AOneFrameJobShowsAFullBar) {
  AddJobs(1);
  form->JobTable[0].StartFrame = 4;
  form->JobTable[0].StopFrame = 4;
  PaintLog jobBar(form->ProcentCurrentJob_Panel);
  Run(TempPath("one.mp3"));
  ASSERT_GE(jobBar.shown.size(), 1u);
  EXPECT_EQ(jobBar.shown.front(), std::make_pair(631, QStringLiteral("100 %")));
}

}  // namespace
