#include "platform/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace dialogs {

namespace {

class RealDialogs : public Dialogs {
 public:
  Result MessageBox(const MessageBoxRequest& r) override {
    QMessageBox box(r.parent);
    box.setWindowTitle(r.caption);
    // Texts break their lines with a carriage return; the toolkit's label wants a newline.
    box.setText(QString(r.text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    switch (r.icon) {
      case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
      case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
      case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
      case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    if (r.buttons == Buttons::YesNo) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(r.defaultButton == Result::Yes ? QMessageBox::Yes : QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
    } else if (r.buttons == Buttons::YesNoCancel) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(r.defaultButton == Result::Yes  ? QMessageBox::Yes
                           : r.defaultButton == Result::No ? QMessageBox::No
                                                           : QMessageBox::Cancel);
      // Closing the box is the answer that changes nothing.
      box.setEscapeButton(QMessageBox::Cancel);
    } else if (r.buttons == Buttons::AppendReplaceCancel) {
      QPushButton* append = box.addButton(QStringLiteral("Append"), QMessageBox::AcceptRole);
      QPushButton* replace = box.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
      QPushButton* cancel = box.addButton(QMessageBox::Cancel);
      box.setDefaultButton(r.defaultButton == Result::Replace ? replace
                           : r.defaultButton == Result::Cancel ? cancel
                                                               : append);
      box.setEscapeButton(cancel);
      box.exec();
      return box.clickedButton() == append    ? Result::Append
             : box.clickedButton() == replace ? Result::Replace
                                              : Result::Cancel;
    } else {
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (answer == QMessageBox::Yes) return Result::Yes;
    if (answer == QMessageBox::No) return Result::No;
    if (answer == QMessageBox::Ok) return Result::Ok;
    if (answer == QMessageBox::Cancel) return Result::Cancel;
    if (r.buttons == Buttons::YesNoCancel) return Result::Cancel;
    return r.buttons == Buttons::YesNo ? Result::No : Result::Ok;
  }

  QString OpenFile(const FileDialogRequest& r) override { return Run(r, QFileDialog::AcceptOpen); }
  QString SaveFile(const FileDialogRequest& r) override { return Run(r, QFileDialog::AcceptSave); }

 private:
  static QString Run(const FileDialogRequest& r, QFileDialog::AcceptMode mode) {
    // A folder that is not there (the window starts with "C:\\") would end up
    // in the name field; start in the user's home folder instead.
    const QString start = QFileInfo(r.initialDir).isDir() ? r.initialDir : QDir::homePath();
    QFileDialog dialog(r.parent, r.title, start);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(ToQtFilters(r.filter));
    // The toolkit's own dialog, so that the window's tests and scripts can drive
    // it the same way on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
    QString ext = r.defaultExt;
    ext.remove(QStringLiteral("*."));
    dialog.setDefaultSuffix(ext);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return QString();
    return files.first();
  }
};

Dialogs* g_installed = nullptr;

}  // namespace

Dialogs& Current() {
  static RealDialogs real;
  return g_installed != nullptr ? *g_installed : real;
}

Dialogs* SetDialogs(Dialogs* d) {
  Dialogs* previous = g_installed;
  g_installed = d;
  return previous;
}

QStringList ToQtFilters(const QString& barFilter) {
  const QStringList parts = barFilter.split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const QString pattern = parts[i + 1];
    if (!description.contains(QLatin1Char('('))) description += QStringLiteral(" (%1)").arg(pattern);
    // Qt reads the patterns from the parentheses, so keep them exact.
    if (!description.contains(QStringLiteral("(%1)").arg(pattern)))
      description += QStringLiteral(" (%1)").arg(pattern);
    out << description;
  }
  return out;
}

QString WithDefaultExtension(const QString& path, const QString& defaultExt) {
  if (path.isEmpty()) return path;
  if (!QFileInfo(path).suffix().isEmpty()) return path;
  QString ext = defaultExt;
  ext.remove(QStringLiteral("*"));
  if (ext.isEmpty() || ext == QStringLiteral(".")) return path;
  if (!ext.startsWith(QLatin1Char('.'))) ext.prepend(QLatin1Char('.'));
  return path + ext;
}

}  // namespace dialogs
