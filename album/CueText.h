#pragma once

#include <string>
#include <vector>

#include "album/CueSheet.h"

// A CUE sheet read line by line, as its writer meant it: CR, LF and CRLF
// line ends alike, keywords in any case, a quoted value running to the
// line's last quote (an unescaped quote inside, `TITLE "7" Version"`, or a
// trailing backslash, `TITLE "Back\"`, stays in its line; \" is a quote).
struct CueReading {
  CueSheet Sheet;
  // The line of each track's TRACK, from 1, for messages.
  std::vector<int> TrackLines;
  // The sheet's FILE, TRACK and INDEX lines in the one form the CUE library
  // reads alike on every system, one a line as in the sheet (other lines left
  // blank): what it parses is held against `Sheet`.
  std::string Structure;
};

// The most tracks a sheet holds (the CD's), and the most minutes of an INDEX:
// more would overflow the CUE library's count of CD frames.
constexpr int kCueMostTracks = 99;
constexpr int kCueMostMinutes = 9999;

// Reads `text` (UTF-8, without NUL). False, with `error` naming the line, for
// a line that is no sheet's, a value whose quote is not closed, an INDEX that
// is no CD time or past kCueMostMinutes, a track without INDEX 01, more than
// kCueMostTracks tracks, several FILE lines or none TRACK. The tracks' order
// is not checked here.
bool ReadCueText(const std::string& text, CueReading& reading, std::string& error);
