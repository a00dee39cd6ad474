// Previewing the current job: the transport buttons, the seek bar and what the
// player's notifications do to the window.

#include <QTest>

#include "app/SystemColors.h"
#include "tests/window/WindowFixture.h"

namespace {

class PreviewTest : public WindowTest {
 protected:
  // Three jobs with distinct ranges; the first one selected and nothing recorded yet.
  void ThreeJobs() {
    paths = AddJobs(3);
    n = form->JobTable[0].TotalFrames;
    const int ranges[3][2] = {{10, 20}, {30, 40}, {50, 60}};
    for (int i = 0; i < 3; ++i) {
      form->JobTable[static_cast<std::size_t>(i)].StartFrame = ranges[i][0];
      form->JobTable[static_cast<std::size_t>(i)].StopFrame = ranges[i][1];
    }
    form->Files_SG->SetRow(1);
    fake_xaudio::ClearCalls();
  }
  QStringList paths;
  int n = 0;
};

TEST_F(PreviewTest, DurationTexts) {
  const std::vector<std::pair<std::uint32_t, QString>> cases = {
      {3725, "01 : 02 . 05"}, {0, "00 : 00 . 00"}, {360000, "100 : 00 . 00"}, {59, "00 : 00 . 59"}};
  for (const auto& [seconds, text] : cases) {
    fake_xaudio::NotifyInputDuration(seconds);
    EXPECT_EQ(form->Panel35->Caption(), text) << seconds;
    EXPECT_EQ(form->StreamSeconds, static_cast<std::int32_t>(seconds));
  }
}

TEST_F(PreviewTest, TimecodeShowsElapsedAndRemainingTime) {
  struct Case {
    std::uint32_t duration;
    std::uint8_t h, m, s;
    const char* elapsed;
    const char* remaining;
  };
  const Case cases[] = {
      {3725, 0, 1, 5, "00 : 01 . 05", "01 : 01 . 00"},
      {3725, 1, 2, 10, "01 : 02 . 10", "00 : 00 . -05"},  // 5 s past the end
      {60, 0, 2, 0, "00 : 02 . 00", "00 : -01 . 00"},
      {0, 1, 0, 1, "01 : 00 . 01", "-01 : 00 . -01"},
  };
  for (const Case& c : cases) {
    fake_xaudio::NotifyInputDuration(c.duration);
    fake_xaudio::NotifyInputTimecode(c.h, c.m, c.s, 99);
    EXPECT_EQ(form->Panel33->Caption(), QString::fromLatin1(c.elapsed));
    EXPECT_EQ(form->Panel35->Caption(), QString::fromLatin1(c.remaining)) << c.duration;
  }
}

TEST_F(PreviewTest, TimecodeBeforeAnyDurationCountsFromZero) {
  fake_xaudio::NotifyInputTimecode(0, 0, 7, 0);
  EXPECT_EQ(form->Panel35->Caption(), QStringLiteral("00 : 00 . -07"));
}

TEST_F(PreviewTest, PlayAlwaysStartsAtTheStartFrame) {
  ThreeJobs();
  form->Play_SB->Click();
  form->Stop_SB->Click();
  form->Play_SB->Click();
  EXPECT_EQ(Commands(),
            (std::vector<std::string>{CmdSeek(10, n), CmdPlay(), CmdStop(), CmdSeek(10, n), CmdPlay()}));
}

TEST_F(PreviewTest, TransportWithAnEmptyListSendsOnlyStop) {
  form->Play_SB->Click();
  form->SetStart_SB->Click();
  form->SetStop_SB->Click();
  form->Prev_SB->Click();
  form->Next_SB->Click();
  form->Stop_SB->Click();
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdStop()}));
}

TEST_F(PreviewTest, ReachingTheStopFrameMovesOnAndPlaysTheNextJob) {
  ThreeJobs();
  fake_xaudio::NotifyInputPosition(19, n);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(form->Panel36->Caption(), QStringLiteral("19  from  %1").arg(n));
  EXPECT_EQ(form->TrackBar->Position(), 19);

  fake_xaudio::NotifyInputPosition(20, n);
  EXPECT_EQ(form->CurrentJob, 1);
  EXPECT_EQ(form->Files_SG->Row(), 2);
  const std::vector<std::string> commands = Commands();
  ASSERT_GE(commands.size(), 4u);
  EXPECT_EQ(commands[0], CmdStop());
  EXPECT_EQ(commands[1], CmdStop());
  EXPECT_EQ(commands[commands.size() - 2], CmdSeek(30, n));
  EXPECT_EQ(commands.back(), CmdPlay());
  EXPECT_NE(std::find(commands.begin(), commands.end(), CmdInputOpen(paths[1])), commands.end());
  // The panels take the notification's values even after the move.
  EXPECT_EQ(form->Panel36->Caption(), QStringLiteral("20  from  %1").arg(n));
  EXPECT_EQ(form->TrackBar->Position(), 20);  // the old offset, kept within the new job's range
}

TEST_F(PreviewTest, StepsOverTheStopFrameDoNotAdvance) {
  ThreeJobs();
  fake_xaudio::NotifyInputPosition(18, n);
  fake_xaudio::NotifyInputPosition(22, n);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(form->CurrentJob, 0);
}

TEST_F(PreviewTest, TheLastJobStopsAtItsStopFrame) {
  ThreeJobs();
  form->Files_SG->SetRow(3);
  fake_xaudio::ClearCalls();
  fake_xaudio::NotifyInputPosition(60, n);
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdStop()}));
  EXPECT_EQ(form->CurrentJob, 2);
  EXPECT_EQ(form->Panel36->Caption(), QStringLiteral("60  from  %1").arg(n));
  EXPECT_EQ(form->TrackBar->Position(), 60);
}

