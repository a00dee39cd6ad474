// The start and stop frame boxes. Both follow one pattern with the roles
// exchanged: the edited box always wins and pushes the other one, so that
// 0 <= start <= stop holds, and every change is stored in the current job.
// A value being typed pushes nothing yet: "6" on the way to "6335" is not the
// user's word, and pushing on it would lose the other box's value for good.
// The push waits for the value to be committed: leaving the box, Enter, a
// step of the arrows, a value set from code, or the window committing it
// before it loads another job or processes the list.

#include "app/_MainUnit.h"

namespace {

enum class Side { Start, Stop };

// The other box must move when the edited one crossed it.
bool OutOfOrder(Side side, std::int32_t edited, std::int32_t other) {
  return side == Side::Start ? edited > other : edited < other;
}

// Stores a box's value in the current job and its grid cell. While the list
// is empty there is no current job: the boxes still edit, but nothing is
// written into a free entry or into the spare row.
void StoreFrame(T_MainForm& f, Side side, std::int32_t value) {
  if (f.CurrentJob < 0 || f.CurrentJob >= f.JobCount) return;
  _FileInfo& job = f.JobTable[static_cast<std::size_t>(f.CurrentJob)];
  (side == Side::Start ? job.StartFrame : job.StopFrame) = value;
}

void ChangeFrame(T_MainForm& f, Side side, TSpinEdit* edited, TSpinEdit* other) {
  if (edited->Typed()) {
    f.TypedFrameBox = edited;
  } else {
    if (f.TypedFrameBox == edited) f.TypedFrameBox = nullptr;
    if (OutOfOrder(side, edited->Value(), other->Value())) other->SetValue(edited->Value());
  }
  StoreFrame(f, side, edited->Value());
  if (f.CurrentJob >= 0 && f.CurrentJob < f.JobCount) {
    f.Files_SG->SetCell(side == Side::Start ? 1 : 2, f.CurrentJob + 1, QString::number(edited->Value()));
  }
  if (!edited->Text().isEmpty()) f.TrackBar->SetPosition(edited->Value());
}

void ExitFrame(T_MainForm& f, Side side, TSpinEdit* edited, TSpinEdit* other) {
  if (f.TypedFrameBox == edited) f.TypedFrameBox = nullptr;
  if (edited->Value() < 0 || edited->Text().isEmpty()) edited->SetValue(f.SavedSpinValue);
  if (OutOfOrder(side, edited->Value(), other->Value())) other->SetValue(edited->Value());
  StoreFrame(f, side, edited->Value());
}

}  // namespace

void T_MainForm::StartFrame_SEEnter(QObject*) { SavedSpinValue = StartFrame_SE->Value(); }
void T_MainForm::StopFrame_SEEnter(QObject*) { SavedSpinValue = StopFrame_SE->Value(); }

void T_MainForm::StartFrame_SEExit(QObject*) { ExitFrame(*this, Side::Start, StartFrame_SE, StopFrame_SE); }
void T_MainForm::StopFrame_SEExit(QObject*) { ExitFrame(*this, Side::Stop, StopFrame_SE, StartFrame_SE); }

void T_MainForm::StartFrame_SEChange(QObject*) {
  ChangeFrame(*this, Side::Start, StartFrame_SE, StopFrame_SE);
}
void T_MainForm::StopFrame_SEChange(QObject*) { ChangeFrame(*this, Side::Stop, StopFrame_SE, StartFrame_SE); }

void T_MainForm::CommitTypedFrame() {
  if (TypedFrameBox == StartFrame_SE) {
    StartFrame_SEChange(StartFrame_SE);
  } else if (TypedFrameBox == StopFrame_SE) {
    StopFrame_SEChange(StopFrame_SE);
  }
  TypedFrameBox = nullptr;
}
