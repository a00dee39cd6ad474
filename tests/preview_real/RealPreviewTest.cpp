// Previewing a two-job list through the real audio library: each job plays
// from its start frame, the list moves on at the stop frame, the last job
// stops; Previous from the spare row plays on in the last job.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <deque>

#include "app/_MainUnit.h"
#include "platform/Dialogs.h"
#include "preview/XaudioPlayer.h"

namespace {

class Answers : public dialogs::Dialogs {
 public:
  dialogs::Result MessageBox(const dialogs::MessageBoxRequest& r) override {
    boxes << r.text;
    return dialogs::Result::Ok;
  }
  QString OpenFile(const dialogs::FileDialogRequest&) override {
    if (opens.empty()) return {};
    const QString p = opens.front();
    opens.pop_front();
    return p;
  }
  QString SaveFile(const dialogs::FileDialogRequest&) override { return {}; }
  std::deque<QString> opens;
  QStringList boxes;
};

bool Encode(const QString& wav, const QString& mp3, int hz, int seconds = 3) {
  if (QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", wav, "synth", QString::number(seconds),
                                "sine", QString::number(hz)}) != 0)
    return false;
  return QProcess::execute("lame", {"--silent", "-t", "-b", "128", wav, mp3}) == 0;
}

struct Seen {
  int job;
  QString position;
  int bar;
  QString status;
};

TEST(RealPreview, TwoJobsPlayRangeByRangeAndTheLastStops) {
  if (QStandardPaths::findExecutable("lame").isEmpty() || QStandardPaths::findExecutable("sox").isEmpty()) {
    GTEST_SKIP() << "lame and sox make the files";
  }
  qputenv("KERFWELL_AUDIO_OUTPUT", "silent");
  QTemporaryDir tmp;
  ASSERT_TRUE(Encode(tmp.filePath("a.wav"), tmp.filePath("a.mp3"), 440));
  ASSERT_TRUE(Encode(tmp.filePath("b.wav"), tmp.filePath("b.mp3"), 660));

  Answers answers;
  dialogs::Dialogs* previous = dialogs::SetDialogs(&answers);
  {
    T_MainForm form;
    form.show();
    answers.opens = {tmp.filePath("a.mp3"), tmp.filePath("b.mp3")};
    form.OpenFile_SB->Click();
    form.OpenFile_SB->Click();
    ASSERT_EQ(form.JobCount, 2);
    const int n1 = form.JobTable[0].TotalFrames;
    const int n2 = form.JobTable[1].TotalFrames;
    form.JobTable[0].StartFrame = 10;
    form.JobTable[0].StopFrame = 30;
    form.JobTable[1].StartFrame = 5;
    form.JobTable[1].StopFrame = 20;
    form.Files_SG->SetRow(1);
    QTest::qWait(100);

    // Every notification as the window saw it, after its own handler ran.
    std::vector<Seen> seen;
    const auto onPosition = form.XaudioPlayer->OnNotifyInputPosition;
    form.XaudioPlayer->OnNotifyInputPosition = [&](QObject* sender, std::uint32_t offset,
                                                   std::uint32_t range) {
      onPosition(sender, offset, range);
      seen.push_back(
          {form.CurrentJob, form.Panel36->Caption(), form.TrackBar->Position(), form.Panel1->Caption()});
    };
    int stops = 0;
    const auto onState = form.XaudioPlayer->OnNotifyPlayerState;
    form.XaudioPlayer->OnNotifyPlayerState = [&](QObject* sender, std::int32_t state) {
      onState(sender, state);
      if (state == 0 && form.CurrentJob == 1 && !seen.empty() && seen.back().job == 1) ++stops;
    };
    form.Play_SB->Click();

    QElapsedTimer clock;
    clock.start();
    const QString lastStop = QStringLiteral("20  from  %1").arg(n2);
    while (clock.elapsed() < 15000) {
      QTest::qWait(10);
      if (stops > 0 && !seen.empty() && seen.back().position == lastStop) break;
    }
    QTest::qWait(300);  // nothing may follow the last stop
    EXPECT_EQ(form.CurrentJob, 1);
    EXPECT_EQ(form.Panel1->Caption(), QStringLiteral("Idle"));
    EXPECT_TRUE(answers.boxes.isEmpty()) << answers.boxes.join('\n').toStdString();

    // The first time a position shows at or after entry `from`.
    auto index = [&](const QString& text, int from) {
      for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < seen.size(); ++i)
        if (seen[i].position == text) return static_cast<int>(i);
      return -1;
    };
    const int firstOfJob1 = index(QStringLiteral("10  from  %1").arg(n1), 0);
    const int stopOfJob1 = index(QStringLiteral("30  from  %1").arg(n1), firstOfJob1);
    const int firstOfJob2 = index(QStringLiteral("5  from  %1").arg(n2), stopOfJob1);
    const int stopOfJob2 = index(QStringLiteral("20  from  %1").arg(n2), firstOfJob2);
    ASSERT_GE(firstOfJob1, 0) << "job 1 did not play from its start frame";
    ASSERT_GT(stopOfJob1, firstOfJob1) << "job 1 did not reach its stop frame";
    ASSERT_GT(firstOfJob2, stopOfJob1) << "job 2 did not start at its own start frame after job 1";
    ASSERT_GT(stopOfJob2, firstOfJob2) << "job 2 did not reach its stop frame";
    // Job 1 moved on exactly at its stop frame, and the bar followed each job.
    EXPECT_EQ(seen[static_cast<std::size_t>(stopOfJob1)].job, 1);
    EXPECT_EQ(seen[static_cast<std::size_t>(firstOfJob1)].bar, 10);
    EXPECT_EQ(seen[static_cast<std::size_t>(stopOfJob2)].bar, 20);
    for (std::size_t i = static_cast<std::size_t>(firstOfJob2); i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].job, 1);
    }
    EXPECT_EQ(form.TrackBar->Position(), 20);
    EXPECT_EQ(form.Panel36->Caption(), QStringLiteral("20  from  %1").arg(n2));
  }
  dialogs::SetDialogs(previous);
}

