// The spin edit's six rules, driven by real key and focus events and checked
// against the whole sequence of events it raises.
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>
#include <limits>
#include <string>
#include <vector>

#include "WidgetTestSupport.h"
#include "widgets/SpinEdit.h"

namespace {

using Log = std::vector<std::string>;

// A spin edit with minimum 0 in an active window, beside a second control to
// take the focus, recording every event as "kind:text".
class SpinEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.active());
    se = new TSpinEdit(window.get());
    se->setGeometry(4, 30, 89, 24);
    other = new QLineEdit(window.get());
    other->setGeometry(120, 30, 89, 24);
    se->SetMinValue(0);
    se->SetMaxValue(999999999);
    se->show();
    other->show();
    se->OnChange = [this](QObject* s) { Record("change", s); };
    se->OnEnter = [this](QObject* s) { Record("enter", s); };
    se->OnExit = [this](QObject* s) { Record("exit", s); };
  }

  void Record(const char* kind, QObject* sender) {
    EXPECT_EQ(sender, se);
    log.push_back(std::string(kind) + ":" + se->Text().toStdString());
  }

  // Puts the focus into the editor with its whole text selected, as a user
  // tabbing into it would.
  void FocusEditor() {
    se->Editor()->setFocus(Qt::TabFocusReason);
    se->Editor()->selectAll();
  }
  void LeaveEditor() { other->setFocus(Qt::TabFocusReason); }
  void Type(const QString& keys) { QTest::keyClicks(se->Editor(), keys); }
  void Key(Qt::Key key) { QTest::keyClick(se->Editor(), key); }

  ActiveWindow window;
  TSpinEdit* se = nullptr;
  QLineEdit* other = nullptr;
  Log log;
};

TEST_F(SpinEditTest, ValueReadsTheTextAsASignedDecimalOrZero) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"0", 0},
      {"123", 123},
      {"007", 7},
      {"+7", 7},
      {"-5", -5},
      {"-0", 0},
      {"", 0},
      {"-", 0},
      {"+", 0},
      {"1.5", 0},
      {"12a", 0},
      {"--3", 0},
      {"2147483647", std::numeric_limits<std::int32_t>::max()},
      {"2147483648", std::numeric_limits<std::int32_t>::max()},
      {"99999999999999999999", std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"-99999999999", std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& c : cases) {
    se->SetText(c.text);
    EXPECT_EQ(se->Value(), c.value) << "text \"" << c.text << "\"";
  }
}

TEST_F(SpinEditTest, SetValueClampsUnlessMinimumEqualsMaximum) {
  se->SetMaxValue(100);
  se->SetValue(150);
  se->SetValue(-3);
  se->SetValue(42);
  se->SetMaxValue(0);  // a job of 0 frames: written as given
  se->SetValue(5);
  se->SetValue(-5);
  EXPECT_EQ(log, (Log{"change:100", "change:0", "change:42", "change:5", "change:-5"}));
}

TEST_F(SpinEditTest, ChangingTheLimitsLeavesTheTextAndRaisesNothing) {
  se->SetValue(900);
  log.clear();
  se->SetMaxValue(5);
  se->SetMinValue(10);
  EXPECT_EQ(se->Text(), "900");
  EXPECT_TRUE(log.empty());
}

TEST_F(SpinEditTest, OnlyADifferentTextRaisesTheChangeEvent) {
  se->SetValue(0);  // already "0"
  se->SetText("0");
  se->SetValue(12);
  se->SetValue(12);
  se->SetText("012");
  se->SetValue(12);  // "012" reads 12 but shows another text
  se->SetMaxValue(20);
  se->SetValue(25);  // clamped to 20
  se->SetValue(99);  // clamped to 20 again: unchanged
  EXPECT_EQ(log, (Log{"change:12", "change:012", "change:12", "change:20"}));
}

TEST_F(SpinEditTest, ArrowKeysAndButtonsStepByOneClampedLikeASetValue) {
  se->SetMaxValue(3);
  se->SetValue(1);
  FocusEditor();
  log.clear();
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);  // at the maximum: nothing changes
  Key(Qt::Key_Down);
  QTest::mouseClick(se->UpButton(), Qt::LeftButton);
  QTest::mouseClick(se->DownButton(), Qt::LeftButton);
  QTest::mouseClick(se->DownButton(), Qt::LeftButton);
  QTest::mouseClick(se->DownButton(), Qt::LeftButton);
  QTest::mouseClick(se->DownButton(), Qt::LeftButton);
  QTest::mouseClick(se->DownButton(), Qt::LeftButton);  // at the minimum
  EXPECT_EQ(log, (Log{"change:2", "change:3", "change:2", "change:3", "change:2", "change:1", "change:0"}));

  // A typed value beyond the maximum steps back into range.
  se->SetText("6000");
  log.clear();
  Key(Qt::Key_Up);
  se->SetText("-4");
  Key(Qt::Key_Down);
  EXPECT_EQ(log, (Log{"change:3", "change:-4", "change:0"}));
  EXPECT_EQ(se->BeepCount(), 0);
}

TEST_F(SpinEditTest, TypingOverTheSelectionRaisesOneEventPerKey) {
  // Start 500, stop 900: the user selects the stop text and types 3, then 0.
  se->SetValue(900);
  FocusEditor();
  log.clear();
  Type("3");
  Type("0");
  EXPECT_EQ(log, (Log{"change:3", "change:30"}));
  EXPECT_EQ(se->Value(), 30);
}

