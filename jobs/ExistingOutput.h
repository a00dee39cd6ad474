#pragma once

#include <QString>

#include "platform/Dialogs.h"

class QWidget;

// Asks what to do with an output file that already holds something:
// Append (the frames go after what it holds), Replace (a new file takes its
// place once the run succeeds) or Cancel. Ok, without a question, for a
// file that does not exist or is empty.
dialogs::Result AskAboutExistingOutput(QWidget* parent, const QString& output);

// The status line after a run: "Saved N frames, mm:ss.hh, to NAME".
QString SavedText(long long frames, double seconds, const QString& output);
