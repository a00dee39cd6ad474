#include "jobs/OtherBitRates.h"

#include <QApplication>
#include <QStringList>


dialogs::Result AskToCopyOtherBitRates(QWidget* parent, const _FileInfo* jobs, int count) {
  QStringList lines;
  for (int i = 0; i < count; ++i) {
    const _FileInfo& job = jobs[i];
    if (job.OtherBitRate <= 0) continue;
    lines << QStringLiteral("%1: %2 of %3 frames have another bit rate")
                 .arg(job.Path)
                 .arg(job.OtherBitRate)
                 .arg(job.TotalFrames);
  }
  if (lines.isEmpty()) return dialogs::Result::Ok;
  dialogs::MessageBoxRequest r;
  r.parent = parent;
  r.caption = QApplication::applicationName();
  r.text = QStringLiteral(
               "Only the frames of the first frame's bit rate would be copied from these files:\n\n%1\n\n"
               "Copy the frames of the other bit rates too?\n"
               "Yes: copy every frame of each file's stream (variable bit rate output).\n"
               "No: copy only the frames of one bit rate and leave the others out.\n"
               "Cancel: write nothing.")
               .arg(lines.join(QLatin1Char('\n')));
  r.buttons = dialogs::Buttons::YesNoCancel;
  r.icon = dialogs::Icon::Warning;
  r.defaultButton = dialogs::Result::Yes;
  return dialogs::Current().MessageBox(r);
}
