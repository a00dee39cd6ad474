#pragma once

#include <cstddef>

// Memory-mapped parts of input files that another program may shorten while
// they are read. Touching a mapped page that now lies wholly beyond the file's
// end raises SIGBUS, which would kill the process. A range registered here is
// guarded instead: such a page is replaced by a page of zeros and the range is
// marked, so that its reader can tell that the file shrank and stop there.
// Nothing of it is trusted after the mark; faults outside every range go to
// whatever handled SIGBUS before.
namespace mappedrange {

// Guards [begin, begin + length). Returns a handle, or -1 when every slot is
// taken or the handler could not be installed: the caller must not map then.
int Guard(const void* begin, std::size_t length);
// Ends the guard of `handle` (before the range is unmapped).
void Release(int handle);
// Whether a page of `handle`'s range met the end of its file since Guard.
bool Shrank(int handle);

}  // namespace mappedrange
