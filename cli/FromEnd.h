#pragma once

#include <vector>

#include "cli/CutRun.h"

// Turns every "end-TIME" stop into a time from the start. Each such file is
// probed and counted once, and the count is kept with the job so that the cut
// does not count again; the one pass gives a Layer III stream's length too.
// A file that cannot be probed or counted is left as it is: the run reports
// it when it reaches the job. The count is that of every bit rate, whatever
// `anyBitRate` says: it does not depend on it.
void ResolveStopsFromEnd(std::vector<PlannedJob>& jobs, bool anyBitRate);

// A usage error, before anything is written, for a range that holds nothing
// once its file is known: a stop from the end before the start, or a start
// and a stop of different kinds (a frame and a time) that cross. False, with
// `usageError` naming the job. A file that cannot be read is left to the run.
bool CheckRangesHoldSomething(std::vector<PlannedJob>& jobs, std::string& usageError);
