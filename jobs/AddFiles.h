#pragma once

#include <QStringList>

// The paths with every folder among them replaced by its MPEG audio files
// (by name: .mp3, .mp2, .mp1, .mpa, .mpga, any case), in name order; other
// paths stay as they are, in their place.
QStringList ExpandFolders(const QStringList& paths);
