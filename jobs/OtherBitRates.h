#pragma once

#include <string>

#include "jobs/FileInfo.h"
#include "platform/Dialogs.h"

class QWidget;

// Before a run: when the one-bit-rate rule would leave frames of any of the
// `count` jobs out, asks once whether to copy them too, listing those jobs.
// Yes: copy every frame of each stream; No: keep the rule; Cancel: write
// nothing. Ok when there was nothing to ask.
dialogs::Result AskToCopyOtherBitRates(QWidget* parent, const _FileInfo* jobs, int count);
