#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a CUE sheet says about an album in one file. Texts are UTF-8 (a sheet
// in Latin-1 is converted); fields the sheet leaves out are empty.
struct CueTrack {
  std::string Title;
  std::string Performer;
  // INDEX 01, in CD frames of 1/75 s from the start of the file. An INDEX 00
  // pregap belongs to the track before, as CD rippers split it.
  std::int64_t Start = 0;
};

struct CueSheet {
  std::string Title;      // the album
  std::string Performer;  // the album's artist
  std::string Date;       // REM DATE
  std::string Genre;      // REM GENRE
  std::string File;       // the FILE line: the name it had when ripped, not held against the input
  std::vector<CueTrack> Tracks;
};

constexpr std::int64_t kCueFramesPerSecond = 75;

// Reads the sheet at `path` (at most 1 MiB) whole, or refuses it. False, with
// `error` saying why and naming the line where it can: unreadable, not a
// sheet, several FILE lines, no TRACK or more than 99, an INDEX that is not
// mm:ss:ff with ss below 60 and ff below 75, a track without INDEX 01, tracks
// out of order, an overlong UTF-8 form, or tracks that the CUE library reads
// otherwise than the sheet's TRACK and INDEX lines say (see CueText.h).
bool ReadCueSheet(const std::string& path, CueSheet& sheet, std::string& error);
// The same for a sheet's text.
bool ParseCueSheet(const std::string& text, CueSheet& sheet, std::string& error);
// A CD frame count as nanoseconds, rounded down.
std::int64_t CueFramesToNanoseconds(std::int64_t frames);
