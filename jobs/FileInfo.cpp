#include "jobs/FileInfo.h"

// Only '/' separates directories on this system; '\' and ':' are ordinary
// characters of a file name ("we:ird.mp3", "back\slash.mp3").
QString FileNamePart(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

QString DirectoryPart(const QString& path) { return path.left(path.lastIndexOf(QLatin1Char('/')) + 1); }
