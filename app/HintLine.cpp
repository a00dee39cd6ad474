// The hint line: what the control under the pointer is for.

#include "app/_MainUnit.h"

namespace {
const QString kGridHint =
    QStringLiteral("... This is List of Files to Process   (Right-Click for Options) ...");
}

void T_MainForm::FormMouseMove(QObject*, Qt::KeyboardModifiers, int, int) {
  Hint_Panel->SetCaption(QString());
}

void T_MainForm::Files_SGMouseMove(QObject*, Qt::KeyboardModifiers, int X, int Y) {
  int col = -1;
  int row = -1;
  Files_SG->MouseToCell(X, Y, col, row);
  if (col == 0 && row >= 1) {
    // The spare row shows the free entry JobCount, whose path is empty; rows
    // past the table (never shown) count as empty too.
    const int entry = row - 1;
    Files_SG->SetHint(entry < kMaxJobs ? JobTable[static_cast<std::size_t>(entry)].Path : QString());
    Files_SG->SetShowHint(true);
  } else {
    Files_SG->SetShowHint(false);
  }
  Files_SG->setCursor(row >= 1 && row <= JobCount ? Qt::PointingHandCursor : Qt::ArrowCursor);
  Hint_Panel->SetCaption(kGridHint);
}

void T_MainForm::Panel2MouseMove(QObject*, Qt::KeyboardModifiers, int, int) {
  Panel2->setToolTip(Panel2->Caption());
  Hint_Panel->SetCaption(QStringLiteral("... Name of Current File ..."));
}

#define KERFWELL_FIXED_HINT(Handler, Text)                              \
  void T_MainForm::Handler(QObject*, Qt::KeyboardModifiers, int, int) { \
    Hint_Panel->SetCaption(QStringLiteral(Text));                       \
  }

KERFWELL_FIXED_HINT(StartFrame_SEMouseMove, "... Set START_FRAME for Current File ...")
KERFWELL_FIXED_HINT(StopFrame_SEMouseMove, "... Set STOP_FRAME for Current File ...")
KERFWELL_FIXED_HINT(Panel29MouseMove, "... Number of Current File ...")
KERFWELL_FIXED_HINT(Panel9MouseMove, "... Current Frame ...")
KERFWELL_FIXED_HINT(Panel1MouseMove, "... Program Status ...")
KERFWELL_FIXED_HINT(Panel15MouseMove, "... MPEG Version ...")
KERFWELL_FIXED_HINT(Panel17MouseMove, "... MPEG Layer ...")
KERFWELL_FIXED_HINT(Panel19MouseMove, "... MPEG BitRate ...")
KERFWELL_FIXED_HINT(Panel25MouseMove, "... MPEG Sample Rate ...")
KERFWELL_FIXED_HINT(Panel21MouseMove, "... MPEG Mode ...")
KERFWELL_FIXED_HINT(Panel23MouseMove, "... MPEG is Copyrighted or not ...")
KERFWELL_FIXED_HINT(Panel31MouseMove, "... MPEG is Original or not ...")
KERFWELL_FIXED_HINT(Panel27MouseMove, "... Number of Valid Frames ...")
KERFWELL_FIXED_HINT(ProcentCurrentJob_PanelMouseMove, "... Procent Done for Current Job in Process ...")
KERFWELL_FIXED_HINT(CurrentJob_PanelMouseMove, "... Procent Done for Current Job in Process ...")
KERFWELL_FIXED_HINT(ProcentTotalJobs_PanelMouseMove, "... Procent Done for Total Jobs in Process ...")
KERFWELL_FIXED_HINT(TotalJobs_PanelMouseMove, "... Procent Done for Total Jobs in Process ...")
KERFWELL_FIXED_HINT(Panel33MouseMove, "... Elapsed Time for Current File ...")
KERFWELL_FIXED_HINT(Panel35MouseMove, "... Remaining Time for Current File ...")
KERFWELL_FIXED_HINT(Panel36MouseMove, "... Current Frame from Total Frames of File ...")
KERFWELL_FIXED_HINT(SetStart_SBMouseMove, "... Push to Set START_FRAME at Current Frame ...")
KERFWELL_FIXED_HINT(SetStop_SBMouseMove, "... Push to Set STOP_FRAME at Current Frame ...")
KERFWELL_FIXED_HINT(Prev_SBMouseMove, "... Go To Previous File ...")
KERFWELL_FIXED_HINT(Stop_SBMouseMove, "... Stop Playing ...")
KERFWELL_FIXED_HINT(Play_SBMouseMove, "... Play Current File ...")
KERFWELL_FIXED_HINT(Next_SBMouseMove, "... Go To Next File ...")
KERFWELL_FIXED_HINT(OpenFile_SBMouseMove, "... Open / Add Files to Process List ...")
KERFWELL_FIXED_HINT(StartProcess_SBMouseMove, "... Start Processing ALL Files In List  /  Save to File ...")

#undef KERFWELL_FIXED_HINT
