#include "jobs/ExistingOutput.h"

#include <QApplication>
#include <QFileInfo>

dialogs::Result AskAboutExistingOutput(QWidget* parent, const QString& output) {
  const QFileInfo info(output);
  if (!info.exists() || info.size() == 0) return dialogs::Result::Ok;
  dialogs::MessageBoxRequest r;
  r.parent = parent;
  r.caption = QApplication::applicationName();
  r.text = QStringLiteral(
               "The output file %1 already holds %2 bytes.\n\n"
               "Append: add the frames after what it holds.\n"
               "Replace: put a new file in its place when the run has succeeded.\n"
               "Cancel: write nothing.")
               .arg(output)
               .arg(info.size());
  r.buttons = dialogs::Buttons::AppendReplaceCancel;
  r.icon = dialogs::Icon::Warning;
  r.defaultButton = dialogs::Result::Append;
  return dialogs::Current().MessageBox(r);
}

QString SavedText(long long frames, double seconds, const QString& output) {
  const long long hundredths = static_cast<long long>(seconds * 100 + 0.5);
  return QStringLiteral("Saved %1 frames, %2:%3.%4, to %5")
      .arg(frames)
      .arg(hundredths / 6000, 2, 10, QLatin1Char('0'))
      .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
      .arg(hundredths % 100, 2, 10, QLatin1Char('0'))
      .arg(QFileInfo(output).fileName());
}
