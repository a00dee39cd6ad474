#include "jobs/FileInfo.h"

namespace {
// Paths come with '/' here; '\' and ':' separate too, as in the paths the
// window shows and keeps ("C:\").
int LastSeparator(const QString& path) {
  int last = -1;
  for (int i = 0; i < path.size(); ++i) {
    const QChar c = path[i];
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')) last = i;
  }
  return last;
}
}  // namespace

QString FileNamePart(const QString& path) { return path.mid(LastSeparator(path) + 1); }

QString DirectoryPart(const QString& path) { return path.left(LastSeparator(path) + 1); }
