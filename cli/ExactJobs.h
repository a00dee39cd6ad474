#pragma once

#include <vector>

#include "cli/CutRun.h"
#include "cli/ExactCut.h"

// Turns a run of `cut` into a sample-exact one where it can be: one job,
// Layer III, a time at either end, a new output. Then `job` becomes the
// plan's frame range and `tag` holds what the reserved tag frame must say.
// Returns ExactChoice::Refused after saying why on standard error.
ExactChoice MakeCutExact(PlannedJob& job, LameFields& tag);

// One line on standard error for each job of a Layer III stream whose range
// starts at a frame number and with frames whose main data begins in frames
// not copied: how many decode damaged. `framesOption`: the run was told to
// copy frames. The walk that finds out stops a few frames after the start
// and leaves in each job where its start frame lies, for the copy to go on
// from there.
// `joined`: jobs that follow frames in the output (every job after the
// first, and the first too when `append`) get their reservoir carried and
// are not warned about.
void WarnDamagedStarts(std::vector<PlannedJob>& jobs, bool framesOption, bool joined, bool append);
