#include "cli/Help.h"

#include <string>

// The build may pass the version as a bare token (1.2.0) or as a string
// literal ("1.2.0"): made text either way, and unquoted below.
#define KERFWELL_TEXT(x) KERFWELL_TEXT2(x)
#define KERFWELL_TEXT2(x) #x

const char kHelpText[] =
    "Usage: kerfwell-cut info PATH | count PATH   stream properties | valid frames\n"
    "       kerfwell-cut cut -o OUTPUT JOB...  |  cut --each -d DIR JOB...\n"
    "       kerfwell-cut split [-d DIR] PATH POINT...  |  split --every LENGTH PATH\n"
    "       kerfwell-cut split --cue SHEET PATH  |  split --silence PATH\n"
    "Cuts MPEG audio (MPEG-1/2, Layers I-III) by copying frames, never re-encoding.\n"
    "\n"
    "JOB is PATH (the whole file) or PATH@START-STOP, both ends included (the last\n"
    "'@' splits). START, STOP and POINT are a frame index (0 is the first frame) or\n"
    "a time as gapless players count it: [[H:]M:]S[.fff] with a colon, or seconds\n"
    "with an 's'. Either end may be left out: it runs from the first or to the last.\n"
    "  song.mp3@100-499  song.mp3@1:30-2:00  song.mp3@90.25s-  song.mp3@-0:01:30.5\n"
    "STOP may be end-TIME, counted back from the end: song.mp3@0:10-end-5s.\n"
    "Layer III time cuts (one JOB, new OUTPUT) and split pieces play exactly their\n"
    "samples: the LAME tag trims the frames decoding needs. Frame ranges, --frames\n"
    "and Layers I/II copy frames: from the one playing at START to the last before.\n"
    "\n"
    "cut writes every JOB in order to OUTPUT (--each: each to DIR/its name), made\n"
    "with missing directories; never an input. An existing OUTPUT is refused unless\n"
    "--append (it is ADDED TO) or --overwrite. -o - writes to standard output.\n"
    "A run locks its output: a second run on it waits for the first (--no-wait).\n"
    "split writes NAME_01.EXT, ... beside PATH (or in DIR), a piece from each POINT.\n"
    "  --any-bitrate   copy frames of any bit rate (VBR, ABR); else frames not of\n"
    "                  the first frame's length are left out and reported\n"
    "  --tags          keep the first input's ID3v2/ID3v1 tags; split numbers pieces\n"
    "  --tag KEY=VALUE title, artist, album, track, date, genre, comment ({n}: piece)\n"
    "  --cue SHEET     a tagged piece a TRACK, named by --name PATTERN ({n:02} -\n"
    "                  {title}; also {n} {performer} {album} {path-stem})\n"
    "  --silence       split amid silences: --threshold -48 (dBFS), --min-silence\n"
    "                  1.5, --min-length 10 (seconds); --dry-run prints the points\n"
    "  --append, --overwrite (replace only once the run has succeeded), --no-wait\n"
    "  --every LENGTH  split into pieces of a time or a number of frames each\n"
    "  -q              no progress bar; --version; --help; -- end of options\n"
    "A file without a valid frame header in its first 2 MiB is refused with\n"
    "\"Is Something Strange With This File !\". Failures name the file and reason;\n"
    "other jobs still run and those passed over are listed. An output takes its\n"
    "name only when the whole run succeeded; a failed or stopped run (exit 128 +\n"
    "its signal: Ctrl-C 130, SIGTERM 143, SIGHUP 129) leaves it as it was.\n"
    "Exit status: 0 when everything was done,\n"
    "1 when an input was refused, a frame was left out or an I/O operation failed,\n"
    "2 for a usage error. The manual page kerfwell-cut(1) says it all at length.\n";

std::string VersionText() {
#ifdef KERFWELL_VERSION
  std::string version = KERFWELL_TEXT(KERFWELL_VERSION);
#else
  std::string version = "1.0";
#endif
  if (version.size() >= 2 && version.front() == '"' && version.back() == '"')
    version = version.substr(1, version.size() - 2);
  return "kerfwell-cut " + version + "\n";
}
