#include "app/_MainUnit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include "jobs/JobGrid.h"
#include "preview/XaudioPlayer.h"

T_MainForm::T_MainForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("_MainForm"));
  setWindowTitle(QStringLiteral("Kerfwell  v1.0"));
  setFixedSize(633, 328);
  setMouseTracking(true);
  setAcceptDrops(true);
  CreateLayout();
  CreateShortcuts();
  FormCreate(this);
}

T_MainForm::~T_MainForm() = default;

void T_MainForm::FormCreate(QObject* /*Sender*/) {
  // 1. Blank the decorative captions; the hint line keeps its own.
  for (TPanel* p :
       {Panel2, Panel3, Panel4, Panel7, Panel8, Panel10, Panel11, Panel12, Panel13, Panel16, Panel18, Panel20,
        Panel22, Panel24, Panel26, Panel28, Panel32, ProcentTotalJobs_Panel, ProcentCurrentJob_Panel}) {
    p->SetCaption(QString());
  }
  // 2. Both bars start without a visible width.
  ProcentCurrentJob_Panel->resize(0, ProcentCurrentJob_Panel->height());
  ProcentTotalJobs_Panel->resize(0, ProcentTotalJobs_Panel->height());
  // 3-5. The grid: five columns, the header row and one empty row.
  Files_SG->SetColCount(5);
  Files_SG->SetRowCount(2);
  WriteJobGridHeader(Files_SG);
  ResetJobGridWidths(Files_SG);
  // 6. The job table.
  ResetJobTable();
  // 7-8.
  SavedSpinValue = 0;
  StreamSeconds = 0;
  Panel29->SetCaption(QStringLiteral("0 of 0 Files"));
  // 9. The player's sound output.
  InitAudioOutput();
  // 10.
  LastDirectory = QStringLiteral("C:\\");
}

void T_MainForm::RepaintWholeWindow() {
  // A repaint of the window alone paints only the controls marked as changed,
  // which leaves what a dialog that just closed covered as the dialog left
  // it until the window's expose events are served. Marking every control
  // first has the one repaint paint each of them, once.
  for (QWidget* w : findChildren<QWidget*>()) {
    if (!w->isWindow() && w->isVisible()) w->update();
  }
  repaint();
}

bool T_MainForm::FormCloseQuery(QObject* /*Sender*/) { return true; }

void T_MainForm::FormResize(QObject* /*Sender*/) {}

void T_MainForm::closeEvent(QCloseEvent* e) {
  if (FormCloseQuery(this)) {
    e->accept();
  } else {
    e->ignore();
  }
}

void T_MainForm::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  FormResize(this);
}

void T_MainForm::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  FormMouseMove(this, e->modifiers(), p.x(), p.y());
}
