#pragma once

class SourceFile;

// Whether the stream of `source` holds frames of several bit rates (VBR,
// ABR), judged from its encoder's Xing tag and its first frames: a copy of its frames then needs a Xing
// frame in front for players to tell its length. A file that cannot be read
// is taken as one of a single bit rate: the run reports it where it reads it.
bool MixesBitRates(SourceFile& source);
