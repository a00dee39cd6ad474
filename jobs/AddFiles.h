#pragma once

#include <QStringList>

// The paths with every folder among them replaced by its MPEG audio files
// (by name: .mp3, .mp2, .mp1, .mpa, .mpga, any case), in name order; other
// paths stay as they are, in their place. Names are in the order people
// number them: "Track 2" before "Track 10".
QStringList ExpandFolders(const QStringList& paths);

// Natural order: runs of digits compare by their value, other characters
// without regard to case; names equal so are ordered as they are spelt.
bool NaturallyBefore(const QString& a, const QString& b);
