// Files dragged onto the window from a file manager or the desktop.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "app/_MainUnit.h"

namespace {

QStringList LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

void T_MainForm::dragEnterEvent(QDragEnterEvent* e) {
  if (!LocalPaths(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void T_MainForm::dragMoveEvent(QDragMoveEvent* e) {
  if (!LocalPaths(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void T_MainForm::dropEvent(QDropEvent* e) {
  const QStringList paths = LocalPaths(e->mimeData());
  if (paths.isEmpty()) return;
  e->acceptProposedAction();
  // The files are added once the drop is over: counting them and the
  // messages about refused ones would otherwise hold up the program the files
  // came from, which waits for the drop to finish.
  QTimer::singleShot(0, this, [this, paths] { AddFiles(paths); });
}
