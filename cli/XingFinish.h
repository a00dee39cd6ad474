#pragma once

#include <string>

// Makes a finished output tell players its real length: a Xing/Info frame at
// its front (the source's own, copied with frame 0) is rewritten to count the
// output's frames; a new output (`newOutput`) without one whose Layer III
// frames have several bit rates gets a fresh Xing frame in front. False, with
// `error` naming the output and the reason, when that failed; the output is
// then as the cut left it.
bool FinishXingFrame(const std::string& output, bool keepEndPadding, bool newOutput, std::string& error);
