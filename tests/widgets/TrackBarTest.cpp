// The seek bar: silent under changes from code, one change event per step
// of the user's own moves.
#include <QStyle>
#include <QStyleOptionSlider>
#include <vector>

#include "WidgetTestSupport.h"
#include "widgets/TrackBar.h"

namespace {

class TrackBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.active());
    bar = new TTrackBar(window.get());
    bar->setGeometry(4, 2, 393, 21);
    bar->show();
    bar->setFocus(Qt::TabFocusReason);
    bar->OnChange = [this](QObject* s) {
      EXPECT_EQ(s, bar);
      events.push_back(bar->Position());
    };
  }

  QRect Handle() {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Horizontal;
    opt.minimum = bar->Min();
    opt.maximum = bar->Max();
    opt.sliderPosition = bar->Position();
    opt.sliderValue = bar->Position();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    return bar->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, bar);
  }

  ActiveWindow window;
  TTrackBar* bar = nullptr;
  std::vector<int> events;
};

TEST_F(TrackBarTest, ChangesFromCodeClampAndRaiseNothing) {
  EXPECT_EQ(bar->Max(), 0);
  EXPECT_EQ(bar->Position(), 0);
  const struct {
    const char* what;
    int max;       // -1: leave
    int position;  // -1: leave
    int expectedPosition;
  } steps[] = {
      {"grow the range", 1000, -1, 0}, {"move inside", -1, 400, 400}, {"beyond the end", -1, 5000, 1000},
      {"before the start", -1, -7, 0}, {"back inside", -1, 900, 900}, {"shrink below it", 300, -1, 300},
      {"empty range", 0, -1, 0},
  };
  for (const auto& s : steps) {
    if (s.max >= 0) bar->SetMax(s.max);
    if (s.position != -1) bar->SetPosition(s.position);
    EXPECT_EQ(bar->Position(), s.expectedPosition) << s.what;
  }
  bar->SetMax(50);
  bar->SetMin(20);  // drags the position along
  EXPECT_EQ(bar->Position(), 20);
  EXPECT_TRUE(events.empty());
}

TEST_F(TrackBarTest, EveryKeyStepRaisesOneEvent) {
  bar->SetMax(100);
  bar->SetPosition(50);
  const struct {
    Qt::Key key;
    std::vector<int> expected;
  } steps[] = {
      {Qt::Key_Right, {51}}, {Qt::Key_Left, {50}}, {Qt::Key_PageUp, {52}}, {Qt::Key_PageDown, {50}},
      {Qt::Key_End, {100}},  {Qt::Key_Right, {}},  {Qt::Key_Home, {0}},    {Qt::Key_Left, {}},
  };
  for (const auto& s : steps) {
    events.clear();
    QTest::keyClick(bar, s.key);
    EXPECT_EQ(events, s.expected) << "key " << s.key;
  }
}

TEST_F(TrackBarTest, AClickBesideTheThumbPagesTowardsIt) {
  bar->SetMax(100);
  bar->SetPosition(50);
  const QRect handle = Handle();
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 5, handle.center().y()));
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(3, handle.center().y()));
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(3, handle.center().y()));
  EXPECT_EQ(events, (std::vector<int>{52, 50, 48}));
}

TEST_F(TrackBarTest, DraggingTheThumbRaisesOneEventPerNewPosition) {
  bar->SetMax(20);
  bar->SetPosition(0);
  const QRect handle = Handle();
  QPoint at = handle.center();
  QTest::mousePress(bar, Qt::LeftButton, {}, at);
  for (int i = 0; i < 12; ++i) {
    at += QPoint(9, 0);
    QTest::mouseMove(bar, at);
  }
  QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
  ASSERT_GE(events.size(), 2u);
  for (size_t i = 1; i < events.size(); ++i) EXPECT_GT(events[i], events[i - 1]) << "event " << i;
  EXPECT_EQ(events.back(), bar->Position());
  EXPECT_GT(bar->Position(), 0);
}

}  // namespace
