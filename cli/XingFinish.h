#pragma once

#include <cstdint>
#include <string>

// Makes a finished output tell players its real length: a Xing/Info frame at
// its front (the source's own, copied with frame 0) is rewritten to count the
// output's frames; a new output (`newOutput`) without one whose Layer III
// frames have several bit rates gets a fresh Xing frame in front. False, with
// `error` naming the output and the reason, when that failed; the output is
// then as the cut left it.
bool FinishXingFrame(const std::string& output, bool keepEndPadding, bool newOutput, std::string& error);

// Whether the Xing/Info frame leading `output` (after its ID3v2 tags) already
// says it leads `frames` frames in `bytes` bytes (itself included). False
// when there is none or it cannot be read.
bool XingFrameAlreadyCounts(const std::string& output, std::int64_t frames, std::int64_t bytes);
