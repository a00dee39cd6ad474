#include "cli/Help.h"

#include <string>

// The build may pass the version as a bare token (1.2.0) or as a string
// literal ("1.2.0"): made text either way, and unquoted below.
#define KERFWELL_TEXT(x) KERFWELL_TEXT2(x)
#define KERFWELL_TEXT2(x) #x

const char kHelpText[] =
    "Usage: kerfwell-cut info PATH      stream properties, frame counts, duration\n"
    "       kerfwell-cut count PATH     the number of valid frames\n"
    "       kerfwell-cut cut -o OUTPUT JOB...\n"
    "       kerfwell-cut split [-d DIR] PATH POINT...  |  split --every LENGTH PATH\n"
    "Cuts MPEG audio (MPEG-1/2, Layers I-III) by copying frames, never re-encoding.\n"
    "\n"
    "JOB is PATH (the whole file) or PATH@START-STOP, both ends included (the last\n"
    "'@' splits). START, STOP and POINT are a frame index (0 is the first frame) or\n"
    "a time as gapless players count it: [[H:]M:]S[.fff] with a colon, or seconds\n"
    "with an 's'. Either end may be left out: it runs from the first or to the last.\n"
    "  song.mp3@100-499  song.mp3@1:30-2:00  song.mp3@90.25s-  song.mp3@-0:01:30.5\n"
    "Layer III time cuts (one JOB, new OUTPUT) and split pieces play exactly their\n"
    "samples: the LAME tag trims the frames decoding needs. Frame ranges, --frames\n"
    "and Layers I/II copy frames: from the one playing at START to the last before.\n"
    "\n"
    "cut writes every JOB in order to OUTPUT, made with its missing directories; it\n"
    "must not be an input. An existing OUTPUT is refused unless --append (it is\n"
    "ADDED TO) or --overwrite. -o - writes to standard output (never a terminal).\n"
    "A run locks its output: a second run on it waits for the first (--no-wait).\n"
    "split writes NAME_01.EXT, NAME_02.EXT, ... beside PATH (or in DIR), a piece\n"
    "starting at each POINT, and replaces existing pieces only with --overwrite.\n"
    "\n"
    "  --any-bitrate   copy frames of any bit rate (VBR, ABR); a new output that\n"
    "                  holds several gets a fresh Xing frame. Without it, frames\n"
    "                  not of the first frame's length are left out and reported\n"
    "  --tags          a new output keeps its first input's ID3v2 and ID3v1 tags\n"
    "  --append        add to OUTPUT; refused when it ends with a tag (ID3v1...)\n"
    "  --overwrite     replace outputs, only once the run has succeeded\n"
    "  --no-wait       refuse an output that another run is writing, not wait\n"
    "  --every LENGTH  split into pieces of a time or a number of frames each\n"
    "  -q              no progress bar; --version; --help; -- end of options\n"
    "\n"
    "A file without a valid frame header in its first 2 MiB is refused with\n"
    "\"Is Something Strange With This File !\". Failures name the file and reason;\n"
    "other jobs still run and those passed over are listed. Outputs hold whole\n"
    "frames only, after a failed write or a signal too (exit 128 + its number:\n"
    "Ctrl-C 130, SIGTERM 143, SIGHUP 129).\n"
    "Exit status: 0 when everything was done, 1 when an input was refused, a frame\n"
    "was left out or an I/O operation failed, 2 for a usage error.\n"
    "The manual page kerfwell-cut(1) says it all at length.\n";

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
