// The window's layout: every control at its place, with its look and its
// event bindings. Absolute geometry is fine: the window has a fixed size.

#include <QAction>
#include <QMenu>

#include "app/Glyphs.h"
#include "app/SystemColors.h"
#include "app/_MainUnit.h"
#include "preview/XaudioPlayer.h"

namespace {

using MouseMoveHandler = void (T_MainForm::*)(QObject*, Qt::KeyboardModifiers, int, int);

struct PanelStyle {
  TBevel outer = TBevel::Raised;
  TBevel inner = TBevel::None;
  Qt::Alignment alignment = Qt::AlignHCenter;
  QColor color;      // invalid: button face
  QColor fontColor;  // invalid: the parent's
  QFont font;        // family empty: the parent's
  bool hasFont = false;
};

QColor FontColorOf(QWidget* w) {
  if (auto* p = qobject_cast<TPanel*>(w)) return p->FontColor();
  if (w != nullptr && w->property("kerfwellFontColor").isValid())
    return w->property("kerfwellFontColor").value<QColor>();
  return syscolors::WindowText();
}

TPanel* MakePanel(QWidget* parent, int x, int y, int w, int h, const QString& caption, const PanelStyle& s) {
  auto* p = new TPanel(parent);
  p->setGeometry(x, y, w, h);
  p->SetBevelOuter(s.outer);
  p->SetBevelInner(s.inner);
  p->SetAlignment(s.alignment);
  p->SetColor(s.color.isValid() ? s.color : syscolors::BtnFace());
  p->SetFontColor(s.fontColor.isValid() ? s.fontColor : FontColorOf(parent));
  p->setFont(s.hasFont ? s.font : parent->font());
  p->SetCaption(caption);
  return p;
}

PanelStyle Style(TBevel outer, TBevel inner) {
  PanelStyle s;
  s.outer = outer;
  s.inner = inner;
  return s;
}

PanelStyle WithFont(PanelStyle s, const QFont& f, const QColor& c) {
  s.font = f;
  s.hasFont = true;
  s.fontColor = c;
  return s;
}

PanelStyle WithColor(PanelStyle s, const QColor& c) {
  s.color = c;
  return s;
}

}  // namespace

