// The window as it first shows, before the user has done anything.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionSlider>

#include "app/SystemColors.h"
#include "tests/window/WindowFixture.h"

namespace {

using StartupTest = WindowTest;

QRect InWindow(QWidget* form, QWidget* w) { return QRect(w->mapTo(form, QPoint(0, 0)), w->size()); }

TEST_F(StartupTest, FirstDisplayShowsAnEmptyListAndIdleDisplays) {
  T_MainForm& f = *form;
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Kerfwell  v1.0"));
  EXPECT_EQ(f.size(), QSize(633, 328));
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "the window cannot be resized";
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);

  EXPECT_EQ(f.Files_SG->RowCount(), 2);
  EXPECT_EQ(f.Files_SG->ColCount(), 5);
  EXPECT_EQ(Row(0), (QStringList{" Name", " Start Frame", " Stop Frame", " Total Frames", " Duration"}));
  EXPECT_EQ(Row(1), (QStringList{"", "", "", "", ""}));
  EXPECT_EQ(f.Files_SG->ColWidth(0), 100);
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(f.Files_SG->ColWidth(c), 70) << c;

  EXPECT_EQ(f.Panel29->Caption(), QStringLiteral("0 of 0 Files"));
  EXPECT_EQ(f.Panel1->Caption(), QStringLiteral("Idle"));
  EXPECT_EQ(f.Panel1->FontColor(), syscolors::BtnFace());
  EXPECT_EQ(f.Panel1->Color(), syscolors::BtnShadow());
  EXPECT_TRUE(f.Panel1->font().bold());
  EXPECT_EQ(f.Panel1->font().pixelSize(), 15);
  EXPECT_EQ(f.Panel2->Caption(), QString());
  for (TPanel* value :
       {f.Panel16, f.Panel18, f.Panel20, f.Panel22, f.Panel24, f.Panel26, f.Panel28, f.Panel32}) {
    EXPECT_EQ(value->Caption(), QString());
  }
  EXPECT_EQ(f.Panel33->Caption(), QStringLiteral("00 : 00 . 00"));
  EXPECT_EQ(f.Panel35->Caption(), QStringLiteral("00 : 00 . 00"));
  EXPECT_EQ(f.Panel36->Caption(), QStringLiteral("0 from 0"));
  EXPECT_EQ(f.ProcentCurrentJob_Panel->width(), 0);
  EXPECT_EQ(f.ProcentTotalJobs_Panel->width(), 0);
  EXPECT_EQ(f.CurrentJob_Panel->Caption(), QStringLiteral("% Done for Current Job  "));
  EXPECT_EQ(f.TotalJobs_Panel->Caption(), QStringLiteral("% Done for Total Jobs  "));
  EXPECT_EQ(f.CurrentJob_Panel->Alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  EXPECT_EQ(f.Hint_Panel->Caption(), QStringLiteral("Hint_Panel"));
  EXPECT_FALSE(f.Panel9->isVisible());
  EXPECT_FALSE(f.Panel14->isVisible());

  EXPECT_EQ(f.JobCount, 0);
  EXPECT_EQ(f.CurrentJob, 0);
  EXPECT_EQ(f.SavedSpinValue, 0);
  EXPECT_EQ(f.StreamSeconds, 0);
  EXPECT_EQ(f.LastDirectory, QStringLiteral("C:\\"));
  for (const _FileInfo& job : f.JobTable) {
    EXPECT_TRUE(job.Path.isEmpty());
    EXPECT_EQ(job.Duration, QStringLiteral("00:00"));
  }
  EXPECT_EQ(f.StartFrame_SE->Text(), QStringLiteral("0"));
  EXPECT_EQ(f.StartFrame_SE->MaxValue(), 999999999);
  EXPECT_EQ(f.TrackBar->Max(), 0);
}

// A sample of every kind of control, with docking results.
TEST_F(StartupTest, ControlsLandAtTheirPixelRectangles) {
  const std::vector<std::pair<QWidget*, QRect>> placements = {
      {form->Panel8, QRect(0, 0, 409, 269)},
      {form->Panel10, QRect(409, 0, 224, 269)},
      {form->Files_SG, QRect(3, 3, 403, 135)},
      {form->Panel12, QRect(2, 139, 405, 128)},
      {form->StartFrame_SE, QRect(2 + 4 + 4, 139 + 4 + 30, 89, 24)},
      {form->StopFrame_SE, QRect(2 + 104 + 4, 139 + 4 + 30, 89, 24)},
      {form->TrackBar, QRect(2 + 1 + 4, 139 + 69 + 2, 393, 21)},
      {form->SetStart_SB, QRect(2 + 1 + 4, 139 + 69 + 26, 47, 27)},
      {form->Next_SB, QRect(2 + 1 + 248, 139 + 69 + 26, 47, 27)},
      {form->StartProcess_SB, QRect(2 + 1 + 348, 139 + 69 + 26, 47, 27)},
      {form->Panel33, QRect(2 + 208, 139 + 16, 89, 17)},
      {form->Panel36, QRect(2 + 208, 139 + 48, 189, 17)},
      {form->Panel2, QRect(411, 2, 220, 21)},
      {form->Panel29, QRect(411, 23, 220, 21)},
      {form->Panel1, QRect(411, 44, 220, 21)},
      {form->Panel15, QRect(411 + 8, 65 + 8, 205, 21)},
      {form->Panel16, QRect(411 + 8 + 128, 65 + 8 + 2, 75, 17)},
      {form->Panel27, QRect(411 + 8, 65 + 176, 205, 21)},
      {form->CurrentJob_Panel, QRect(0, 269, 633, 18)},
      {form->TotalJobs_Panel, QRect(0, 287, 633, 18)},
      {form->Hint_Panel, QRect(0, 305, 633, 23)},
      {form->Panel34, QRect(2, 307, 67, 19)},
  };
  for (const auto& [w, rect] : placements)
    EXPECT_EQ(InWindow(form.get(), w), rect) << w->metaObject()->className();
}

TEST_F(StartupTest, StreamInformationRowsInTheirOrder) {
  const std::vector<std::tuple<TPanel*, int, const char*, bool>> rows = {
      {form->Panel15, 8, "   Version", false},         {form->Panel17, 32, "   Layer", false},
      {form->Panel19, 56, "   BitRate", true},         {form->Panel25, 80, "   SampleRate", false},
      {form->Panel21, 104, "   Mode", true},           {form->Panel23, 128, "   Is Copyrighted ?", false},
      {form->Panel31, 152, "   Is Original ?", false}, {form->Panel27, 176, "   Nr. of Frames", false},
  };
  for (const auto& [label, top, caption, bold] : rows) {
    EXPECT_EQ(label->y(), top) << caption;
    EXPECT_EQ(label->Caption(), QString::fromLatin1(caption));
    EXPECT_EQ(label->font().bold(), bold) << caption;
    EXPECT_EQ(label->Alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(label->Color(), syscolors::BtnShadow());
    EXPECT_EQ(label->BevelOuter(), TBevel::Lowered);
    EXPECT_EQ(label->BevelInner(), TBevel::Raised);
  }
}

TEST_F(StartupTest, DialogsMenuAndPlayerAreSetUp) {
  EXPECT_EQ(form->OpenDialog1.Title, QStringLiteral("Open MP3 Files ..."));
  EXPECT_EQ(form->OpenDialog1.Filter,
            QStringLiteral("MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File (*.*)|*.*"));
  EXPECT_EQ(form->OpenDialog1.DefaultExt, QStringLiteral("*.mp3"));
  EXPECT_EQ(form->OpenDialog1.InitialDir, QStringLiteral("C:\\"));
  EXPECT_EQ(form->SaveDialog.Title, QStringLiteral("Save Resulted File ..."));
  EXPECT_EQ(form->SaveDialog.Filter, QStringLiteral("MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File|*.*"));
  EXPECT_FALSE(form->SaveDialog.ConfirmOverwrite);

  const QList<QAction*> items = form->PopupMenu->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0], form->Open1);
  EXPECT_EQ(items[0]->text(), QStringLiteral("&Open"));
  EXPECT_EQ(items[1]->text(), QStringLiteral("&Delete From List"));
  EXPECT_EQ(items[2]->text(), QStringLiteral("&Clear List"));
  EXPECT_EQ(form->Files_SG->PopupMenu(), form->PopupMenu);
}