TEST(RealPreview, PreviousFromTheSpareRowWhilePlayingPlaysOnInTheLastJob) {
  if (QStandardPaths::findExecutable("lame").isEmpty() || QStandardPaths::findExecutable("sox").isEmpty()) {
    GTEST_SKIP() << "lame and sox make the files";
  }
  qputenv("KERFWELL_AUDIO_OUTPUT", "silent");
  QTemporaryDir tmp;
  // Different lengths, so that the position text tells the jobs apart.
  ASSERT_TRUE(Encode(tmp.filePath("a.wav"), tmp.filePath("a.mp3"), 440, 3));
  ASSERT_TRUE(Encode(tmp.filePath("b.wav"), tmp.filePath("b.mp3"), 660, 4));

  Answers answers;
  dialogs::Dialogs* previous = dialogs::SetDialogs(&answers);
  {
    T_MainForm form;
    form.show();
    answers.opens = {tmp.filePath("a.mp3"), tmp.filePath("b.mp3")};
    form.OpenFile_SB->Click();
    form.OpenFile_SB->Click();
    ASSERT_EQ(form.JobCount, 2);
    const int n1 = form.JobTable[0].TotalFrames;
    const int n2 = form.JobTable[1].TotalFrames;
    ASSERT_NE(n1, n2);
    form.JobTable[1].StartFrame = 5;
    form.JobTable[1].StopFrame = 40;
    form.Files_SG->SetRow(1);
    QTest::qWait(100);

    std::vector<Seen> seen;
    const auto onPosition = form.XaudioPlayer->OnNotifyInputPosition;
    form.XaudioPlayer->OnNotifyInputPosition = [&](QObject* sender, std::uint32_t offset,
                                                   std::uint32_t range) {
      onPosition(sender, offset, range);
      seen.push_back(
          {form.CurrentJob, form.Panel36->Caption(), form.TrackBar->Position(), form.Panel1->Caption()});
    };
    std::vector<std::pair<std::size_t, std::int32_t>> states;  // (positions seen before it, state)
    const auto onState = form.XaudioPlayer->OnNotifyPlayerState;
    form.XaudioPlayer->OnNotifyPlayerState = [&](QObject* sender, std::int32_t state) {
      onState(sender, state);
      states.emplace_back(seen.size(), state);
    };
    auto waitFor = [&](const QString& position, std::size_t from) {
      QElapsedTimer clock;
      clock.start();
      while (clock.elapsed() < 15000) {
        for (std::size_t i = from; i < seen.size(); ++i)
          if (seen[i].position == position) return static_cast<int>(i);
        QTest::qWait(5);
      }
      return -1;
    };

    form.Play_SB->Click();
    ASSERT_GE(waitFor(QStringLiteral("15  from  %1").arg(n1), 0), 0) << "the first job did not play";
    // The spare row holds no job: selecting it loads nothing and leaves the player alone.
    form.Files_SG->SetRow(3);
    ASSERT_EQ(form.CurrentJob, 0);
    ASSERT_EQ(form.Panel1->Caption(), QStringLiteral("PLAYING"));
    const std::size_t mark = seen.size();
    const std::size_t statesMark = states.size();
    form.Prev_SB->Click();
    EXPECT_EQ(form.CurrentJob, 1);
    EXPECT_EQ(form.Files_SG->Row(), 2);

    const int stopOfLast = waitFor(QStringLiteral("40  from  %1").arg(n2), mark);
    ASSERT_GE(stopOfLast, 0) << "the last job did not play on to its stop frame";
    QTest::qWait(300);
    // Nothing stopped the player between Previous and the last job's stop frame.
    for (std::size_t i = statesMark; i < states.size(); ++i) {
      if (states[i].second == 0) {
        EXPECT_GT(states[i].first, static_cast<std::size_t>(stopOfLast)) << "stopped before the stop frame";
      }
    }
    // The positions that follow the opened job are its own, from its start frame on, one by one.
    std::vector<QString> ofLast;
    for (std::size_t i = mark; i <= static_cast<std::size_t>(stopOfLast); ++i) {
      EXPECT_EQ(seen[i].job, 1);
      if (seen[i].position.endsWith(QStringLiteral("  from  %1").arg(n2))) {
        // The window loads the job twice (row click, then Previous itself), so
        // its start frame may be reported once for each load.
        if (ofLast.empty() || ofLast.back() != seen[i].position) ofLast.push_back(seen[i].position);
        EXPECT_EQ(seen[i].status, QStringLiteral("PLAYING"));
      } else {
        EXPECT_TRUE(ofLast.empty()) << "a position of the first job after the last job's: "
                                    << seen[i].position.toStdString();
      }
    }
    ASSERT_EQ(ofLast.size(), 36u);
    for (int k = 0; k < 36; ++k) EXPECT_EQ(ofLast[k], QStringLiteral("%1  from  %2").arg(5 + k).arg(n2));
    EXPECT_EQ(seen[static_cast<std::size_t>(stopOfLast)].bar, 40);
    // The stop frame of the last job stops the player, as ever.
    EXPECT_EQ(form.Panel1->Caption(), QStringLiteral("Idle"));
    EXPECT_TRUE(answers.boxes.isEmpty()) << answers.boxes.join('\n').toStdString();
  }
  dialogs::SetDialogs(previous);
}

}  // namespace
