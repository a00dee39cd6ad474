// Panels, speed buttons and static texts: bevels and captions as drawn, and
// mouse moves that stop at the control under the pointer.
#include <QImage>
#include <QPainter>
#include <vector>

#include "WidgetTestSupport.h"
#include "widgets/Panel.h"
#include "widgets/SpeedButton.h"
#include "widgets/StaticText.h"

namespace {

QImage Render(QWidget* w) { return w->grab().toImage(); }

TEST(PanelTest, BevelsAreLightTopLeftAndDarkBottomRightWhenRaisedAndTheReverseWhenLowered) {
  TPanel panel;
  panel.resize(40, 20);
  panel.SetColor(Qt::blue);
  const QRgb light = panel.palette().color(QPalette::Light).rgb();
  const QRgb dark = panel.palette().color(QPalette::Dark).rgb();
  const QRgb blue = QColor(Qt::blue).rgb();
  ASSERT_NE(light, dark);
  const struct {
    TBevel outer, inner;
    QRgb outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
    int width;
  } cases[] = {
      {TBevel::Raised, TBevel::None, light, dark, blue, blue, 1},
      {TBevel::Lowered, TBevel::Raised, dark, light, light, dark, 2},
      {TBevel::None, TBevel::Lowered, dark, light, blue, blue, 1},
      {TBevel::None, TBevel::None, blue, blue, blue, blue, 0},
  };
  for (const auto& c : cases) {
    panel.SetBevelOuter(c.outer);
    panel.SetBevelInner(c.inner);
    const QImage img = Render(&panel);
    const int i = int(&c - cases);
    EXPECT_EQ(panel.BevelWidth(), c.width) << "case " << i;
    EXPECT_EQ(img.pixel(0, 0), c.outerTopLeft) << "case " << i;
    EXPECT_EQ(img.pixel(39, 19), c.outerBottomRight) << "case " << i;
    EXPECT_EQ(img.pixel(1, 1), c.innerTopLeft) << "case " << i;
    EXPECT_EQ(img.pixel(38, 18), c.innerBottomRight) << "case " << i;
    EXPECT_EQ(img.pixel(20, 10), blue) << "case " << i;
  }
}

TEST(PanelTest, EachBevelIsAWholeOnePixelFrame) {
  TPanel panel;
  panel.resize(9, 6);
  panel.SetColor(Qt::blue);
  panel.SetBevelOuter(TBevel::Raised);
  panel.SetBevelInner(TBevel::Lowered);
  const QRgb l = panel.palette().color(QPalette::Light).rgb();
  const QRgb d = panel.palette().color(QPalette::Dark).rgb();
  const QRgb b = QColor(Qt::blue).rgb();
  // The top and left edges first, then the bottom and right edges over them:
  // the top-right and bottom-left corners take the second colour.
  const std::vector<std::vector<QRgb>> expected = {
      {l, l, l, l, l, l, l, l, d},  //
      {l, d, d, d, d, d, d, l, d},  //
      {l, d, b, b, b, b, b, l, d},  //
      {l, d, b, b, b, b, b, l, d},  //
      {l, l, l, l, l, l, l, l, d},  //
      {d, d, d, d, d, d, d, d, d},
  };
  const QImage img = Render(&panel);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 9; ++x) EXPECT_EQ(img.pixel(x, y), expected[y][x]) << x << "," << y;
  }
}

