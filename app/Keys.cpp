// Keys for what the hands do most: play and stop, take the playing frame as
// start or stop, move through the list, open a file. A key that a range box
// takes itself while it has the focus (Space, I and O are characters it
// answers with a beep) goes to the box: the toolkit gives a focused line edit
// every key that types, before any shortcut.

#include <QKeySequence>
#include <QShortcut>

#include "app/_MainUnit.h"

void T_MainForm::CreateShortcuts() {
  auto bindKey = [this](const QKeySequence& key, auto action) {
    auto* s = new QShortcut(key, this);
    s->setContext(Qt::WindowShortcut);
    s->setAutoRepeat(false);
    connect(s, &QShortcut::activated, this, action);
  };
  bindKey(QKeySequence(Qt::Key_Space), [this] {
    if (PlayerPlaying) {
      Stop_SBClick(Stop_SB);
    } else {
      Play_SBClick(Play_SB);
    }
  });
  bindKey(QKeySequence(Qt::Key_I), [this] { SetStart_SBClick(SetStart_SB); });
  bindKey(QKeySequence(Qt::Key_O), [this] { SetStop_SBClick(SetStop_SB); });
  bindKey(QKeySequence(Qt::Key_PageUp), [this] { Prev_SBClick(Prev_SB); });
  bindKey(QKeySequence(Qt::Key_PageDown), [this] { Next_SBClick(Next_SB); });
  bindKey(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OpenFile_SBClick(OpenFile_SB); });
}