void T_MainForm::CreateLayout() {
  using namespace syscolors;
  auto bind = [this](MouseMoveHandler h) {
    return [this, h](QObject* sender, Qt::KeyboardModifiers shift, int x, int y) {
      (this->*h)(sender, shift, x, y);
    };
  };

  setFont(fonts::Arial(11));
  setProperty("kerfwellFontColor", WindowText());
  // Every control inherits the scheme: bevels, header cells, the selected
  // row and the toolkit's own parts (editor frames, arrows) all draw from it.
  setPalette(ClassicPalette());
  setAutoFillBackground(true);

  OpenDialog1.Title = QStringLiteral("Open MP3 Files ...");
  OpenDialog1.Filter = QStringLiteral("MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File (*.*)|*.*");
  OpenDialog1.DefaultExt = QStringLiteral("*.mp3");
  OpenDialog1.InitialDir = QStringLiteral("C:\\");

  // Left block: the grid above, the range boxes, times and transport below.
  Panel8 = MakePanel(this, 0, 0, 409, 269, QString(), Style(TBevel::Raised, TBevel::Lowered));
  Panel8->OnMouseMove = bind(&T_MainForm::FormMouseMove);

  // The hint line along the bottom.
  Hint_Panel = MakePanel(this, 0, 305, 633, 23, QStringLiteral("Hint_Panel"),
                         WithFont(Style(TBevel::Raised, TBevel::Lowered), fonts::Arial(11), ActiveCaption()));
  Hint_Panel->OnMouseMove = bind(&T_MainForm::FormMouseMove);

  // Right block: current file, counter, status, stream information.
  Panel10 = MakePanel(this, 409, 0, 224, 269, QString(),
                      WithFont(Style(TBevel::Raised, TBevel::Lowered), fonts::Arial(11), ActiveCaption()));
  Panel10->OnMouseMove = bind(&T_MainForm::FormMouseMove);

  Panel11 = MakePanel(Panel8, 2, 2, 405, 137, QString(), Style(TBevel::Raised, TBevel::None));

  Files_SG = new TStringGrid(Panel11);
  Files_SG->setGeometry(1, 1, 403, 135);
  Files_SG->setCursor(Qt::PointingHandCursor);
  Files_SG->SetColor(BtnFace());
  Files_SG->setFont(fonts::Arial(11));
  Files_SG->SetFontColor(ActiveCaption());
  Files_SG->SetDefaultRowHeight(16);
  Files_SG->SetShowHint(true);
  Files_SG->OnClick = [this](QObject* s) { Files_SGClick(s); };
  Files_SG->OnKeyUp = [this](QObject* s, int& key, Qt::KeyboardModifiers shift) {
    Files_SGKeyUp(s, key, shift);
  };
  Files_SG->OnMouseMove = bind(&T_MainForm::Files_SGMouseMove);
  Files_SG->OnMouseUp = [this](QObject* s, Qt::MouseButton b, Qt::KeyboardModifiers shift, int x, int y) {
    Files_SGMouseUp(s, b, shift, x, y);
  };
  Files_SG->OnSelectCell = [this](QObject* s, int c, int r, bool& can) { Files_SGSelectCell(s, c, r, can); };

  Panel12 = MakePanel(Panel8, 2, 139, 405, 128, QString(),
                      WithFont(Style(TBevel::Raised, TBevel::None), fonts::Arial(11), ActiveCaption()));
  Panel12->OnMouseMove = bind(&T_MainForm::FormMouseMove);

  // Start and stop frame boxes.
  const PanelStyle boxStyle = Style(TBevel::Lowered, TBevel::Raised);
  const PanelStyle boxLabel = WithFont(Style(TBevel::None, TBevel::None), fonts::Arial(12), BtnShadow());
  auto makeSpin = [&](QWidget* parent) {
    auto* se = new TSpinEdit(parent);
    se->setGeometry(4, 30, 89, 24);
    se->setCursor(Qt::PointingHandCursor);
    se->SetColor(BtnFace());
    se->setFont(fonts::Arial(12, true));
    se->SetFontColor(ActiveCaption());
    se->SetMinValue(0);
    se->SetMaxValue(999999999);
    se->SetValue(0);
    return se;
  };

  Panel3 = MakePanel(Panel12, 4, 4, 97, 61, QString(), boxStyle);
  Panel3->OnMouseMove = bind(&T_MainForm::StartFrame_SEMouseMove);
  Panel5 = MakePanel(Panel3, 2, 2, 93, 28, QStringLiteral("Start Frame"), boxLabel);
  Panel5->OnMouseMove = bind(&T_MainForm::StartFrame_SEMouseMove);
  StartFrame_SE = makeSpin(Panel3);
  StartFrame_SE->OnChange = [this](QObject* s) { StartFrame_SEChange(s); };
  StartFrame_SE->OnEnter = [this](QObject* s) { StartFrame_SEEnter(s); };
  StartFrame_SE->OnExit = [this](QObject* s) { StartFrame_SEExit(s); };
  // Enter commits what was typed, as leaving the box does.
  StartFrame_SE->OnCommit = [this](QObject* s) { StartFrame_SEChange(s); };
  StartFrame_SE->OnMouseMove = bind(&T_MainForm::StartFrame_SEMouseMove);

  Panel4 = MakePanel(Panel12, 104, 4, 97, 61, QString(), boxStyle);
  Panel4->OnMouseMove = bind(&T_MainForm::StopFrame_SEMouseMove);
  Panel6 = MakePanel(Panel4, 2, 2, 93, 28, QStringLiteral("Stop Frame"), boxLabel);
  Panel6->OnMouseMove = bind(&T_MainForm::StopFrame_SEMouseMove);
  StopFrame_SE = makeSpin(Panel4);
  StopFrame_SE->OnChange = [this](QObject* s) { StopFrame_SEChange(s); };
  StopFrame_SE->OnEnter = [this](QObject* s) { StopFrame_SEEnter(s); };
  StopFrame_SE->OnExit = [this](QObject* s) { StopFrame_SEExit(s); };
  StopFrame_SE->OnCommit = [this](QObject* s) { StopFrame_SEChange(s); };
  StopFrame_SE->OnMouseMove = bind(&T_MainForm::StopFrame_SEMouseMove);

  // Status, counter and the current file.
  const PanelStyle statusStyle = WithColor(Style(TBevel::Raised, TBevel::Lowered), BtnShadow());
  Panel1 = MakePanel(Panel10, 2, 44, 220, 21, QStringLiteral("Idle"),
                     WithFont(statusStyle, fonts::Arial(15, true), BtnFace()));
  Panel1->OnMouseMove = bind(&T_MainForm::Panel1MouseMove);

  Panel7 = MakePanel(Panel10, 2, 23, 220, 21, QString(),
                     WithFont(Style(TBevel::None, TBevel::None), fonts::Arial(11), BtnShadow()));

  // Stream information rows.
  Panel13 = MakePanel(Panel10, 2, 65, 220, 202, QString(),
                      WithFont(Style(TBevel::None, TBevel::None), fonts::Arial(11), BtnShadow()));
  Panel13->OnMouseMove = bind(&T_MainForm::FormMouseMove);
  CreateStreamInfoRow(Panel15, Panel16, 8, QStringLiteral("   Version"), false,
                      &T_MainForm::Panel15MouseMove);
  CreateStreamInfoRow(Panel17, Panel18, 32, QStringLiteral("   Layer"), false, &T_MainForm::Panel17MouseMove);
  CreateStreamInfoRow(Panel19, Panel20, 56, QStringLiteral("   BitRate"), true,
                      &T_MainForm::Panel19MouseMove);
  CreateStreamInfoRow(Panel21, Panel22, 104, QStringLiteral("   Mode"), true, &T_MainForm::Panel21MouseMove);
  CreateStreamInfoRow(Panel23, Panel24, 128, QStringLiteral("   Is Copyrighted ?"), false,
                      &T_MainForm::Panel23MouseMove);
  CreateStreamInfoRow(Panel25, Panel26, 80, QStringLiteral("   SampleRate"), false,
                      &T_MainForm::Panel25MouseMove);
  CreateStreamInfoRow(Panel27, Panel28, 176, QStringLiteral("   Nr. of Frames"), false,
                      &T_MainForm::Panel27MouseMove);
  CreateStreamInfoRow(Panel31, Panel32, 152, QStringLiteral("   Is Original ?"), false,
                      &T_MainForm::Panel31MouseMove);

  Panel2 = MakePanel(Panel10, 2, 2, 220, 21, QString(), WithFont(statusStyle, fonts::Arial(11), BtnFace()));
  Panel2->OnMouseMove = bind(&T_MainForm::Panel2MouseMove);

  PopupMenu = new QMenu(this);
  Open1 = PopupMenu->addAction(QStringLiteral("&Open"));
  Delete1 = PopupMenu->addAction(QStringLiteral("&Delete From List"));
  ClearList1 = PopupMenu->addAction(QStringLiteral("&Clear List"));
  connect(Open1, &QAction::triggered, this, [this] { OpenFile_SBClick(Open1); });
  connect(Delete1, &QAction::triggered, this, [this] { Delete1Click(Delete1); });
  connect(ClearList1, &QAction::triggered, this, [this] { ClearList1Click(ClearList1); });
  Files_SG->SetPopupMenu(PopupMenu);

  SaveDialog.Title = QStringLiteral("Save Resulted File ...");
  SaveDialog.Filter = QStringLiteral("MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File|*.*");
  SaveDialog.DefaultExt = QStringLiteral("*.mp3");
  SaveDialog.ConfirmOverwrite = false;

  Panel29 = MakePanel(Panel7, 0, 0, 220, 21, QStringLiteral("0 of 0 Files"),
                      WithFont(statusStyle, fonts::Arial(11), BtnFace()));
  Panel29->OnMouseMove = bind(&T_MainForm::Panel29MouseMove);
  Panel9 = MakePanel(Panel7, 88, 0, 132, 21, QStringLiteral("0 of 0 Frames"),
                     WithFont(statusStyle, fonts::Arial(11), BtnFace()));
  Panel9->OnMouseMove = bind(&T_MainForm::Panel9MouseMove);
  Panel9->hide();

  Panel30 = MakePanel(Panel12, 1, 69, 403, 58, QString(), boxStyle);
  Panel30->OnMouseMove = bind(&T_MainForm::FormMouseMove);

  // The player component; the layout then sets its priority and binds its events.
  XaudioPlayer = new TXaudioPlayer(this);
  XaudioPlayer->SetPriority(4);
  XaudioPlayer->OnNotifyNack = [this](QObject* s, std::uint8_t c, std::int16_t code) {
    XaudioPlayerNotifyNack(s, c, code);
  };
  XaudioPlayer->OnNotifyPlayerState = [this](QObject* s, std::int32_t st) {
    XaudioPlayerNotifyPlayerState(s, st);
  };
  XaudioPlayer->OnNotifyInputPosition = [this](QObject* s, std::uint32_t o, std::uint32_t r) {
    XaudioPlayerNotifyInputPosition(s, o, r);
  };
  XaudioPlayer->OnNotifyInputTimecode = [this](QObject* s, std::uint8_t h, std::uint8_t m, std::uint8_t sec,
                                               std::uint8_t f) {
    XaudioPlayerNotifyInputTimecode(s, h, m, sec, f);
  };
  XaudioPlayer->OnNotifyInputDuration = [this](QObject* s, std::uint32_t d) {
    XaudioPlayerNotifyInputDuration(s, d);
  };

  TrackBar = new TTrackBar(Panel30);
  TrackBar->setGeometry(4, 2, 393, 21);
  TrackBar->setCursor(Qt::SplitHCursor);
  TrackBar->SetMin(0);
  TrackBar->SetMax(0);
  TrackBar->SetPosition(0);
  TrackBar->OnChange = [this](QObject* s) { TrackBarChange(s); };

  auto makeButton = [&](int x, const QPixmap& glyph, void (T_MainForm::*click)(QObject*),
                        MouseMoveHandler move) {
    auto* b = new TSpeedButton(Panel30);
    b->setGeometry(x, 26, 47, 27);
    b->setCursor(Qt::PointingHandCursor);
    b->SetGlyph(glyph);
    b->OnClick = [this, click](QObject* s) { (this->*click)(s); };
    b->OnMouseMove = bind(move);
    return b;
  };
  StartProcess_SB = makeButton(348, glyphs::StartProcess(), &T_MainForm::StartProcess_SBClick,
                               &T_MainForm::StartProcess_SBMouseMove);

  // Elapsed time, remaining time and the current frame.
  auto makeLabel = [&](int x, int y, int w, const QString& text, MouseMoveHandler move) {
    auto* t = new TStaticText(Panel12);
    t->setGeometry(x, y, w, 13);
    t->SetAlignment(Qt::AlignHCenter);
    t->setFont(fonts::Arial(11));
    t->SetFontColor(BtnShadow());
    t->SetCaption(text);
    t->OnMouseMove = bind(move);
    return t;
  };
  const PanelStyle timeStyle = WithFont(boxStyle, fonts::Arial(13), ActiveCaption());
  Panel33 = MakePanel(Panel12, 208, 16, 89, 17, QStringLiteral("00 : 00 . 00"), timeStyle);
  Panel33->OnMouseMove = bind(&T_MainForm::Panel33MouseMove);
  StaticText1 = makeLabel(208, 2, 89, QStringLiteral("Elapsed Time :"), &T_MainForm::Panel33MouseMove);
  Panel35 = MakePanel(Panel12, 308, 16, 89, 17, QStringLiteral("00 : 00 . 00"), timeStyle);
  Panel35->OnMouseMove = bind(&T_MainForm::Panel35MouseMove);
  StaticText2 = makeLabel(308, 2, 89, QStringLiteral("Remaining Time :"), &T_MainForm::Panel35MouseMove);
  StaticText3 = makeLabel(208, 34, 189, QStringLiteral("Current Frame  from  Total Frames"),
                          &T_MainForm::Panel36MouseMove);
  Panel36 = MakePanel(Panel12, 208, 48, 189, 17, QStringLiteral("0 from 0"), timeStyle);
  Panel36->OnMouseMove = bind(&T_MainForm::Panel36MouseMove);

  Panel14 = MakePanel(Hint_Panel, 612, 2, 19, 19, QStringLiteral(">"),
                      WithFont(Style(TBevel::Raised, TBevel::None), fonts::Fixedsys(12), BtnShadow()));
  Panel14->setCursor(Qt::PointingHandCursor);
  Panel14->hide();

  OpenFile_SB =
      makeButton(300, glyphs::OpenFile(), &T_MainForm::OpenFile_SBClick, &T_MainForm::OpenFile_SBMouseMove);
  Play_SB = makeButton(200, glyphs::Play(), &T_MainForm::Play_SBClick, &T_MainForm::Play_SBMouseMove);
  Stop_SB = makeButton(152, glyphs::Stop(), &T_MainForm::Stop_SBClick, &T_MainForm::Stop_SBMouseMove);
  SetStop_SB =
      makeButton(52, glyphs::SetStop(), &T_MainForm::SetStop_SBClick, &T_MainForm::SetStop_SBMouseMove);
  SetStart_SB =
      makeButton(4, glyphs::SetStart(), &T_MainForm::SetStart_SBClick, &T_MainForm::SetStart_SBMouseMove);
  Prev_SB = makeButton(104, glyphs::Prev(), &T_MainForm::Prev_SBClick, &T_MainForm::Prev_SBMouseMove);
  Next_SB = makeButton(248, glyphs::Next(), &T_MainForm::Next_SBClick, &T_MainForm::Next_SBMouseMove);

  // The two progress bars above the hint line.
  const PanelStyle barStyle = [&] {
    PanelStyle s = WithFont(Style(TBevel::Lowered, TBevel::None), fonts::Arial(12, true), BtnFace());
    s.color = BtnShadow();
    s.alignment = Qt::AlignRight;
    return s;
  }();
  const PanelStyle fillStyle =
      WithColor(WithFont(Style(TBevel::Raised, TBevel::None), fonts::Fixedsys(12), BtnShadow()), BtnFace());
  TotalJobs_Panel = MakePanel(this, 0, 287, 633, 18, QStringLiteral("% Done for Total Jobs  "), barStyle);
  TotalJobs_Panel->OnMouseMove = bind(&T_MainForm::TotalJobs_PanelMouseMove);
  CurrentJob_Panel = MakePanel(this, 0, 269, 633, 18, QStringLiteral("% Done for Current Job  "), barStyle);
  CurrentJob_Panel->OnMouseMove = bind(&T_MainForm::CurrentJob_PanelMouseMove);
  ProcentCurrentJob_Panel = MakePanel(CurrentJob_Panel, 1, 1, 0, 16, QString(), fillStyle);
  ProcentCurrentJob_Panel->OnMouseMove = bind(&T_MainForm::ProcentCurrentJob_PanelMouseMove);
  ProcentTotalJobs_Panel = MakePanel(TotalJobs_Panel, 1, 1, 0, 16, QString(), fillStyle);
  ProcentTotalJobs_Panel->OnMouseMove = bind(&T_MainForm::ProcentTotalJobs_PanelMouseMove);
  // A bar that grows by a pixel keeps what it showed: the toolkit then leaves
  // the rest of it alone, and the bar paints only what moved (jobs/Progress.cpp).
  ProcentCurrentJob_Panel->setAttribute(Qt::WA_StaticContents);
  ProcentTotalJobs_Panel->setAttribute(Qt::WA_StaticContents);

  Panel34 = MakePanel(Hint_Panel, 2, 2, 67, 19, QStringLiteral("Hint :"), Style(TBevel::None, TBevel::None));
  Panel34->OnMouseMove = bind(&T_MainForm::FormMouseMove);

  // Keyboard focus: the grid, the two range boxes, the seek bar; buttons take none.
  setTabOrder(Files_SG, StartFrame_SE);
  setTabOrder(StartFrame_SE, StopFrame_SE);
  setTabOrder(StopFrame_SE, TrackBar);
}

void T_MainForm::CreateStreamInfoRow(TPanel*& label, TPanel*& value, int top, const QString& caption,
                                     bool bold, MouseMoveHandler handler) {
  PanelStyle row =
      WithFont(Style(TBevel::Lowered, TBevel::Raised), fonts::Arial(11, bold), syscolors::BtnFace());
  row.color = syscolors::BtnShadow();
  row.alignment = Qt::AlignLeft;
  label = MakePanel(Panel13, 8, top, 205, 21, caption, row);
  PanelStyle valueStyle = row;
  valueStyle.outer = TBevel::None;
  valueStyle.inner = TBevel::None;
  value = MakePanel(label, 128, 2, 75, 17, QString(), valueStyle);
  label->OnMouseMove = [this, handler](QObject* s, Qt::KeyboardModifiers shift, int x, int y) {
    (this->*handler)(s, shift, x, y);
  };
  value->OnMouseMove = label->OnMouseMove;
}
