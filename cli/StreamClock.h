#pragma once

#include <string>

#include "cli/TimePoint.h"
#include "stream/FrameHeader.h"

// The frame timing of the file at `path`, probed with `reference`: its
// samples per frame and sampling frequency, and whether its frame 0 is a
// Xing/Info frame, which carries no audio. False, with `error` naming the
// file, when its first header gives no timing.
bool ReadFrameClock(const std::string& path, const FrameHeader& reference, FrameClock& clock,
                    std::string& error);