// The first and last columns of an image that differ from its background.
std::pair<int, int> InkColumns(const QImage& img, QRgb background) {
  int first = -1;
  int last = -1;
  for (int x = 0; x < img.width(); ++x) {
    for (int y = 0; y < img.height(); ++y) {
      if (img.pixel(x, y) != background) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

TEST(PanelTest, CaptionIsPlacedByAlignmentKeepingTrailingBlanks) {
  TPanel panel;
  panel.resize(200, 18);
  panel.SetColor(Qt::white);
  panel.SetFontColor(Qt::black);
  panel.SetBevelOuter(TBevel::None);
  panel.SetCaption("Done  ");
  const int blanks = QFontMetrics(panel.font()).horizontalAdvance("  ");
  ASSERT_GT(blanks, 2);

  panel.SetAlignment(Qt::AlignRight);
  auto [rFirst, rLast] = InkColumns(Render(&panel), QColor(Qt::white).rgb());
  ASSERT_GE(rFirst, 0);
  EXPECT_LT(rLast, 200 - blanks);
  EXPECT_GT(rLast, 200 - blanks - 6);

  panel.SetAlignment(Qt::AlignLeft);
  auto [lFirst, lLast] = InkColumns(Render(&panel), QColor(Qt::white).rgb());
  EXPECT_LT(lFirst, 4);

  panel.SetAlignment(Qt::AlignHCenter);
  auto [cFirst, cLast] = InkColumns(Render(&panel), QColor(Qt::white).rgb());
  EXPECT_GT(cFirst, lFirst + 20);
  EXPECT_LT(cLast, rLast - 20);

  panel.SetCaption("");
  EXPECT_EQ(InkColumns(Render(&panel), QColor(Qt::white).rgb()).first, -1);
}

// A background panel whose handler records every move it gets, holding a
// control under test.
// A caption is shaped once and drawn again at every paint: a changed caption
// or font is drawn as it is now, and a caption with a line separator (a file
// name may hold one) is still drawn whole, on one line.
TEST(PanelTest, CaptionDrawnAgainShowsItsCurrentTextAndFont) {
  TPanel panel;
  panel.resize(300, 18);
  panel.SetColor(Qt::white);
  panel.SetFontColor(Qt::black);
  panel.SetBevelOuter(TBevel::None);
  panel.SetAlignment(Qt::AlignLeft);
  const QRgb white = QColor(Qt::white).rgb();
  auto inkWidth = [&] {
    const auto [first, last] = InkColumns(Render(&panel), white);
    return first < 0 ? 0 : last - first + 1;
  };
  panel.SetCaption("MM");
  const int two = inkWidth();
  ASSERT_GT(two, 4);
  panel.SetCaption("MMMM");
  EXPECT_GT(inkWidth(), two + 4);
  QFont larger = panel.font();
  larger.setPixelSize(30);
  panel.setFont(larger);
  const int large = inkWidth();
  EXPECT_GT(large, 2 * two);
  panel.SetCaption(QStringLiteral("MM") + QChar(QChar::LineSeparator) + QStringLiteral("MM"));
  EXPECT_GE(inkWidth(), large);
  // Painting only a strip that does not reach the caption leaves it as it was.
  panel.repaint(QRect(290, 0, 10, 18));
  EXPECT_GE(inkWidth(), large);
}

class MoveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.active());
    background = new TPanel(window.get());
    background->setGeometry(0, 0, 300, 200);
    background->OnMouseMove = [this](QObject* s, Qt::KeyboardModifiers, int x, int y) {
      EXPECT_EQ(s, background);
      backgroundMoves.push_back(QPoint(x, y));
    };
    background->show();
  }

  ActiveWindow window;
  TPanel* background = nullptr;
  std::vector<QPoint> backgroundMoves;
};

TEST_F(MoveTest, ControlsKeepTheirMovesWithOrWithoutAHandler) {
  auto* quiet = new TPanel(background);
  quiet->setGeometry(10, 10, 50, 20);
  auto* text = new TStaticText(background);
  text->setGeometry(10, 40, 50, 13);
  auto* button = new TSpeedButton(background);
  button->setGeometry(10, 60, 47, 27);
  for (QWidget* w : std::initializer_list<QWidget*>{quiet, text, button}) w->show();

  QTest::mouseMove(quiet, QPoint(5, 5));
  QTest::mouseMove(text, QPoint(5, 5));
  QTest::mouseMove(button, QPoint(5, 5));
  EXPECT_TRUE(backgroundMoves.empty());

  std::vector<QPoint> textMoves;
  text->OnMouseMove = [&](QObject*, Qt::KeyboardModifiers, int x, int y) { textMoves.push_back({x, y}); };
  QTest::mouseMove(text, QPoint(7, 3));
  ASSERT_FALSE(textMoves.empty());
  EXPECT_EQ(textMoves.back(), QPoint(7, 3));

  QTest::mouseMove(background, QPoint(200, 150));
  ASSERT_FALSE(backgroundMoves.empty());
  EXPECT_EQ(backgroundMoves.back(), QPoint(200, 150));
}

TEST_F(MoveTest, SpeedButtonClicksOnReleaseInsideOnlyAndNeverTakesTheFocus) {
  auto* button = new TSpeedButton(background);
  button->setGeometry(10, 60, 47, 27);
  button->show();
  int clicks = 0;
  button->OnClick = [&](QObject* s) {
    EXPECT_EQ(s, button);
    ++clicks;
  };
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(button, Qt::RightButton, {}, QPoint(20, 10));
  EXPECT_EQ(clicks, 1);
  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_EQ(clicks, 1);  // not on the press
  QTest::mouseMove(button, QPoint(80, 10));
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(80, 10));  // released off the button
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(button->hasFocus());
  EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
}

TEST_F(MoveTest, SpeedButtonShowsABorderOnlyWhileHoveredAndSunkenWhilePressed) {
  auto* button = new TSpeedButton(background);
  button->setGeometry(10, 60, 47, 27);
  button->show();
  const QPalette pal = button->palette();
  EXPECT_EQ(Render(button).pixel(0, 0), Render(button).pixel(5, 5));  // flat: no border

  QTest::mouseMove(button, QPoint(20, 10));
  QEnterEvent enter(QPointF(20, 10), QPointF(20, 10), button->mapToGlobal(QPointF(20, 10)));
  QApplication::sendEvent(button, &enter);
  ASSERT_TRUE(button->Hovered());
  QImage up = Render(button);
  EXPECT_EQ(up.pixel(0, 0), pal.color(QPalette::Light).rgb());
  EXPECT_EQ(up.pixel(46, 26), pal.color(QPalette::Dark).rgb());

  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 10));
  QImage down = Render(button);
  EXPECT_EQ(down.pixel(0, 0), pal.color(QPalette::Dark).rgb());
  EXPECT_EQ(down.pixel(46, 26), pal.color(QPalette::Light).rgb());
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(20, 10));
}

}  // namespace
