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
