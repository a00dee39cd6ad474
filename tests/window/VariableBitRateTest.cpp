// Files of several bit rates in the window: the question before a run, what
// each answer writes, and the figures the grid and the panels show.

#include <QFile>
#include <QFontMetrics>
#include <QProcess>
#include <cmath>

#include "stream/Scanner.h"
#include "stream/XingFrame.h"
#include "tests/window/WindowFixture.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

// ffprobe's word on a file: "duration" and "bit_rate" of the format, or the
// frames it decodes ("frames").
double Probe(const QString& path, const QString& what) {
  QStringList args{"-v", "error"};
  if (what == "frames") {
    args << "-count_frames" << "-select_streams" << "a:0" << "-show_entries" << "stream=nb_read_frames";
  } else {
    args << "-show_entries" << "format=" + what;
  }
  args << "-of" << "default=noprint_wrappers=1:nokey=1" << path;
  QProcess p;
  p.start("ffprobe", args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return -1;
  bool ok = false;
  const double v = QString::fromLatin1(p.readAllStandardOutput()).section('\n', 0, 0).trimmed().toDouble(&ok);
  return ok ? v : -1;
}

class VariableBitRateTest : public WindowTest {
 protected:
  void Run(const QString& output) {
    dlg.saveAnswers.push_back(output);
    form->StartProcess_SB->Click();
  }
  // The frames start..stop of a file as the engine cuts them on its own.
  QByteArray FramesOf(const QString& path, int start, int stop, bool anyBitRate) {
    const QString out = TempPath(QStringLiteral("expected-%1.bin").arg(expected_++));
    FrameHeader h;
    EXPECT_TRUE(ProbeFile(Local(path), h));
    ScanOptions o;
    o.AnyBitRate = anyBitRate;
    EXPECT_TRUE(ScanFrames(Local(path), Local(out), start, stop, false, h, {}, o).Ok());
    return ReadAll(out);
  }
  // Frames of the whole file that the one-bit-rate rule leaves out, as a cut counts them.
  int LeftOutOf(const QString& path) {
    FrameHeader h;
    EXPECT_TRUE(ProbeFile(Local(path), h));
    const QString out = TempPath(QStringLiteral("expected-%1.bin").arg(expected_++));
    return ScanFrames(Local(path), Local(out), 0, Frames(path), false, h).LeftOut;
  }
  void ExpectIdle() {
    EXPECT_TRUE(form->Files_SG->isEnabled());
    EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
    EXPECT_EQ(form->ProcentCurrentJob_Panel->width(), 0);
    EXPECT_EQ(form->ProcentTotalJobs_Panel->width(), 0);
  }

 private:
  int expected_ = 0;
};

TEST_F(VariableBitRateTest, JobsOfOneBitRateAreProcessedWithoutAQuestion) {
  AddJobs(2);
  const QString out = TempPath("out.mp3");
  Run(out);
  EXPECT_TRUE(dlg.boxes.empty());
  EXPECT_TRUE(QFile::exists(out));
  for (int i = 0; i < 2; ++i) EXPECT_EQ(form->JobTable[static_cast<std::size_t>(i)].OtherBitRate, 0);
}

TEST_F(VariableBitRateTest, TheQuestionListsEveryJobThatWouldLoseFramesAndCancelWritesNothing) {
  const QString cbr = Fixture("cbr128.mp3", "cbr.mp3");
  const QString vbr = Fixture("vbr.mp3", "vbr.mp3");
  const QString vbr2 = Fixture("vbr.mp3", "again.mp3");
  Add(cbr);
  Add(vbr);
  Add(vbr2);
  const _FileInfo& job = form->JobTable[1];
  EXPECT_EQ(job.OtherBitRate, LeftOutOf(vbr));
  EXPECT_GT(job.OtherBitRate, 10);
  EXPECT_EQ(job.Copyable + job.OtherBitRate, job.TotalFrames);

  dlg.boxAnswers.push_back(dialogs::Result::Cancel);
  const QString out = TempPath("out.mp3");
  Run(out);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  const dialogs::MessageBoxRequest& box = dlg.boxes[0];
  EXPECT_EQ(box.buttons, dialogs::Buttons::YesNoCancel);
  for (const QString& p : {vbr, vbr2}) {
    EXPECT_TRUE(box.text.contains(QStringLiteral("%1: %2 of %3 frames have another bit rate")
                                      .arg(p)
                                      .arg(job.OtherBitRate)
                                      .arg(job.TotalFrames)))
        << box.text.toStdString();
  }
  EXPECT_FALSE(box.text.contains(cbr)) << box.text.toStdString();
  EXPECT_LT(box.text.indexOf(vbr), box.text.indexOf(vbr2));
  EXPECT_FALSE(QFile::exists(out));
  ExpectIdle();
}

// Yes copies every frame of each stream; No keeps the one-bit-rate rule and
// reports what it left out, after the run.
TEST_F(VariableBitRateTest, EachAnswerWritesWhatItSays) {
  const QString cbr = Fixture("cbr128.mp3", "cbr.mp3");
  const QString vbr = Fixture("vbr.mp3", "vbr.mp3");
  Add(cbr);
  Add(vbr);
  const int n = form->JobTable[1].TotalFrames;
  form->StartFrame_SE->SetValue(5);
  form->StopFrame_SE->SetValue(n - 5);
  const int cbrFrames = form->JobTable[0].TotalFrames;
  for (const bool yes : {true, false}) {
    SCOPED_TRACE(yes ? "Yes" : "No");
    dlg.boxes.clear();
    dlg.boxAnswers.push_back(yes ? dialogs::Result::Yes : dialogs::Result::No);
    const QString out = TempPath(yes ? "yes.mp3" : "no.mp3");
    Run(out);
    const QByteArray vbrPart = FramesOf(vbr, 5, n - 5, yes);
    // When nothing of the second file fits, the output ends where the first
    // file ended, and its Info frame keeps that file's end padding.
    const QByteArray expected = Joined({{cbr, 0, cbrFrames}, {vbr, 5, n - 5}}, QString(), vbrPart.isEmpty(), yes);
    EXPECT_EQ(ReadAll(out), expected);
    ASSERT_EQ(dlg.boxes.size(), yes ? 1u : 2u);
    if (!yes) {
      EXPECT_TRUE(dlg.boxes[1].text.contains("Some frames were left out")) << dlg.boxes[1].text.toStdString();
    }
    ExpectIdle();
  }
  // The streams' frames, all of them, against what a real decoder counts.
  EXPECT_EQ(Probe(TempPath("yes.mp3"), "frames"), (cbrFrames - 1) + (n - 5 - 5 + 1));
  EXPECT_LT(Probe(TempPath("no.mp3"), "frames"), cbrFrames + 10);
}

TEST_F(VariableBitRateTest, AnOutputOfSeveralBitRatesGetsAFreshXingFrame) {
  const QString vbr = Fixture("vbr.mp3", "vbr.mp3");
  Add(vbr);
  const int n = form->JobTable[0].TotalFrames;
  // From frame 1: the source's own Xing frame stays behind.
  form->StartFrame_SE->SetValue(1);
  dlg.boxAnswers.push_back(dialogs::Result::Yes);
  const QString out = TempPath("out.mp3");
  Run(out);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(StartsWithXingFrame(Local(out)));
  EXPECT_TRUE(HoldsSeveralBitRates(Local(out)));
  // The Xing frame tells players the length: what ffprobe reports without
  // decoding matches the frames it decodes.
  const double frames = Probe(out, "frames");
  EXPECT_EQ(frames, n - 1);
  EXPECT_NEAR(Probe(out, "duration"), frames * 1152 / 44100, 0.06);
}

TEST_F(VariableBitRateTest, AFileOfSeveralBitRatesIsTimedByItsFramesAndShowsItsAverageRate) {
  const QString vbr = Fixture("vbr.mp3", "vbr.mp3");
  Add(vbr);
  const double seconds = Probe(vbr, "duration");
  ASSERT_GT(seconds, 1);
  const double frame = 1152.0 / 44100;
  const QString shown = Row(1)[4];
  // At 1 kbps, 125 bytes take one second.
  auto text = [](double s) { return QString::fromStdString(FormatDuration(std::llround(std::floor(s)) * 125, 1)); };
  const QString expectedLow = text(seconds - frame);
  const QString expectedHigh = text(seconds + frame);
  EXPECT_TRUE(shown == expectedLow || shown == expectedHigh) << shown.toStdString() << " for " << seconds;

  const QString rate = form->Panel20->Caption();
  ASSERT_TRUE(rate.endsWith(" kbps VBR")) << rate.toStdString();
  const double kbps = rate.section(' ', 0, 0).toDouble();
  EXPECT_NEAR(kbps, Probe(vbr, "bit_rate") / 1000, Probe(vbr, "bit_rate") / 1000 * 0.03);
  EXPECT_LE(QFontMetrics(form->Panel20->font()).horizontalAdvance(rate), form->Panel20->width());
  EXPECT_GT(form->JobTable[0].VariableKbps, 0);
}

TEST_F(VariableBitRateTest, AFileOfOneBitRateWithoutTagFrameShowsWhatItAlwaysShowed) {
  // The fixture's frames after its Info frame: one bit rate, nothing in front.
  const QString source = Fixture("cbr128.mp3", "source.mp3");
  const QString plain = TempPath("plain.mp3");
  FrameHeader h;
  ASSERT_TRUE(ProbeFile(Local(source), h));
  ASSERT_TRUE(ScanFrames(Local(source), Local(plain), 1, Frames(source), false, h).Ok());
  ASSERT_FALSE(StartsWithXingFrame(Local(plain)));
  Add(plain);
  const qint64 size = QFile(plain).size();
  EXPECT_EQ(Row(1)[4], QString::fromStdString(FormatDuration(size, 128)));
  EXPECT_EQ(form->Panel20->Caption(), QStringLiteral("128 kbps"));
  EXPECT_EQ(form->JobTable[0].VariableKbps, 0);
  EXPECT_EQ(form->JobTable[0].OtherBitRate, 0);
}

}  // namespace