TEST_F(PreviewTest, AnOffsetAboveTheBarsMaximumLeavesTheBarAtItsEnd) {
  ThreeJobs();
  fake_xaudio::NotifyInputPosition(static_cast<std::uint32_t>(n + 1000), n);
  EXPECT_EQ(form->TrackBar->Position(), n);
  EXPECT_EQ(form->Panel36->Caption(), QStringLiteral("%1  from  %2").arg(n + 1000).arg(n));
}

TEST_F(PreviewTest, NextAndPreviousAcrossTheList) {
  ThreeJobs();
  // Previous on the first row: nothing.
  form->Prev_SB->Click();
  EXPECT_TRUE(Commands().empty());
  // Next from the first: stops, loads the second, does not play.
  form->Next_SB->Click();
  std::vector<std::string> c = Commands();
  ASSERT_FALSE(c.empty());
  EXPECT_EQ(c.front(), CmdStop());
  EXPECT_EQ(std::count(c.begin(), c.end(), CmdPlay()), 0);
  EXPECT_EQ(form->CurrentJob, 1);
  // Next from the last: nothing, not even a stop.
  form->Files_SG->SetRow(3);
  fake_xaudio::ClearCalls();
  form->Next_SB->Click();
  EXPECT_TRUE(Commands().empty());
  // Previous from the middle does not stop the player.
  form->Files_SG->SetRow(2);
  fake_xaudio::ClearCalls();
  form->Prev_SB->Click();
  c = Commands();
  EXPECT_EQ(std::count(c.begin(), c.end(), CmdStop()), 0);
  EXPECT_EQ(form->CurrentJob, 0);
  // Previous with the spare row selected loads the last job.
  form->Files_SG->SetRow(4);
  form->Prev_SB->Click();
  EXPECT_EQ(form->CurrentJob, 2);
  EXPECT_EQ(form->Files_SG->Row(), 3);
}

TEST_F(PreviewTest, PlayerStatesShowInTheStatusPanel) {
  fake_xaudio::NotifyPlayerState(1);
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("PLAYING"));
  EXPECT_EQ(form->Panel1->FontColor(), syscolors::ActiveCaption());
  fake_xaudio::NotifyPlayerState(2);
  fake_xaudio::NotifyPlayerState(4);
  fake_xaudio::NotifyPlayerState(200);
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("PLAYING"));
  EXPECT_TRUE(Commands().empty());
  fake_xaudio::NotifyPlayerState(3);
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdSeek(0, 1)}));
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("PLAYING"));
  fake_xaudio::NotifyPlayerState(0);
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
  EXPECT_EQ(form->Panel1->FontColor(), syscolors::BtnFace());
}

TEST_F(PreviewTest, RefusalsOfPlayAndOpenAreShown) {
  fake_xaudio::SetErrorText(-4, std::string("file not found"));
  fake_xaudio::NotifyNack(7, -4);
  fake_xaudio::NotifyNack(3, -4);
  fake_xaudio::NotifyNack(6, -4);
  ASSERT_EQ(dlg.boxes.size(), 2u);
  EXPECT_EQ(dlg.boxes[0].text, QStringLiteral("Player Error : Cannot Open Input - file not found"));
  EXPECT_EQ(dlg.boxes[1].text, QStringLiteral("Player Error : Cannot Play Stream - file not found"));
  EXPECT_EQ(dlg.boxes[0].caption, QCoreApplication::applicationName());
  EXPECT_EQ(dlg.boxes[0].icon, dialogs::Icon::None);
  EXPECT_EQ(dlg.boxes[0].buttons, dialogs::Buttons::Ok);
}

TEST_F(PreviewTest, SetStartAndStopTakeTheSeekBarsPosition) {
  ThreeJobs();
  form->TrackBar->SetPosition(25);
  form->SetStop_SB->Click();
  EXPECT_EQ(form->JobTable[0].StopFrame, 25);
  EXPECT_EQ(Row(1)[2], QStringLiteral("25"));
  form->TrackBar->SetPosition(30);
  form->SetStart_SB->Click();
  EXPECT_EQ(form->JobTable[0].StartFrame, 30);
  EXPECT_EQ(form->JobTable[0].StopFrame, 30);  // pushed along
  EXPECT_EQ(Row(1)[1], QStringLiteral("30"));
  EXPECT_EQ(form->TrackBar->Position(), 30);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(PreviewTest, ClearingTheListWhilePlayingKeepsThePlayerAndTheBar) {
  ThreeJobs();
  form->Play_SB->Click();
  dlg.boxAnswers.push_back(dialogs::Result::Yes);
  form->ClearList1Click(nullptr);
  fake_xaudio::ClearCalls();
  fake_xaudio::NotifyInputPosition(15, n);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(form->TrackBar->Position(), 15);
  EXPECT_EQ(form->Panel36->Caption(), QStringLiteral("15  from  %1").arg(n));
}

TEST_F(PreviewTest, MovingTheSeekBarSeeksEvenWithNothingPlaying) {
  form->TrackBar->SetMax(50);
  form->TrackBar->setFocus();
  QTest::keyClick(form->TrackBar, Qt::Key_Right);
  EXPECT_EQ(Commands(), (std::vector<std::string>{CmdSeek(1, 50)}));
  EXPECT_EQ(form->Panel36->Caption(), QStringLiteral("1  from  50"));
  // Positions from notifications never seek.
  fake_xaudio::ClearCalls();
  fake_xaudio::NotifyInputPosition(7, 50);
  EXPECT_TRUE(Commands().empty());
}

}  // namespace
