#pragma once

#include <string>

#include "cli/TimePoint.h"
#include "gapless/GaplessStream.h"
#include "stream/FrameHeader.h"

// The frame timing of the file at `path`, probed with `reference`: its
// samples per frame and sampling frequency, whether its frame 0 is a
// Xing/Info frame, which carries no audio, and for Layer III the decoder
// samples a gapless player drops before its first (the encoder delay that
// the file's LAME-style tag declares, and the decoder's own 529). False, with
// `error` naming the file, when its first header gives no timing or the file
// cannot be read.
bool ReadFrameClock(const std::string& path, const FrameHeader& reference, FrameClock& clock,
                    std::string& error);

// The same on an input already open.
bool ReadFrameClock(SourceFile& source, const FrameHeader& reference, FrameClock& clock, std::string& error);

// The clock of a Layer III stream already read.
FrameClock ClockOf(const GaplessStream& stream);