TEST_F(SpinEditTest, AcceptsDigitsSignsSeparatorAndControlKeysAndBeepsForTheRest) {
  const QChar separator = QLocale().decimalPoint().at(0);
  se->SetText("");
  FocusEditor();
  log.clear();
  const struct {
    QString keys;
    int beeps;  // beeps so far
    const char* text;
  } steps[] = {
      {"7", 0, "7"},
      {"a", 1, "7"},
      {"+", 1, "7+"},
      {" ", 2, "7+"},
      {"-", 2, "7+-"},
      {"x", 3, "7+-"},
      {QString(separator), 3, nullptr},
      {"9", 3, nullptr},
  };
  for (const auto& step : steps) {
    Type(step.keys);
    EXPECT_EQ(se->BeepCount(), step.beeps) << "after " << step.keys.toStdString();
    if (step.text) {
      EXPECT_EQ(se->Text().toStdString(), step.text) << "after " << step.keys.toStdString();
    }
  }
  const std::string withSeparator = std::string("7+-") + separator.toLatin1() + "9";
  EXPECT_EQ(se->Text().toStdString(), withSeparator);

  Key(Qt::Key_Return);
  Key(Qt::Key_Enter);
  EXPECT_EQ(se->BeepCount(), 5);
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Home);
  Key(Qt::Key_Delete);
  EXPECT_EQ(se->BeepCount(), 5);
  EXPECT_EQ(se->Text(), "+-" + QString(separator));
  EXPECT_EQ(log, (Log{"change:7", "change:7+", "change:7+-", "change:" + withSeparator.substr(0, 4),
                      "change:" + withSeparator, "change:" + withSeparator.substr(0, 4),
                      "change:+-" + std::string(1, separator.toLatin1())}));
}

TEST_F(SpinEditTest, LeavingRunsTheExitHandlerFirstThenClampsToTheNearestBound) {
  se->SetMaxValue(5000);
  const struct {
    const char* typed;
    Log expected;
  } cases[] = {
      {"6000", {"enter:1", "change:6", "change:60", "change:600", "change:6000", "exit:6000", "change:5000"}},
      {"-5", {"enter:1", "change:-", "change:-5", "exit:-5", "change:0"}},
      {"4999", {"enter:1", "change:4", "change:49", "change:499", "change:4999", "exit:4999"}},
      {"-", {"enter:1", "change:-", "exit:-"}},  // reads 0: inside the range, so it stays
  };
  for (const auto& c : cases) {
    se->SetValue(1);
    log.clear();
    FocusEditor();
    Type(c.typed);
    LeaveEditor();
    EXPECT_EQ(log, c.expected) << "typed " << c.typed;
  }
}

TEST_F(SpinEditTest, TheClampJudgesTheValueTheExitHandlerLeft) {
  // The window's exit handler puts back the value saved on entry when the
  // entry is empty or negative; the clamp must not undo that repair.
  se->SetMaxValue(100);
  se->OnExit = [this](QObject* s) {
    Record("exit", s);
    if (se->Text().isEmpty() || se->Value() < 0) se->SetValue(7);
  };
  const struct {
    const char* typed;
    Log expected;
  } cases[] = {
      {"", {"exit:", "change:7"}},
      {"-5", {"change:-", "change:-5", "exit:-5", "change:7"}},
      {"500", {"change:5", "change:50", "change:500", "exit:500", "change:100"}},
  };
  for (const auto& c : cases) {
    se->SetValue(7);
    FocusEditor();
    Key(Qt::Key_Delete);  // the whole text is selected
    log.clear();
    Type(c.typed);
    LeaveEditor();
    EXPECT_EQ(log, c.expected) << "typed " << c.typed;
  }
}

TEST_F(SpinEditTest, EntersOnceAndLeavesOnceAcrossAnotherWindowTakingTheFocus) {
  FocusEditor();
  QWidget dialog;
  dialog.resize(100, 50);
  QLineEdit dialogEdit(&dialog);
  dialog.show();
  dialog.activateWindow();
  QApplication::setActiveWindow(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialogEdit.setFocus(Qt::TabFocusReason);
  dialog.close();
  window.get()->activateWindow();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  EXPECT_TRUE(se->Editor()->hasFocus());
  EXPECT_EQ(log, (Log{"enter:0"}));
  LeaveEditor();
  FocusEditor();
  EXPECT_EQ(log, (Log{"enter:0", "exit:0", "enter:0"}));
}

TEST_F(SpinEditTest, AButtonClickFocusesTheEditorFirst) {
  LeaveEditor();
  QTest::mouseClick(se->UpButton(), Qt::LeftButton);
  EXPECT_EQ(log, (Log{"enter:0", "change:1"}));
  EXPECT_TRUE(se->Editor()->hasFocus());
}

}  // namespace

namespace {

// Every change tells whether it was typed; Enter commits without typing anything.
TEST_F(SpinEditTest, ChangesSayWhetherTheyWereTypedAndEnterCommits) {
  se->OnChange = [this](QObject*) {
    log.push_back(std::string(se->Typed() ? "typed:" : "set:") + se->Text().toStdString());
  };
  se->OnCommit = [this](QObject*) { log.push_back("commit:" + se->Text().toStdString()); };
  FocusEditor();
  Type("42");
  Key(Qt::Key_Up);
  se->SetValue(7);
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Return);
  se->UpButton()->click();
  EXPECT_EQ(log, (Log{"enter:0", "typed:4", "typed:42", "set:43", "set:7", "typed:", "commit:", "set:1"}));
  EXPECT_FALSE(se->Typed());  // only while a change is being raised
}

}  // namespace
