#pragma once

#include <vector>

#include "cli/CutRun.h"

// Turns every "end-TIME" stop into a time from the start. Each such file is
// probed and counted once, and the count is kept with the job so that the cut
// does not count again. A file that cannot be probed or counted is left as it
// is: the run reports it when it reaches the job.
void ResolveStopsFromEnd(std::vector<PlannedJob>& jobs, bool anyBitRate);
