#pragma once

// The boundary between WriteTags and the module that holds the TagLib code.
// TagLib and the C++ runtime it needs cost a run about two megabytes of
// memory, so only a run that writes tags loads them, with dlopen. Plain C
// types only cross it: the module may run on another copy of the C++ runtime
// than the program that loads it, so no C++ object, allocation or exception
// may pass from one to the other.

#include <cstddef>

// The module's file name, looked for in the private library folder of an
// installed tree and beside the program (a build tree).
inline constexpr const char kTagModuleName[] = "kerfwell-tags.so";

// The entry point. Its name carries the version of this boundary, so that a
// module of another build that changed it is refused instead of called.
inline constexpr const char kTagModuleEntry[] = "kerfwell_write_tags_1";

enum TagModuleResult : int {
  kTagsSaved = 0,
  kTagsCannotOpen = 1,  // not a file TagLib can open as MPEG audio
  kTagsCannotSave = 2,  // TagLib could not write the file back
  kTagsFailed = 3,      // anything else (out of memory)
};

// Sets the TagLib properties (TITLE, ARTIST, ...) in order, a later one of a
// name winning; an empty value removes the property. Into an ID3v2.4 tag at
// the front, and into the ID3v1 tag when the file ends with one.
extern "C" {
using TagModuleEntry = int (*)(const char* path, const char* const* properties, const char* const* values,
                               std::size_t count);
}
