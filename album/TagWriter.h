#pragma once

#include <string>
#include <vector>

// Tags written into a finished output with TagLib: an ID3v2 tag at its front
// (an existing ID3v2.3 tag stays 2.3 and keeps every frame, those that 2.4
// has no place for too, such as RVAD, EQUA and TSIZ; any other is written as
// 2.4 with its other frames, pictures included) and, when the file ends with
// an ID3v1 tag, the same fields there too. TagLib lives in a module of its own (kerfwell-tags.so),
// loaded on the first write: a run that writes no tags never maps it.
struct TagEdit {
  std::string Key;    // title, artist, album, track, date, genre or comment
  std::string Value;  // UTF-8; empty removes the field
};

bool IsTagKey(const std::string& key);
// "KEY=VALUE" with a key above and a value of valid UTF-8. False, with
// `error` saying what is wrong.
bool ParseTagEdit(const std::string& text, TagEdit& edit, std::string& error);
// Applies the edits in order (a later one of a key wins). False, with `error`
// naming the file and the reason, also when the module cannot be loaded
// (it says where it was looked for).
bool WriteTags(const std::string& path, const std::vector<TagEdit>& edits, std::string& error);
// The same for a file opened through `path` that messages call `shown` (an
// output not yet committed, reached through /proc/self/fd).
bool WriteTags(const std::string& path, const std::string& shown, const std::vector<TagEdit>& edits,
               std::string& error);
// Loads the module now, for a run that must not begin what it could not
// finish. False, with `error` as WriteTags would say it for `path`, when it
// cannot be loaded.
bool TagWriterLoads(const std::string& path, std::string& error);
