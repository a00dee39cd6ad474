#include "cli/Help.h"

#include <string>

// The build may pass the version as a bare token (1.2.0) or as a string
// literal ("1.2.0"): made text either way, and unquoted below.
#define KERFWELL_TEXT(x) KERFWELL_TEXT2(x)
#define KERFWELL_TEXT2(x) #x

const char kHelpText[] =
    "Usage: kerfwell-cut info PATH      stream properties, frame counts, duration\n"
    "       kerfwell-cut count PATH     the number of valid frames\n"
    "       kerfwell-cut cut -o OUTPUT JOB...  |  cut --each -d DIR JOB...\n"
    "       kerfwell-cut split [-d DIR] PATH POINT...  |  split --every LENGTH PATH\n"
    "       kerfwell-cut split --cue SHEET PATH  |  split --silence PATH\n"
    "Cuts MPEG audio (MPEG-1/2, Layers I-III) at frame boundaries, never re-encoding.\n"
    "\n"
    "JOB is PATH (the whole file) or PATH@START-STOP, both ends included (the last\n"
    "'@' splits). START, STOP and POINT are a frame index (0 is the first frame) or\n"
    "a time from the first audio frame: [[H:]M:]S[.fff] with a colon, or seconds\n"
    "with an 's'. Either end may be left out: it runs from the first or to the last.\n"
    "  song.mp3@100-499  song.mp3@1:30-2:00  song.mp3@90.25s-  song.mp3@-0:01:30.5\n"
    "A start time takes the frame playing then; a stop time the last frame that\n"
    "starts before it. STOP end-TIME counts back from the end: song.mp3@0:10-end-5s\n"
    "\n"
    "cut appends every JOB in order to OUTPUT. An existing OUTPUT is ADDED TO, not\n"
    "replaced, unless --overwrite. It is created with its missing directories and\n"
    "must not be an input. -o - writes to standard output (never a terminal).\n"
    "--each cuts every JOB into DIR/<its file name> instead; failed jobs are listed.\n"
    "split writes NAME_01.EXT, NAME_02.EXT, ... beside PATH (or in DIR), a piece\n"
    "starting at each POINT, and replaces existing pieces only with --overwrite.\n"
    "\n"
    "  --any-bitrate   copy frames of any bit rate (VBR, ABR); a new output that\n"
    "                  holds several gets a fresh Xing frame. Without it, frames\n"
    "                  not of the first frame's length are left out and reported\n"
    "  --tags          a new output keeps its first input's ID3v2 and ID3v1 tags;\n"
    "                  split numbers the pieces (track n/N)\n"
    "  --tag KEY=VALUE title, artist, album, track, date, genre or comment ({n}: the\n"
    "                  piece's number); empty VALUE removes it\n"
    "  --cue SHEET     a piece a TRACK, tagged; --name PATTERN, {n:02} - {title}\n"
    "                  ({n} {title} {performer} {album} {path-stem})\n"
    "  --silence       split in the middle of silences: --threshold -48 (dBFS),\n"
    "                  --min-silence 1.5, --min-length 10 (s); --dry-run prints them\n"
    "  --overwrite     start outputs afresh instead of appending to them\n"
    "  --every LENGTH  split into pieces of a time or a number of frames each\n"
    "  -q  no progress bar, errors only.  --  end of options.  --version, --help\n"
    "Failures name the file and reason; other jobs still run and those passed over\n"
    "are listed; \"Is Something Strange With This File !\" refuses a non-MPEG file.\n"
    "Exit status: 0 when everything was done, 1 when an input was refused, a frame\n"
    "was left out or an I/O operation failed, 2 for a usage error. kerfwell-cut(1).\n";

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