TEST(StartupOrder, PlayerGetsPriorityThenTheOutputCommands) {
  fake_xaudio::Reset();
  WindowDialogs dlg;
  dialogs::Dialogs* previous = dialogs::SetDialogs(&dlg);
  {
    T_MainForm f;
    std::vector<std::string> calls;
    for (const fake_xaudio::Call& c : fake_xaudio::Calls()) {
      if (c.function == "player_set_priority" || c.function.rfind("control_message_send", 0) == 0) {
        calls.push_back(c.text);
      }
    }
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], "player_set_priority(4)");
    EXPECT_EQ(calls[1], "control_message_send_S(26, \"dsound_output_module_register@xa_dsound_output.dll\")");
    EXPECT_EQ(calls[2].rfind("control_message_send_SI(31, \"OUTPUT.DIRECTSOUND.WINDOW\", ", 0), 0u)
        << calls[2];
    EXPECT_EQ(calls[3], "control_message_send_S(44, \"/dev/dsound/0\")");
    EXPECT_TRUE(dlg.boxes.empty());
  }
  dialogs::SetDialogs(previous);
}

// Sampled from the window's own image: the classic scheme whatever the
// desktop's theme, here a theme with no colour of the scheme in it.
TEST(StartupColours, TheWindowDrawsItsSchemeNotTheDesktopTheme) {
  fake_xaudio::Reset();
  WindowDialogs dlg;
  dialogs::Dialogs* previous = dialogs::SetDialogs(&dlg);
  const QPalette desktop = QApplication::palette();
  QPalette odd;
  for (int r = 0; r < QPalette::NColorRoles; ++r) {
    odd.setColor(QPalette::ColorRole(r), QColor(0x33 + r * 7, 0x99, 0x11 + r * 5));
  }
  QApplication::setPalette(odd);
  {
    T_MainForm f;
    f.show();
    QTemporaryDir tmp;
    const QString a = tmp.filePath("a.mp3");
    ASSERT_TRUE(QFile::copy(QStringLiteral(KERFWELL_TEST_DATA "/cbr128.mp3"), a));
    dlg.openAnswers.push_back(a);
    f.OpenFile_SB->Click();
    ASSERT_EQ(f.Files_SG->Row(), 1);
    f.TrackBar->SetPosition(f.TrackBar->Max() / 2);

    const QImage img = f.grab().toImage();
    auto px = [&](QWidget* w, QPoint p) { return QColor(img.pixel(w->mapTo(&f, p))); };
    TStringGrid* g = f.Files_SG;
    QWidget* view = g->viewport();

    // Header cells: button face with a white top edge and the shadow below.
    const QRect header = g->CellRect(1, 0);
    EXPECT_EQ(px(view, header.bottomRight() - QPoint(3, 3)), syscolors::BtnFace());
    EXPECT_EQ(px(view, header.topLeft() + QPoint(3, 0)), syscolors::BtnHighlight());
    EXPECT_EQ(px(view, header.bottomLeft() + QPoint(3, 0)), syscolors::BtnShadow());
    EXPECT_EQ(px(view, QPoint(header.right() + 1, 5)), syscolors::BtnDkShadow());

    // The selected row: dark blue, white text.
    const QRect sel = g->CellRect(4, 1);
    EXPECT_EQ(px(view, sel.bottomRight() - QPoint(2, 2)), syscolors::Highlight());
    int white = 0;
    for (int x = sel.left(); x < sel.right(); ++x) {
      for (int y = sel.top(); y <= sel.bottom(); ++y)
        white += px(view, QPoint(x, y)) == syscolors::HighlightText();
    }
    EXPECT_GT(white, 0) << "no white text on the selected row";

    // A raised panel: white top-left, button shadow bottom-right.
    EXPECT_EQ(px(f.Panel8, QPoint(0, 0)), syscolors::BtnHighlight());
    EXPECT_EQ(px(f.Panel8, QPoint(f.Panel8->width() - 1, f.Panel8->height() - 1)), syscolors::BtnShadow());
    EXPECT_EQ(px(f.Panel30, QPoint(0, 0)), syscolors::BtnShadow());  // lowered

    // The seek bar's channel looks the same left and right of the thumb.
    TTrackBar* bar = f.TrackBar;
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Horizontal;
    opt.minimum = bar->Min();
    opt.maximum = bar->Max();
    opt.sliderPosition = bar->Position();
    opt.sliderValue = bar->Position();
    const QRect thumb = bar->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, bar);
    ASSERT_GT(thumb.left(), 20);
    ASSERT_LT(thumb.right(), bar->width() - 20);
    const int top = thumb.center().y() - 2;
    const std::vector<std::pair<int, QColor>> channel = {{top, syscolors::BtnShadow()},
                                                         {top + 1, syscolors::BtnDkShadow()},
                                                         {top + 2, syscolors::BtnFace()},
                                                         {top + 3, syscolors::BtnHighlight()}};
    for (const auto& [y, colour] : channel) {
      EXPECT_EQ(px(bar, QPoint(thumb.left() - 10, y)), colour) << "left of the thumb, row " << y - top;
      EXPECT_EQ(px(bar, QPoint(thumb.right() + 10, y)), colour) << "right of the thumb, row " << y - top;
    }
    EXPECT_EQ(px(bar, thumb.center() + QPoint(0, 3)), syscolors::BtnFace());
  }
  QApplication::setPalette(desktop);
  dialogs::SetDialogs(previous);
  fake_xaudio::Deliver();
}

TEST_F(StartupTest, ClosingIsNeverRefused) {
  EXPECT_TRUE(form->FormCloseQuery(form.get()));
  AddJobs(2);
  EXPECT_TRUE(form->close());
}

}  // namespace
